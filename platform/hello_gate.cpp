#include "platform/hello_gate.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>

#include <cerrno>
#endif

namespace kavlen {

long long ReceiveSome(SocketFd fd, void* buffer, std::size_t size) {
  for (;;) {
#ifdef _WIN32
    const int got = recv(static_cast<SOCKET>(fd), static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (got >= 0) return got;
    return WSAGetLastError() == WSAEWOULDBLOCK ? -1 : -2;
#else
    const ssize_t got = recv(static_cast<int>(fd), buffer, size, 0);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
#endif
  }
}

HelloGate::HelloGate(const std::string* token, std::chrono::milliseconds timeout)
    : token_(token), timeout_(timeout) {
  if (token != nullptr) deadline_.emplace(timeout);
}

HelloGate::State HelloGate::Take(SocketFd fd) {
  while (done_ < need_) {
    const long long got = ReceiveSome(fd, hello_ + done_, need_ - done_);
    if (got == -1) return State::kWaiting;
    if (got <= 0) return State::kBroken;
    if (!deadline_) deadline_.emplace(timeout_);
    done_ += static_cast<std::size_t>(got);
    if (done_ == KW_HELLO_SIZE && need_ == KW_HELLO_SIZE) {
      std::uint32_t version = 0, tokenLength = 0;
      if (!KwDecodeHello(hello_, &version, &tokenLength)) return State::kBroken;
      status_ = version == KW_VERSION ? KW_HELLO_OK : KW_HELLO_VERSION_REFUSED;
      need_ = KW_HELLO_SIZE + tokenLength;
    }
  }
  if (status_ == KW_HELLO_OK && token_ != nullptr &&
      !KwTokenEqual(hello_ + KW_HELLO_SIZE, static_cast<std::uint32_t>(need_ - KW_HELLO_SIZE),
                    reinterpret_cast<const unsigned char*>(token_->data()),
                    static_cast<std::uint32_t>(token_->size()))) {
    status_ = KW_HELLO_TOKEN_REFUSED;
  }
  deadline_.reset();
  KwEncodeHelloReply(reply_, status_);
  return status_ == KW_HELLO_OK ? State::kAccepted : State::kRefused;
}

}  // namespace kavlen
