#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/device_lock.h"
#include "platform/remote_driver.h"

namespace kavlen {

namespace {

constexpr std::chrono::milliseconds kRetryPause{10};

// ".<name>.lock" beside the socket: a dot name is never enumerated as a device.
// A path with no folder is no simulator's: there is nowhere to put its lock
// (the working folder would make unrelated runs wait for each other).
std::string LockFileOf(const std::string& devicePath) {
  const std::size_t slash = devicePath.rfind('/');
  if (slash == std::string::npos) return {};
  return devicePath.substr(0, slash) + "/." + devicePath.substr(slash + 1) + ".lock";
}

// The holder removes the file when it lets go, so a lock won on a file that
// is no longer the one at the path belongs to nobody: try again.
bool StillTheLockFile(int fd, const std::string& file) {
  struct stat held {}, named {};
  return fstat(fd, &held) == 0 && stat(file.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

std::string DeviceLockHolder(const std::string& devicePath) {
  struct stat file {};
  const std::string path = LockFileOf(devicePath);
  if (path.empty() || stat(path.c_str(), &file) != 0) return {};
  // "1: FLOCK  ADVISORY  WRITE 1234 08:01:567 0 EOF": the holder, its device and inode
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    if (!(fields >> number >> kind >> mode >> access >> pid >> where) || kind != "FLOCK") continue;
    char inode[64];
    std::snprintf(inode, sizeof inode, "%02x:%02x:%llu", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    if (where != inode) continue;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? pid : pid + " (" + name + ")";
  }
  return {};
}

DeviceLock DeviceLock::Acquire(const std::string& devicePath, std::chrono::milliseconds wait) {
  DeviceLock lock;
  SocketFd stream = kNoSocket;
  if (AcquireRemoteLock(devicePath, wait, &lock.state_, &stream)) {
    lock.stream_ = stream;
    return lock;
  }
  const std::string file = LockFileOf(devicePath);
  if (file.empty()) return lock;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return lock;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (StillTheLockFile(fd, file)) {
        lock.state_ = State::Held;
        lock.native_ = fd;
        lock.file_ = file;
        return lock;
      }
      close(fd);
      continue;
    }
    const int error = errno;
    close(fd);
    if (error != EWOULDBLOCK && error != EINTR) return lock;
    if (std::chrono::steady_clock::now() >= deadline) {
      lock.state_ = State::Busy;
      return lock;
    }
    std::this_thread::sleep_for(kRetryPause);
  }
}

void DeviceLock::Release() {
  if (stream_ != -1) {
    CloseSocket(stream_);
    stream_ = -1;
    state_ = State::NotTaken;
  }
  if (state_ == State::Held) {
    unlink(file_.c_str());  // while still held: see StillTheLockFile
    close(static_cast<int>(native_));
  }
  state_ = State::NotTaken;
  native_ = -1;
  file_.clear();
}

}  // namespace kavlen
