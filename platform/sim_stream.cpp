#include "platform/sim_stream.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavlen {

namespace {

constexpr std::chrono::milliseconds kDefaultTimeout{10000};

#ifdef _WIN32
using NativeSocket = SOCKET;
using PollEntry = WSAPOLLFD;
int PollOne(PollEntry* entry, int timeoutMs) { return WSAPoll(entry, 1, timeoutMs); }
bool WouldBlock() {
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
bool Interrupted() { return WSAGetLastError() == WSAEINTR; }
#else
using NativeSocket = int;
using PollEntry = pollfd;
int PollOne(PollEntry* entry, int timeoutMs) { return poll(entry, 1, timeoutMs); }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS; }
bool Interrupted() { return errno == EINTR; }
#endif

NativeSocket Native(SocketFd fd) { return static_cast<NativeSocket>(fd); }

// Sends what it can of the two parts; the count sent, or -1 (WouldBlock() tells why).
long long SendSome(SocketFd fd, const char* head, std::size_t headLen, const char* body,
                   std::size_t bodyLen) {
#ifdef _WIN32
  WSABUF parts[2] = {{static_cast<ULONG>(headLen), const_cast<char*>(head)},
                     {static_cast<ULONG>(bodyLen), const_cast<char*>(body)}};
  DWORD sent = 0;
  if (WSASend(Native(fd), parts, bodyLen > 0 ? 2 : 1, &sent, 0, nullptr, nullptr) != 0) return -1;
  return sent;
#else
  iovec parts[2] = {{const_cast<char*>(head), headLen}, {const_cast<char*>(body), bodyLen}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = bodyLen > 0 ? 2 : 1;
  return sendmsg(Native(fd), &message, MSG_NOSIGNAL);
#endif
}

}  // namespace

std::chrono::milliseconds TransportTimeout() {
  const char* text = std::getenv("KAVLEN_TIMEOUT_MS");
  if (text == nullptr || *text < '0' || *text > '9') return kDefaultTimeout;
  char* end = nullptr;
  const unsigned long long ms = std::strtoull(text, &end, 10);
  if (*end != '\0' || ms == 0 || ms > 24ull * 3600 * 1000) return kDefaultTimeout;
  return std::chrono::milliseconds(ms);
}

int Deadline::LeftMs() const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool ParseTcpEndpoint(const std::string& text, TcpEndpoint* endpoint) {
  unsigned port = 0;
  char token[kTokenLength + 2] = {};
  int used = 0;
  if (std::sscanf(text.c_str(), "%5u %33s%n", &port, token, &used) != 2) return false;
  if (port == 0 || port > 65535 || std::strlen(token) != kTokenLength) return false;
  if (text.find_first_not_of(" \r\n", static_cast<std::size_t>(used)) != std::string::npos) {
    return false;
  }
  endpoint->port = static_cast<std::uint16_t>(port);
  endpoint->token = token;
  return true;
}

bool RandomToken(std::string* token) {
  unsigned char bytes[kTokenLength / 2];
#ifdef _WIN32
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    return false;
  }
  const bool got = CryptGenRandom(provider, sizeof bytes, bytes) != FALSE;
  CryptReleaseContext(provider, 0);
  if (!got) return false;
#else
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
#endif
  static constexpr char kDigits[] = "0123456789abcdef";
  token->clear();
  for (const unsigned char byte : bytes) {
    *token += kDigits[byte >> 4];
    *token += kDigits[byte & 0x0F];
  }
  return true;
}

std::string FormatTcpEndpoint(const TcpEndpoint& endpoint) {
  return std::to_string(endpoint.port) + " " + endpoint.token + "\n";
}

bool ReadTcpEndpoint(const std::string& path, TcpEndpoint* endpoint) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char text[128];
  const std::size_t got = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  if (got == sizeof text) return false;
  return ParseTcpEndpoint(std::string(text, got), endpoint);
}

bool StartSockets() {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
#else
  return true;
#endif
}

void SetNonBlocking(SocketFd fd) {
#ifdef _WIN32
  u_long on = 1;
  ioctlsocket(Native(fd), FIONBIO, &on);
#else
  fcntl(Native(fd), F_SETFL, fcntl(Native(fd), F_GETFL) | O_NONBLOCK);
#endif
}

bool WaitSocket(SocketFd fd, bool forWrite, const Deadline& deadline) {
  for (;;) {
    PollEntry entry{};
    entry.fd = Native(fd);
    entry.events = forWrite ? POLLOUT : POLLIN;
    const int ready = PollOne(&entry, deadline.LeftMs());
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (!Interrupted()) return true;  // let the next call report the error
  }
}

SocketFd ConnectTcp(const TcpEndpoint& endpoint, const Deadline& deadline, bool* timedOut) {
  return ConnectTcpTo("127.0.0.1", endpoint.port, deadline, timedOut);
}

bool SplitHostPort(const std::string& text, std::string* host, std::uint16_t* port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
  std::string name = text.substr(0, colon);
  if (name.front() == '[') {
    if (name.size() < 3 || name.back() != ']') return false;
    name = name.substr(1, name.size() - 2);
  } else if (name.find(':') != std::string::npos) {
    return false;
  }
  const std::string digits = text.substr(colon + 1);
  if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long value = std::stoul(digits);
  if (value == 0 || value > 65535) return false;
  *host = name;
  *port = static_cast<std::uint16_t>(value);
  return true;
}

SocketFd ConnectTcpTo(const std::string& host, std::uint16_t port, const Deadline& deadline,
                      bool* timedOut) {
  *timedOut = false;
  if (!StartSockets()) return kNoSocket;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return kNoSocket;
  SocketFd result = kNoSocket;
  for (const addrinfo* at = found; at != nullptr && result == kNoSocket; at = at->ai_next) {
    const NativeSocket s = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
#ifdef _WIN32
    if (s == INVALID_SOCKET) continue;
#else
    if (s < 0) continue;
    fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    const SocketFd fd = static_cast<SocketFd>(s);
    SetNonBlocking(fd);
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    bool connected = connect(s, at->ai_addr, static_cast<socklen_t>(at->ai_addrlen)) == 0;
    if (!connected && WouldBlock()) {
      if (!WaitSocket(fd, true, deadline)) {
        *timedOut = true;
      } else {
        int error = 0;
        socklen_t size = sizeof error;
        connected =
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 &&
            error == 0;
      }
    }
    if (connected) {
      result = fd;
    } else {
      CloseSocket(fd);
      if (*timedOut) break;
    }
  }
  freeaddrinfo(found);
  return result;
}

bool SendAll(SocketFd fd, const void* head, std::size_t headLen, const void* body,
             std::size_t bodyLen, const Deadline& deadline) {
  const char* parts[2] = {static_cast<const char*>(head), static_cast<const char*>(body)};
  std::size_t lengths[2] = {headLen, bodyLen};
  int first = lengths[0] > 0 ? 0 : 1;
  while (first < 2 && lengths[first] > 0) {
    const long long sent = first == 0 ? SendSome(fd, parts[0], lengths[0], parts[1], lengths[1])
                                      : SendSome(fd, parts[1], lengths[1], nullptr, 0);
    if (sent < 0) {
      if (Interrupted()) continue;
      if (!WouldBlock() || !WaitSocket(fd, true, deadline)) return false;
      continue;
    }
    std::size_t left = static_cast<std::size_t>(sent);
    while (first < 2 && left >= lengths[first]) {
      left -= lengths[first];
      lengths[first] = 0;
      ++first;
    }
    if (first < 2) {
      parts[first] += left;
      lengths[first] -= left;
    }
  }
  return true;
}

bool RecvAll(SocketFd fd, void* buffer, std::size_t len, const Deadline& deadline) {
  char* at = static_cast<char*>(buffer);
  while (len > 0) {
    const int chunk = len > 1u << 30 ? 1 << 30 : static_cast<int>(len);
    const long long got = recv(Native(fd), at, chunk, 0);
    if (got == 0) return false;
    if (got < 0) {
      if (Interrupted()) continue;
      if (!WouldBlock() || !WaitSocket(fd, false, deadline)) return false;
      continue;
    }
    at += got;
    len -= static_cast<std::size_t>(got);
  }
  return true;
}

void ShutdownSocket(SocketFd fd) {
#ifdef _WIN32
  shutdown(Native(fd), SD_BOTH);
#else
  shutdown(Native(fd), SHUT_RDWR);
#endif
}

void CloseSocket(SocketFd fd) {
#ifdef _WIN32
  closesocket(Native(fd));
#else
  close(Native(fd));
#endif
}

}  // namespace kavlen
