#include "sim/client_connection.h"

#include <unistd.h>

#include "platform/driver_api.h"
#include "platform/sim_wire.h"

namespace kavlen::sim {

namespace {

// Pipe names are short; a longer open target is not kept or logged.
constexpr std::uint32_t kMaxTargetLength = 256;

}  // namespace

bool ClientConnection::TokenMatches(const char* sent) const {
  unsigned char differ = 0;
  for (std::size_t i = 0; i < kTokenLength; ++i) {
    differ |= static_cast<unsigned char>(sent[i] ^ (*token_)[i]);
  }
  return differ == 0;
}

bool ClientConnection::Serve(const Deadline& deadline, std::vector<std::uint8_t>& payload,
                             std::vector<std::uint8_t>& out) {
  if (needsToken_) {
    char token[kTokenLength];
    if (!RecvAll(fd_, token, sizeof token, deadline) || !TokenMatches(token)) return false;
    needsToken_ = false;
    return true;
  }
  wire::Request request{};
  if (!RecvAll(fd_, &request, sizeof request, deadline)) return false;
  const std::uint32_t limit = request.op == wire::kOpen ? kMaxTargetLength : wire::kMaxPayload;
  if (request.length > limit || request.wanted > wire::kMaxPayload) return false;
  payload.resize(request.length);
  if (request.length > 0 && !RecvAll(fd_, payload.data(), request.length, deadline)) return false;

  OpResult result;
  out.clear();
  switch (request.op) {
    case wire::kOpen:
      if (opened_) {
        result = {false, kErrorInvalidParameter, 0};
        break;
      }
      target_.assign(payload.begin(), payload.end());
      result = model_->Open(target_);
      opened_ = result.ok;
      break;
    case wire::kClose:
      if (opened_) model_->Close(target_);
      opened_ = false;
      break;
    case wire::kIoctl:
      if (!opened_) {
        result = {false, kErrorInvalidHandle, 0};
        break;
      }
      result = model_->Ioctl(request.code, payload.data(), request.length, request.wanted, &out);
      break;
    case wire::kWrite:
      result = opened_ ? model_->Write(target_, payload.data(), request.length)
                       : OpResult{false, kErrorInvalidHandle, 0};
      break;
    case wire::kRead:
      out.resize(request.wanted);
      result = opened_ ? model_->Read(target_, out.data(), request.wanted)
                       : OpResult{false, kErrorInvalidHandle, 0};
      out.resize(result.ok ? result.count : 0);
      break;
    default:
      return false;
  }
  if (!result.ok) out.clear();
  const wire::Reply reply{result.ok ? 1u : 0u, result.error, result.count,
                          static_cast<std::uint32_t>(out.size())};
  return SendAll(fd_, &reply, sizeof reply, out.data(), out.size(), deadline);
}

void ClientConnection::Close() {
  // a client that went away without closing its handle has closed it
  if (opened_) model_->Close(target_);
  opened_ = false;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace kavlen::sim
