#include "sim/sim_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/device_root.h"
#include "platform/driver_api.h"
#include "platform/sim_socket.h"
#include "platform/sim_wire.h"

namespace kavlen::sim {

namespace {

bool MakePrivateDir(const std::string& dir, std::string* error) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = "cannot create " + dir + ": " + std::strerror(errno);
    return false;
  }
  if (!IsPrivateDir(dir)) {
    *error = dir + " is not a folder of this user closed to others; refusing to use it";
    return false;
  }
  return true;
}

}  // namespace

SimServer::~SimServer() { Shutdown(); }

bool SimServer::Listen(const std::string& root, const std::string& name, std::string* error) {
  const std::string classDir = DeviceClassDir(root);
  if (!MakePrivateDir(root, error) || !MakePrivateDir(classDir, error)) return false;
  const std::string path = classDir + "/" + name;

  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = path + " exists and is not a socket";
      return false;
    }
    const int probe = ConnectUnixSocket(path);
    if (probe >= 0) {
      close(probe);
      *error = "another simulator is already listening on " + path;
      return false;
    }
    unlink(path.c_str());  // left behind by a simulator that died
  }

  const UnixAddress address(path);
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (!address.valid() || listenFd_ < 0 || bind(listenFd_, address.addr(), address.size()) != 0 ||
      listen(listenFd_, 16) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    return false;
  }
  socketPath_ = path;
  return true;
}

int SimServer::Run() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signalFd < 0) return 1;

  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({{signalFd, POLLIN, 0}, {listenFd_, POLLIN, 0}});
    for (const Connection& c : connections_) fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (fds[1].revents & POLLIN) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) connections_.push_back({fd, false, {}});
    }
    // connections accepted just now are polled in the next round
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      Connection& connection = connections_[i - 2];
      if (!Serve(connection)) Drop(connection);
      if (model_.unplugged()) break;
    }
    std::erase_if(connections_, [](const Connection& c) { return c.fd < 0; });
    if (model_.unplugged()) break;
  }
  close(signalFd);
  Shutdown();
  return 0;
}

bool SimServer::Serve(Connection& connection) {
  wire::Request request{};
  if (!RecvAll(connection.fd, &request, sizeof request)) return false;
  if (request.length > wire::kMaxPayload || request.wanted > wire::kMaxPayload) return false;
  payload_.resize(request.length);
  if (request.length > 0 && !RecvAll(connection.fd, payload_.data(), request.length)) return false;

  OpResult result;
  out_.clear();
  switch (request.op) {
    case wire::kOpen:
      if (connection.opened) {
        result = {false, kErrorInvalidParameter, 0};
        break;
      }
      connection.target.assign(payload_.begin(), payload_.end());
      result = model_.Open(connection.target);
      connection.opened = result.ok;
      break;
    case wire::kClose:
      if (connection.opened) model_.Close(connection.target);
      connection.opened = false;
      break;
    case wire::kIoctl:
      if (!connection.opened) {
        result = {false, kErrorInvalidHandle, 0};
        break;
      }
      result = model_.Ioctl(request.code, payload_.data(), request.length, request.wanted, &out_);
      break;
    case wire::kWrite:
      result = connection.opened
                   ? model_.Write(connection.target, payload_.data(), request.length)
                   : OpResult{false, kErrorInvalidHandle, 0};
      break;
    case wire::kRead:
      out_.resize(request.wanted);
      result = connection.opened ? model_.Read(connection.target, out_.data(), request.wanted)
                                 : OpResult{false, kErrorInvalidHandle, 0};
      out_.resize(result.ok ? result.count : 0);
      break;
    default:
      return false;
  }
  if (!result.ok) out_.clear();
  const wire::Reply reply{result.ok ? 1u : 0u, result.error, result.count,
                          static_cast<std::uint32_t>(out_.size())};
  return SendAll(connection.fd, &reply, sizeof reply, out_.data(), out_.size());
}

void SimServer::Drop(Connection& connection) {
  // a client that went away without closing its handle has closed it
  if (connection.opened) model_.Close(connection.target);
  connection.opened = false;
  close(connection.fd);
  connection.fd = -1;
}

void SimServer::Shutdown() {
  for (Connection& connection : connections_) {
    if (connection.fd >= 0) Drop(connection);
  }
  connections_.clear();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  if (!socketPath_.empty()) unlink(socketPath_.c_str());
  socketPath_.clear();
}

}  // namespace kavlen::sim
