#include "platform/sim_socket.h"

#include <fcntl.h>
#include <sys/uio.h>
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

int ConnectUnixSocket(const std::string& path) {
  const UnixAddress address(path);
  if (!address.valid()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  while (connect(fd, address.addr(), address.size()) != 0) {
    if (errno == EINTR) continue;
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const void* head, std::size_t headLen, const void* body, std::size_t bodyLen) {
  iovec parts[2] = {{const_cast<void*>(head), headLen}, {const_cast<void*>(body), bodyLen}};
  int first = 0;
  const int count = bodyLen > 0 ? 2 : 1;
  while (first < count) {
    msghdr message{};
    message.msg_iov = parts + first;
    message.msg_iovlen = static_cast<std::size_t>(count - first);
    const ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    std::size_t left = static_cast<std::size_t>(sent);
    while (first < count && left >= parts[first].iov_len) {
      left -= parts[first].iov_len;
      ++first;
    }
    if (first < count) {
      parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + left;
      parts[first].iov_len -= left;
    }
  }
  return true;
}

bool RecvAll(int fd, void* buffer, std::size_t len) {
  char* at = static_cast<char*>(buffer);
  while (len > 0) {
    const ssize_t got = recv(fd, at, len, MSG_WAITALL);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    len -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace kavlen
