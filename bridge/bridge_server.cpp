#include "bridge/bridge_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstring>
#include <vector>

namespace kavlen::bridge {

namespace {

constexpr int kRoundMs = 200;

#ifdef _WIN32
using PollEntry = WSAPOLLFD;
int PollMany(PollEntry* entries, std::size_t count, int timeoutMs) {
  return WSAPoll(entries, static_cast<ULONG>(count), timeoutMs);
}
using NativeSocket = SOCKET;
std::string LastSocketError() { return "error " + std::to_string(WSAGetLastError()); }
#else
using PollEntry = pollfd;
int PollMany(PollEntry* entries, std::size_t count, int timeoutMs) {
  return poll(entries, count, timeoutMs);
}
using NativeSocket = int;
std::string LastSocketError() { return std::strerror(errno); }
#endif

std::string PeerText(const sockaddr_storage& address) {
  char host[NI_MAXHOST] = "?";
  char port[NI_MAXSERV] = "?";
  getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, host, sizeof host, port,
              sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
  const std::string name = host;
  return (name.find(':') != std::string::npos ? "[" + name + "]" : name) + ":" + port;
}

void SendReply(SocketFd fd, const unsigned char* bytes, std::size_t size,
               std::chrono::milliseconds timeout) {
  SendAll(fd, bytes, size, nullptr, 0, Deadline(timeout));
}

}  // namespace

BridgeServer::~BridgeServer() {
  for (Waiting& client : waiting_) CloseSocket(client.fd);
  waiting_.clear();
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
    for (const SocketFd fd : serving_) ShutdownSocket(fd);
    for (const Proven& client : proven_) CloseSocket(client.fd);
    proven_.clear();
  }
  handed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  if (listenFd_ != kNoSocket) CloseSocket(listenFd_);
}

bool BridgeServer::Listen(const std::string& host, std::uint16_t port, std::string* error) {
  if (!StartSockets()) {
    *error = "no sockets";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    *error = "cannot listen on " + host + ": no such address";
    return false;
  }
  const NativeSocket s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  listenFd_ = static_cast<SocketFd>(s);
#ifdef _WIN32
  const bool made = s != INVALID_SOCKET;
  if (!made) listenFd_ = kNoSocket;
#else
  const bool made = s >= 0;
  if (made) {
    fcntl(s, F_SETFD, FD_CLOEXEC);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
#endif
  const bool bound = made && bind(s, found->ai_addr, static_cast<socklen_t>(found->ai_addrlen)) == 0 &&
                     listen(s, 64) == 0;
  freeaddrinfo(found);
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (!bound || getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + LastSocketError();
    return false;
  }
  SetNonBlocking(listenFd_);
  address_ = PeerText(address);
  return true;
}

void BridgeServer::Log(std::FILE* log, const std::string& line) {
  const std::lock_guard lock(logMutex_);
  std::fprintf(log, "%s\n", line.c_str());
  std::fflush(log);
}

bool BridgeServer::Accept(std::FILE* log) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  const NativeSocket s = accept(static_cast<NativeSocket>(listenFd_),
                                reinterpret_cast<sockaddr*>(&address), &size);
#ifdef _WIN32
  if (s == INVALID_SOCKET) return false;
#else
  if (s < 0) {
    // descriptors used up: let the next round try again instead of spinning
    if (errno == EMFILE || errno == ENFILE) usleep(kRoundMs * 1000 / 2);
    return false;
  }
  fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
  const SocketFd fd = static_cast<SocketFd>(s);
  SetNonBlocking(fd);
  const int on = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  if (waiting_.size() >= kMaxUnproven) {
    Log(log, waiting_.front().peer + " -: dropped to make room, no hello yet");
    CloseSocket(waiting_.front().fd);
    waiting_.pop_front();
  }
  waiting_.push_back({fd, PeerText(address), HelloGate(&token_, timeout_)});
  // the hello often comes with the connection: take it at once
  const HelloGate::State state = waiting_.back().gate.Take(fd);
  if (state != HelloGate::State::kWaiting) {
    Admit(waiting_.back(), state, *stopping_, log);
    waiting_.pop_back();
  }
  return true;
}

void BridgeServer::Admit(Waiting& client, HelloGate::State state, const std::atomic<bool>& stopping,
                         std::FILE* log) {
  if (state == HelloGate::State::kBroken) {
    Log(log, client.peer + " -: closed before its hello");
    CloseSocket(client.fd);
    return;
  }
  if (state == HelloGate::State::kRefused) {
    SendReply(client.fd, client.gate.reply(), KW_HELLO_REPLY_SIZE, timeout_);
    Log(log, client.peer + " -: " +
                 (client.gate.status() == KW_HELLO_TOKEN_REFUSED ? "token refused" : "version refused"));
    CloseSocket(client.fd);
    return;
  }
  std::unique_lock lock(mutex_);
  if (serving_.size() + proven_.size() >= kMaxConnections) {
    lock.unlock();
    Log(log, client.peer + " -: turned away, " + std::to_string(kMaxConnections) + " connections served");
    CloseSocket(client.fd);
    return;
  }
  SendReply(client.fd, client.gate.reply(), KW_HELLO_REPLY_SIZE, timeout_);
  proven_.push_back({client.fd, client.peer});
  if (idle_ == 0) {
    workers_.emplace_back([this, &stopping, log] { Work(stopping, log); });
  } else {
    --idle_;
  }
  lock.unlock();
  handed_.notify_one();
}

void BridgeServer::Work(const std::atomic<bool>& stopping, std::FILE* log) {
  std::unique_lock lock(mutex_);
  for (;;) {
    handed_.wait(lock, [this] { return quit_ || !proven_.empty(); });
    if (quit_) return;
    const Proven client = proven_.front();
    proven_.pop_front();
    serving_.insert(client.fd);
    lock.unlock();
    const std::string ending = BridgeSession(client.fd, api_, state_, timeout_, stopping).Serve();
    Log(log, client.peer + " " + ending);
    lock.lock();
    serving_.erase(client.fd);
    CloseSocket(client.fd);
    ++idle_;
  }
}

void BridgeServer::Run(const std::atomic<bool>& stopping, std::FILE* log) {
  stopping_ = &stopping;
  std::vector<PollEntry> entries;
  while (!stopping) {
    entries.clear();
    PollEntry listener{};
    listener.fd = static_cast<NativeSocket>(listenFd_);
    listener.events = POLLIN;
    entries.push_back(listener);
    int timeoutMs = kRoundMs;
    for (const Waiting& client : waiting_) {
      PollEntry entry{};
      entry.fd = static_cast<NativeSocket>(client.fd);
      entry.events = POLLIN;
      entries.push_back(entry);
      const int left = client.gate.LeftMs();
      if (left >= 0 && left < timeoutMs) timeoutMs = left;
    }
    if (PollMany(entries.data(), entries.size(), timeoutMs) < 0) continue;
    // clients accepted in this round are polled in the next
    std::size_t index = 1;
    for (auto at = waiting_.begin(); at != waiting_.end(); ++index) {
      const HelloGate::State state = entries[index].revents != 0 ? at->gate.Take(at->fd)
                                                                 : HelloGate::State::kWaiting;
      if (state == HelloGate::State::kWaiting && at->gate.LeftMs() != 0) {
        ++at;
        continue;
      }
      if (state == HelloGate::State::kWaiting) {
        Log(log, at->peer + " -: dropped at the deadline, no hello");
        CloseSocket(at->fd);
      } else {
        Admit(*at, state, stopping, log);
      }
      at = waiting_.erase(at);
    }
    if (entries[0].revents & POLLIN) {
      for (std::size_t i = 0; i < kMaxUnproven && Accept(log); ++i) {
      }
    }
  }
}

}  // namespace kavlen::bridge
