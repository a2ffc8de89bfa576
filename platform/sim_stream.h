#pragma once
// Byte streams between the driver backends and kavlen-sim, Unix or loopback
// TCP, where every call is bounded by a deadline: a stopped or wedged peer
// makes the call fail instead of hanging the program. Sockets made here are
// non-blocking; the waiting is done with poll.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kavlen {

// A socket descriptor on either system (SOCKET on Windows).
using SocketFd = std::intptr_t;
inline constexpr SocketFd kNoSocket = -1;

// How long one driver operation may take: $KAVLEN_TIMEOUT_MS milliseconds
// when that is a positive number, else 10 seconds.
std::chrono::milliseconds TransportTimeout();

class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds timeout)
      : at_(std::chrono::steady_clock::now() + timeout) {}
  // Milliseconds left, 0 once passed.
  int LeftMs() const;

 private:
  std::chrono::steady_clock::time_point at_;
};

// A simulator's TCP listener as its "<name>.tcp" file describes it:
// "<port> <token>\n". A client sends the token in its hello.
struct TcpEndpoint {
  std::uint16_t port = 0;
  std::string token;
};
inline constexpr std::size_t kTokenLength = 32;
// 128 random bits as lower-case hex digits; false when none could be had.
bool RandomToken(std::string* token);

bool ParseTcpEndpoint(const std::string& text, TcpEndpoint* endpoint);
std::string FormatTcpEndpoint(const TcpEndpoint& endpoint);
// Reads and parses the file; false when it is missing, too long or malformed.
bool ReadTcpEndpoint(const std::string& path, TcpEndpoint* endpoint);

// Winsock needs starting once per program; elsewhere this does nothing.
bool StartSockets();

// A connection to 127.0.0.1:port; kNoSocket when the connect is refused or
// the deadline passes (*timedOut tells which).
SocketFd ConnectTcp(const TcpEndpoint& endpoint, const Deadline& deadline, bool* timedOut);
// The same to host (a name or a numeric IPv4 or IPv6 address) and port.
SocketFd ConnectTcpTo(const std::string& host, std::uint16_t port, const Deadline& deadline,
                      bool* timedOut);
// "HOST:PORT" ("[V6]:PORT" for an IPv6 address) into its parts; false when
// malformed or the port is 0.
bool SplitHostPort(const std::string& text, std::string* host, std::uint16_t* port);

// Sends head then body; false when the peer is gone or the deadline passes.
bool SendAll(SocketFd fd, const void* head, std::size_t headLen, const void* body,
             std::size_t bodyLen, const Deadline& deadline);
// Receives exactly len bytes; false on end of stream, error or deadline.
bool RecvAll(SocketFd fd, void* buffer, std::size_t len, const Deadline& deadline);

// Every later send or receive on fd fails at once (a stream whose request
// timed out is out of step with its peer).
void ShutdownSocket(SocketFd fd);
void CloseSocket(SocketFd fd);
void SetNonBlocking(SocketFd fd);
// Waits until fd can be read or written; false when the deadline passed.
bool WaitSocket(SocketFd fd, bool forWrite, const Deadline& deadline);

}  // namespace kavlen
