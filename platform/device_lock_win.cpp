#include <windows.h>

#include "platform/device_lock.h"
#include "platform/remote_driver.h"

namespace kavlen {

namespace {

// A mutex name may hold any character but the backslash; interface paths
// are full of them.
std::string MutexNameOf(const std::string& devicePath) {
  std::string name = "Global\\kavlen-device-" + devicePath;
  for (std::size_t i = sizeof "Global\\" - 1; i < name.size(); ++i) {
    if (name[i] == '\\') name[i] = '/';
  }
  return name;
}

}  // namespace

DeviceLock DeviceLock::Acquire(const std::string& devicePath, std::chrono::milliseconds wait) {
  DeviceLock lock;
  SocketFd stream = kNoSocket;
  if (AcquireRemoteLock(devicePath, wait, &lock.state_, &stream)) {
    lock.stream_ = stream;
    return lock;
  }
  if (devicePath.empty()) return lock;
  const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, MutexNameOf(devicePath).c_str());
  if (mutex == nullptr) return lock;
  const long long asked = wait.count();
  const DWORD ms = asked <= 0                                    ? 0
                   : asked >= static_cast<long long>(INFINITE) ? INFINITE - 1
                                                                 : static_cast<DWORD>(asked);
  // An abandoned mutex was left by a program that ended while holding it:
  // it is ours now.
  switch (::WaitForSingleObject(mutex, ms)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      lock.state_ = State::Held;
      lock.native_ = reinterpret_cast<std::intptr_t>(mutex);
      return lock;
    case WAIT_TIMEOUT:
      lock.state_ = State::Busy;
      break;
    default:
      break;
  }
  ::CloseHandle(mutex);
  return lock;
}

// A named mutex does not tell who owns it.
std::string DeviceLockHolder(const std::string&) { return {}; }

void DeviceLock::Release() {
  if (stream_ != -1) {
    CloseSocket(stream_);
    stream_ = -1;
    state_ = State::NotTaken;
  }
  if (state_ == State::Held) {
    const HANDLE mutex = reinterpret_cast<HANDLE>(native_);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
  }
  state_ = State::NotTaken;
  native_ = -1;
  file_.clear();
}

}  // namespace kavlen
