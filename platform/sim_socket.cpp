#include "platform/sim_socket.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kavlen {

UnixAddress::UnixAddress(const std::string& path) {
  addr_.sun_family = AF_UNIX;
  std::string target = path;
  if (target.size() >= sizeof(addr_.sun_path)) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    const std::string dir = slash == 0 ? std::string("/") : path.substr(0, slash);
    dirFd_ = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) return;
    target = "/proc/self/fd/" + std::to_string(dirFd_) + path.substr(slash);
    if (target.size() >= sizeof(addr_.sun_path)) return;
  }
  std::memcpy(addr_.sun_path, target.c_str(), target.size() + 1);
  valid_ = true;
}

UnixAddress::~UnixAddress() {
  if (dirFd_ >= 0) close(dirFd_);
}

int ConnectUnixSocket(const std::string& path, const Deadline& deadline) {
  const UnixAddress address(path);
  if (!address.valid()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  // a Unix listener whose queue is full answers EAGAIN: try again until the deadline
  while (connect(fd, address.addr(), address.size()) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN && deadline.LeftMs() > 0) {
      usleep(2000);
      continue;
    }
    const int saved = errno == EAGAIN ? ETIMEDOUT : errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

}  // namespace kavlen
