#include "bridge/bridge_session.h"

#include <algorithm>

#include "device/device_link.h"
#include "device/trace_sink.h"
#include "platform/sim_driver.h"

namespace kavlen::bridge {

namespace {

constexpr int kStopCheckMs = 200;
// Buffers larger than a few transfer blocks are given back after the reply.
constexpr std::size_t kKeptBuffer = 64 * 1024;

class QuietSink final : public TraceSink {
 public:
  void Print(std::string_view) override {}
};

void Shrink(std::vector<std::uint8_t>& buffer) {
  if (buffer.capacity() > kKeptBuffer) std::vector<std::uint8_t>().swap(buffer);
}

void Failed(KwReply* reply, std::uint32_t error) { *reply = {0, error, 0, 0}; }

}  // namespace

std::vector<std::string> BridgeState::Emulators(bool recent) {
  constexpr std::chrono::seconds kRecent{1};
  std::unique_lock lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (recent && now - enumerated_ < kRecent) return emulators_;
  lock.unlock();
  QuietSink sink;
  DeviceLink link(api_, sink, Flavour::Console);
  std::vector<std::string> paths = link.EmulatorPaths();
  lock.lock();
  emulators_ = paths;
  enumerated_ = now;
  return paths;
}

bool BridgeState::Holds(const std::string& path) {
  const std::lock_guard lock(mutex_);
  return locked_.count(path) != 0;
}

void BridgeState::Add(const std::string& path) {
  const std::lock_guard lock(mutex_);
  locked_.insert(path);
}

void BridgeState::Remove(const std::string& path) {
  const std::lock_guard lock(mutex_);
  locked_.erase(path);
}

BridgeSession::~BridgeSession() { Release(); }

void BridgeSession::Release() {
  if (handle_ != kInvalidHandle) api_.CloseHandle(handle_);
  handle_ = kInvalidHandle;
  if (lockStream_ && lock_.held()) state_.Remove(emulator_);
  lockStream_ = false;
  lock_.Release();
}

std::string BridgeSession::Serve() {
  std::string ending = "closed";
  for (;;) {
    // idle between requests for as long as the client likes
    unsigned char header[KW_HEADER_SIZE];
    long long got = ReceiveSome(fd_, header, sizeof header);
    while (got == -1 && !stopping_) {
      if (WaitSocket(fd_, false, Deadline(std::chrono::milliseconds(kStopCheckMs)))) {
        got = ReceiveSome(fd_, header, sizeof header);
      }
    }
    if (got == -1) {
      ending = "closed as the bridge stops";
      break;
    }
    if (got == 0) break;
    if (got == -2) {
      ending = "connection lost";
      break;
    }
    // a request that has begun must come whole within the deadline
    const Deadline deadline(timeout_);
    const std::size_t have = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (!RecvAll(fd_, header + have, sizeof header - have, deadline)) {
      ending = "dropped mid-request";
      break;
    }
    if (!KwDecodeRequest(header, &request_)) {
      ending = "dropped: not the protocol";
      break;
    }
    payload_.resize(request_.length);
    if (!RecvAll(fd_, payload_.data(), payload_.size(), deadline)) {
      ending = "dropped mid-request";
      break;
    }
    KwReply reply{};
    out_.clear();
    Run(&reply);
    afterOk_.Answered(request_, reply);
    if (reply.ok == 0) out_.clear();
    reply.length = static_cast<std::uint32_t>(out_.size());
    unsigned char head[KW_HEADER_SIZE];
    KwEncodeReply(head, &reply);
    if (!SendAll(fd_, head, sizeof head, out_.data(), out_.size(), deadline)) {
      ending = "dropped: reply not taken";
      break;
    }
    Shrink(payload_);
    Shrink(out_);
  }
  Release();
  return (emulator_.empty() ? std::string("-") : emulator_) + (what_.empty() ? "" : " " + what_) +
         ": " + ending;
}

void BridgeSession::Run(KwReply* reply) {
  *reply = {1, 0, 0, 0};
  std::uint32_t count = 0;
  switch (request_.op) {
    case KW_OP_OPEN:
      Open(reply);
      return;
    case KW_OP_LOCK:
      Lock(reply);
      return;
    case KW_OP_LIST:
      List(reply);
      return;
    case KW_OP_CLOSE:
      if (handle_ != kInvalidHandle) api_.CloseHandle(handle_);
      handle_ = kInvalidHandle;
      if (!lockStream_) lock_.Release();
      return;
    default:
      break;
  }
  if (handle_ == kInvalidHandle) return Failed(reply, kErrorInvalidHandle);
  std::uint32_t skipped = 0;
  if (afterOk_.Skips(request_, &skipped)) return Failed(reply, skipped);
  bool ok = false;
  if (request_.op == KW_OP_IOCTL) {
    // one buffer both ways, as the programs pass it
    out_ = payload_;
    out_.resize(std::max(request_.length, request_.wanted));
    ok = api_.DeviceIoControl(handle_, request_.code, out_.data(), request_.length, out_.data(),
                              request_.wanted, &count);
    out_.resize(std::min(count, request_.wanted));
  } else if (request_.op == KW_OP_READ) {
    out_.resize(request_.wanted);
    ok = api_.ReadFile(handle_, out_.data(), request_.wanted, &count);
    out_.resize(std::min(count, request_.wanted));
  } else {
    ok = api_.WriteFile(handle_, payload_.data(), request_.length, &count);
  }
  *reply = {ok ? 1u : 0u, ok ? 0u : api_.GetLastError(), count, 0};
}

std::string BridgeSession::Resolve(const char* name, std::size_t length) {
  const std::string wanted(name, length);
  const std::vector<std::string> paths = state_.Emulators(true);
  if (!wanted.empty() && wanted.size() <= 4 &&
      wanted.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long number = std::stoul(wanted);
    return number >= 1 && number <= paths.size() ? paths[number - 1] : std::string();
  }
  const auto found = std::find(paths.begin(), paths.end(), wanted);
  return found == paths.end() || wanted.empty() ? std::string() : *found;
}

void BridgeSession::Open(KwReply* reply) {
  const char* name = nullptr;
  const char* pipe = nullptr;
  std::size_t nameLength = 0, pipeLength = 0;
  if (handle_ != kInvalidHandle || lockStream_ ||
      !KwDecodeOpen(payload_.data(), payload_.size(), &name, &nameLength, &pipe, &pipeLength)) {
    return Failed(reply, kErrorInvalidParameter);
  }
  const std::string pipeName(pipe, pipeLength);
  const std::string path = Resolve(name, nameLength);
  if (path.empty() || (!pipeName.empty() && pipeName != "PIPE00" && pipeName != "PIPE01")) {
    what_ = "refused a name it does not serve";
    return Failed(reply, kErrorFileNotFound);
  }
  if (request_.code != kCreateNew && request_.code != kOpenExisting) {
    return Failed(reply, kErrorInvalidParameter);
  }
  emulator_ = path;
  what_ = pipeName.empty() ? "interface" : pipeName;
  // a client without a lock stream of its own is kept apart all the same
  if (!state_.Holds(path)) {
    lock_ = DeviceLock::Acquire(path, std::chrono::milliseconds(0));
    if (lock_.busy()) {
      what_ += " busy";
      return Failed(reply, kErrorBusy);
    }
  }
  const std::string target = pipeName.empty() ? path : path + "\\" + pipeName;
  handle_ = api_.CreateFileA(target.c_str(), kGenericRead | kGenericWrite,
                             kFileShareRead | kFileShareWrite, request_.code, 0);
  if (handle_ == kInvalidHandle) {
    const std::uint32_t error = api_.GetLastError();
    lock_.Release();
    return Failed(reply, error);
  }
}

void BridgeSession::Lock(KwReply* reply) {
  const char* name = nullptr;
  std::size_t length = 0;
  if (handle_ != kInvalidHandle || lockStream_ ||
      KwGetName(payload_.data(), payload_.size(), &name, &length) != payload_.size()) {
    return Failed(reply, kErrorInvalidParameter);
  }
  const std::string path = Resolve(name, length);
  if (path.empty()) {
    what_ = "lock refused a name it does not serve";
    return Failed(reply, kErrorFileNotFound);
  }
  emulator_ = path;
  lock_ = DeviceLock::Acquire(path, std::chrono::milliseconds(0));
  if (lock_.busy()) {
    what_ = "lock busy";
    return Failed(reply, kErrorBusy);
  }
  what_ = "lock";
  lockStream_ = true;
  state_.Add(path);
}

void BridgeSession::List(KwReply* reply) {
  std::uint32_t count = 0;
  out_.clear();
  for (const std::string& path : state_.Emulators(false)) {
    const std::size_t at = out_.size();
    out_.resize(at + 2 + path.size());
    if (out_.size() > request_.wanted ||
        KwPutName(out_.data() + at, out_.size() - at, path.data(), path.size()) == 0) {
      return Failed(reply, kErrorInsufficientBuffer);
    }
    ++count;
  }
  what_ = "list";
  *reply = {1, 0, count, 0};
}

}  // namespace kavlen::bridge
