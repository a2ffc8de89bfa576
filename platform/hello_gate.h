#pragma once
// How a server of emulators (kavlen-sim, kavlen-bridge) lets clients in.
// A stream's first bytes are its hello; until the whole hello has come and
// its token proved right, a client is unproven. Unproven clients wait in a
// pool of their own, so that they never take the slots of proven clients,
// and are dropped at their deadline; a gate takes the hello as far as the
// non-blocking socket has it and never waits, so none holds up the others.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/sim_stream.h"
#include "platform/wire_codec.h"

namespace kavlen {

// More clients than a tool ever opens at once; beyond it they are turned away.
inline constexpr std::size_t kMaxConnections = 32;
// Clients still owing their hello; when the pool is full, the one that came
// first makes room.
inline constexpr std::size_t kMaxUnproven = 16;

class HelloGate {
 public:
  enum class State { kWaiting, kAccepted, kRefused, kBroken };

  // token: what the hello must carry; null takes any (a Unix socket's
  // clients, whom the file system vouches for). timeout: how long the whole
  // hello may take, from now when token is set, else from its first byte.
  HelloGate(const std::string* token, std::chrono::milliseconds timeout);

  // Takes what fd holds of the hello. kWaiting: more is to come; kBroken:
  // the client went away or sent no hello (drop it). kAccepted and
  // kRefused come with reply() to send.
  State Take(SocketFd fd);
  // Milliseconds left for the hello, 0 once passed, -1 while none is due.
  int LeftMs() const { return deadline_ ? deadline_->LeftMs() : -1; }
  const unsigned char* reply() const { return reply_; }
  std::uint32_t status() const { return status_; }

 private:
  const std::string* token_;
  std::chrono::milliseconds timeout_;
  std::optional<Deadline> deadline_;
  unsigned char hello_[KW_HELLO_SIZE + KW_MAX_TOKEN] = {};
  std::size_t done_ = 0;
  std::size_t need_ = KW_HELLO_SIZE;
  std::uint32_t status_ = KW_HELLO_OK;
  unsigned char reply_[KW_HELLO_REPLY_SIZE] = {};
};

// What a server may still receive from fd without waiting: the count taken,
// 0 at the end of the stream, -1 when nothing is there yet, -2 on error.
long long ReceiveSome(SocketFd fd, void* buffer, std::size_t size);

}  // namespace kavlen
