#pragma once
// Unix stream sockets shared by the POSIX driver backend and the simulator:
// addressing paths of any length, and a connect bounded by a deadline.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <string>

#include "platform/sim_stream.h"

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

// Connected non-blocking stream socket (close-on-exec), or -1 with errno set
// (ETIMEDOUT when a listener that does not accept kept it waiting past the
// deadline).
int ConnectUnixSocket(const std::string& path, const Deadline& deadline);

}  // namespace kavlen
