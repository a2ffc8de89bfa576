#pragma once
// Unix stream socket helpers shared by the POSIX driver backend and the
// simulator: addressing paths of any length, and whole-message send/receive
// that never raise SIGPIPE.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <string>

namespace kavlen {

// A sockaddr_un for path. Paths longer than sun_path are reached through the
// directory's /proc/self/fd entry, which the object keeps open while it lives.
class UnixAddress {
 public:
  explicit UnixAddress(const std::string& path);
  ~UnixAddress();
  UnixAddress(const UnixAddress&) = delete;
  UnixAddress& operator=(const UnixAddress&) = delete;

  bool valid() const { return valid_; }
  const sockaddr* addr() const { return reinterpret_cast<const sockaddr*>(&addr_); }
  socklen_t size() const { return sizeof(addr_); }

 private:
  sockaddr_un addr_{};
  int dirFd_ = -1;
  bool valid_ = false;
};

// Connected stream socket (close-on-exec) or -1 with errno set.
int ConnectUnixSocket(const std::string& path);

// Sends head then body as one message; false when the peer is gone.
bool SendAll(int fd, const void* head, std::size_t headLen, const void* body, std::size_t bodyLen);
// Receives exactly len bytes; false on end of stream or error.
bool RecvAll(int fd, void* buffer, std::size_t len);

}  // namespace kavlen
