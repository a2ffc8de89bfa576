#pragma once
// A server's half of the after_ok code, one per stream: a write or read that
// a client sent ahead of the replies before it is carried out only when the
// stream's request before it succeeded whole; otherwise it is failed with
// that request's error and reaches no device.

#include <cstdint>

#include "platform/driver_api.h"
#include "platform/wire_codec.h"

namespace kavlen {

class AfterOkRule {
 public:
  // Whether request is to be failed without being carried out, with *error.
  bool Skips(const KwRequest& request, std::uint32_t* error) const {
    if (!PipeOp(request) || (request.code & KW_FLAG_AFTER_OK) == 0 || !stopped_) return false;
    *error = error_;
    return true;
  }

  // The reply a request got. A failure, or a write or read that moved fewer
  // bytes than it carried or wanted, stops the after_ok requests behind it.
  void Answered(const KwRequest& request, const KwReply& reply) {
    const std::uint32_t whole = request.op == KW_OP_WRITE ? request.length : request.wanted;
    stopped_ = reply.ok == 0 || (PipeOp(request) && reply.count != whole);
    error_ = reply.error != 0 ? reply.error : kErrorGenFailure;
  }

 private:
  static bool PipeOp(const KwRequest& request) {
    return request.op == KW_OP_WRITE || request.op == KW_OP_READ;
  }

  bool stopped_ = false;
  std::uint32_t error_ = 0;
};

}  // namespace kavlen
