#include "sim/sim_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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
#include "platform/sim_stream.h"

namespace kavlen::sim {

namespace {

// Unproven TCP clients never take the slots of proven ones, nor of the Unix
// socket's (platform/hello_gate.h).
// When accept fails (descriptors used up), new clients wait this long.
constexpr int kAcceptPauseMs = 100;

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

// Written under a dot name and renamed, so a reader never sees half a file.
bool WritePrivateFile(const std::string& path, const std::string& text) {
  const std::size_t slash = path.rfind('/');
  const std::string temp =
      path.substr(0, slash + 1) + "." + path.substr(slash + 1) + "." + std::to_string(getpid());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
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
    const int probe = ConnectUnixSocket(path, Deadline(clientTimeout_));
    if (probe >= 0) {
      close(probe);
      *error = "another simulator is already listening on " + path;
      return false;
    }
    unlink(path.c_str());  // left behind by a simulator that died
  }

  const UnixAddress address(path);
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (!address.valid() || listenFd_ < 0 || bind(listenFd_, address.addr(), address.size()) != 0 ||
      listen(listenFd_, 16) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    return false;
  }
  socketPath_ = path;
  return true;
}

bool SimServer::ListenTcp(std::string* error) {
  const std::string file = socketPath_ + ".tcp";
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  tcpFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (tcpFd_ < 0 || bind(tcpFd_, reinterpret_cast<const sockaddr*>(&address), size) != 0 ||
      listen(tcpFd_, 16) != 0 ||
      getsockname(tcpFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    *error = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
    return false;
  }
  TcpEndpoint endpoint;
  endpoint.port = ntohs(address.sin_port);
  if (!RandomToken(&endpoint.token) || !WritePrivateFile(file, FormatTcpEndpoint(endpoint))) {
    *error = "cannot write " + file + ": " + std::strerror(errno);
    return false;
  }
  token_ = endpoint.token;
  tcpFilePath_ = file;
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

  constexpr std::size_t kFirstClient = 3;
  std::vector<pollfd> fds;
  bool acceptPaused = false;
  for (;;) {
    const short listening = acceptPaused ? 0 : POLLIN;
    fds.assign({{signalFd, POLLIN, 0}, {listenFd_, listening, 0}, {tcpFd_, listening, 0}});
    int timeoutMs = acceptPaused ? kAcceptPauseMs : -1;
    for (const ClientConnection& c : connections_) {
      fds.push_back({c.fd(), c.events(), 0});
      const int left = c.LeftMs();
      if (left >= 0 && (timeoutMs < 0 || left < timeoutMs)) timeoutMs = left;
    }
    if (poll(fds.data(), fds.size(), timeoutMs) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    acceptPaused = false;
    if (fds[0].revents != 0) break;
    if ((fds[1].revents & POLLIN) && !Accept(listenFd_, false)) acceptPaused = true;
    if ((fds[2].revents & POLLIN) && !Accept(tcpFd_, true)) acceptPaused = true;
    // connections accepted just now are polled in the next round
    for (std::size_t i = kFirstClient; i < fds.size(); ++i) {
      ClientConnection& connection = connections_[i - kFirstClient];
      if (fds[i].revents == 0 || connection.closed()) continue;
      const bool owedToken = !connection.proven();
      if (!connection.Progress()) {
        connection.Close();
      } else if (owedToken && connection.proven() && Count(true) > kMaxConnections) {
        connection.Close();  // no slot left for it
      }
      if (model_.unplugged()) break;
    }
    for (ClientConnection& connection : connections_) {
      if (connection.LeftMs() == 0) connection.Close();  // stalled past the client deadline
    }
    std::erase_if(connections_, [](const ClientConnection& c) { return c.closed(); });
    if (model_.unplugged()) break;
  }
  close(signalFd);
  Shutdown();
  return 0;
}

std::size_t SimServer::Count(bool proven) const {
  std::size_t count = 0;
  for (const ClientConnection& c : connections_) {
    if (!c.closed() && c.proven() == proven) ++count;
  }
  return count;
}

bool SimServer::Accept(int listenFd, bool tcp) {
  const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return errno == EAGAIN || errno == EINTR || errno == ECONNABORTED;
  if (!tcp && Count(true) >= kMaxConnections) {
    close(fd);
    return true;
  }
  if (tcp) {
    if (Count(false) >= kMaxUnproven) {
      for (ClientConnection& c : connections_) {
        if (!c.closed() && !c.proven()) {
          c.Close();
          break;
        }
      }
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  connections_.emplace_back(fd, model_, tcp ? &token_ : nullptr, clientTimeout_);
  return true;
}

void SimServer::Shutdown() {
  for (ClientConnection& connection : connections_) connection.Close();
  connections_.clear();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
  if (tcpFd_ >= 0) close(tcpFd_);
  tcpFd_ = -1;
  if (!tcpFilePath_.empty()) unlink(tcpFilePath_.c_str());
  tcpFilePath_.clear();
  if (!socketPath_.empty()) unlink(socketPath_.c_str());
  socketPath_.clear();
}

}  // namespace kavlen::sim
