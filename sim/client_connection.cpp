#include "sim/client_connection.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/driver_api.h"

namespace kavlen::sim {

namespace {

// Buffers larger than a few transfer blocks are given back after the reply,
// so that an idle client does not hold a device OS image.
constexpr std::size_t kKeptBuffer = 64 * 1024;

void Release(std::vector<std::uint8_t>& buffer) {
  if (buffer.capacity() > kKeptBuffer) std::vector<std::uint8_t>().swap(buffer);
}

}  // namespace

ClientConnection::ClientConnection(int fd, DeviceModel& model, const std::string* token,
                                   std::chrono::milliseconds timeout)
    : fd_(fd),
      model_(&model),
      gate_(token, timeout),
      timeout_(timeout),
      stage_(Stage::kHello),
      proven_(token == nullptr) {}

ClientConnection::Io ClientConnection::Fill(void* part, std::size_t size) {
  while (done_ < size) {
    const ssize_t got = recv(fd_, static_cast<char*>(part) + done_, size - done_, 0);
    if (got > 0) {
      if (!deadline_) deadline_.emplace(timeout_);  // a request has begun
      done_ += static_cast<std::size_t>(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Io::kWait : Io::kFailed;
  }
  done_ = 0;
  return Io::kDone;
}

ClientConnection::Io ClientConnection::Flush() {
  const std::size_t total = replyHeadSize_ + out_.size();
  while (done_ < total) {
    iovec parts[2];
    msghdr message{};
    message.msg_iov = parts;
    if (done_ < replyHeadSize_) {
      parts[0] = {replyHead_ + done_, replyHeadSize_ - done_};
      parts[1] = {out_.data(), out_.size()};
      message.msg_iovlen = out_.empty() ? 1 : 2;
    } else {
      parts[0] = {out_.data() + (done_ - replyHeadSize_), total - done_};
      message.msg_iovlen = 1;
    }
    const ssize_t sent = sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (sent > 0) {
      done_ += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Io::kWait : Io::kFailed;
  }
  done_ = 0;
  return Io::kDone;
}

bool ClientConnection::Progress() {
  for (;;) {
    Io io = Io::kDone;
    switch (stage_) {
      case Stage::kHello: {
        const HelloGate::State state = gate_.Take(fd_);
        if (state == HelloGate::State::kWaiting) return true;
        if (state == HelloGate::State::kBroken) return false;
        refused_ = state == HelloGate::State::kRefused;
        proven_ = !refused_;
        std::copy(gate_.reply(), gate_.reply() + KW_HELLO_REPLY_SIZE, replyHead_);
        replyHeadSize_ = KW_HELLO_REPLY_SIZE;
        out_.clear();
        stage_ = Stage::kReply;
        continue;
      }
      case Stage::kHeader:
        io = Fill(header_, sizeof header_);
        if (io != Io::kDone) break;
        if (!KwDecodeRequest(header_, &request_)) return false;
        payload_.resize(request_.length);
        stage_ = Stage::kPayload;
        continue;
      case Stage::kPayload:
        io = Fill(payload_.data(), payload_.size());
        if (io != Io::kDone) break;
        Run();
        stage_ = Stage::kReply;
        continue;
      case Stage::kReply:
        io = Flush();
        if (io != Io::kDone) break;
        if (refused_) return false;
        Finish();
        return true;  // the next request waits for the next round
    }
    return io == Io::kWait;
  }
}

void ClientConnection::Reply(bool ok, std::uint32_t error, std::uint32_t count) {
  if (!ok) out_.clear();
  const KwReply reply{ok ? 1u : 0u, error, count, static_cast<std::uint32_t>(out_.size())};
  afterOk_.Answered(request_, reply);
  KwEncodeReply(replyHead_, &reply);
  replyHeadSize_ = KW_HEADER_SIZE;
}

void ClientConnection::Run() {
  OpResult result;
  out_.clear();
  std::uint32_t skipped = 0;
  if (afterOk_.Skips(request_, &skipped)) return Reply(false, skipped, 0);
  switch (request_.op) {
    case KW_OP_OPEN: {
      const char* name = nullptr;
      const char* pipe = nullptr;
      std::size_t nameLength = 0, pipeLength = 0;
      if (opened_ || !KwDecodeOpen(payload_.data(), payload_.size(), &name, &nameLength, &pipe,
                                   &pipeLength)) {
        result = {false, kErrorInvalidParameter, 0};
        break;
      }
      if (std::string(name, nameLength) != model_->name()) {
        result = {false, kErrorFileNotFound, 0};
        break;
      }
      target_.assign(pipe, pipeLength);
      result = model_->Open(target_);
      opened_ = result.ok;
      break;
    }
    case KW_OP_CLOSE:
      if (opened_) model_->Close(target_);
      opened_ = false;
      break;
    case KW_OP_IOCTL:
      if (!opened_) {
        result = {false, kErrorInvalidHandle, 0};
        break;
      }
      result = model_->Ioctl(request_.code, payload_.data(), request_.length, request_.wanted, &out_);
      break;
    case KW_OP_WRITE:
      result = opened_ ? model_->Write(target_, payload_.data(), request_.length)
                       : OpResult{false, kErrorInvalidHandle, 0};
      break;
    case KW_OP_READ:
      out_.resize(request_.wanted);
      result = opened_ ? model_->Read(target_, out_.data(), request_.wanted)
                       : OpResult{false, kErrorInvalidHandle, 0};
      out_.resize(result.ok ? result.count : 0);
      break;
    case KW_OP_LIST: {
      // the one emulator it plays, if the client can take its name
      out_.resize(2 + model_->name().size());
      const std::size_t used =
          KwPutName(out_.data(), std::min<std::size_t>(out_.size(), request_.wanted),
                    model_->name().data(), model_->name().size());
      out_.resize(used);
      result = used != 0 ? OpResult{true, 0, 1} : OpResult{false, kErrorInsufficientBuffer, 0};
      break;
    }
    default:  // a lock lives with the programs' lock files here
      result = {false, kErrorInvalidFunction, 0};
      break;
  }
  Reply(result.ok, result.error, result.count);
}

void ClientConnection::Finish() {
  stage_ = Stage::kHeader;
  deadline_.reset();
  Release(payload_);
  Release(out_);
}

void ClientConnection::Close() {
  // a client that went away without closing its handle has closed it
  if (opened_) model_->Close(target_);
  opened_ = false;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace kavlen::sim
