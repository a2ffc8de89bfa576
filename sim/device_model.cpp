#include "sim/device_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/driver_api.h"

namespace kavlen::sim {

namespace {

constexpr std::size_t kHeadCode = 0;
constexpr std::size_t kTailCode = 56;
constexpr std::uint8_t kBusy = 1;
constexpr std::uint8_t kStartRefused = 1;
constexpr std::uint8_t kOutOfRange = 0xFF;

std::string LogTarget(const std::string& target) { return target.empty() ? "interface" : target; }

std::string IoctlName(std::uint32_t code) {
  switch (code) {
    case IOCTL_LOAD_DEVICE_OS: return "LOAD_DEVICE_OS";
    case IOCTL_HEAD_SEND: return "HEAD_SEND";
    case IOCTL_HEAD_RECEIVE: return "HEAD_RECEIVE";
    case IOCTL_TAIL_SEND: return "TAIL_SEND";
    case IOCTL_TAIL_RECEIVE: return "TAIL_RECEIVE";
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "0x%X", code);
      return text;
    }
  }
}

std::uint32_t BlockCount(const CommandBlock& b) { return b[60] | (std::uint32_t{b[61]} << 8); }
std::uint32_t Address(const CommandBlock& b) {
  return (std::uint32_t{b[58]} << 16) | (std::uint32_t{b[59]} << 8) | b[60];
}

}  // namespace

DeviceModel::DeviceModel(const SimOptions& options, EventLog& log)
    : options_(options), log_(log), osRunning_(options.osRunning),
      memory_(kMemorySize, kFreshMemoryByte) {}

OpResult DeviceModel::Open(const std::string& target) {
  const std::string name = LogTarget(target);
  if (openHandles_ > 0) log_.Violation(name);
  OpResult result;
  if (target.empty()) {
    if (options_.refuseOpen) result = {false, kErrorAccessDenied, 0};
  } else if ((target != kPipeIn && target != kPipeOut) || target == options_.noPipe) {
    result = {false, kErrorFileNotFound, 0};
  }
  log_.Opened(name, result.ok);
  if (result.ok) ++openHandles_;
  return result;
}

void DeviceModel::Close(const std::string& target) {
  if (openHandles_ > 0) --openHandles_;
  log_.Closed(LogTarget(target));
}

OpResult DeviceModel::Ioctl(std::uint32_t code, const std::uint8_t* in, std::uint32_t inLen,
                            std::uint32_t outLen, std::vector<std::uint8_t>* out) {
  out->clear();
  const bool send = code == IOCTL_HEAD_SEND || code == IOCTL_TAIL_SEND;
  const bool receive = code == IOCTL_HEAD_RECEIVE || code == IOCTL_TAIL_RECEIVE;
  OpResult result;

  if (code == IOCTL_LOAD_DEVICE_OS) {
    deviceOs_.assign(in, in + inLen);
    out->assign(in, in + std::min(inLen, outLen));
    result.count = static_cast<std::uint32_t>(out->size());
  } else if ((send || receive) && (inLen != kCommandBlockSize || outLen != kCommandBlockSize)) {
    result = {false, kErrorInvalidParameter, 0};
  } else if (send) {
    CommandBlock request;
    std::copy(in, in + kCommandBlockSize, request.begin());
    const bool head = code == IOCTL_HEAD_SEND;
    pendingHead_ = head;
    pendingCode_ = request[head ? kHeadCode : kTailCode];
    pendingReply_ = Answer(head, request);
    replyPending_ = true;
    out->assign(in, in + kCommandBlockSize);
    result.count = kCommandBlockSize;
  } else if (receive) {
    // With no SEND of its kind before it the block comes back as it went in.
    if (!replyPending_ || pendingHead_ != (code == IOCTL_HEAD_RECEIVE)) {
      out->assign(in, in + kCommandBlockSize);
      result.count = kCommandBlockSize;
    } else if (options_.failReceive && *options_.failReceive == pendingCode_) {
      result = {false, kErrorGenFailure, 0};
    } else {
      out->assign(pendingReply_.begin(), pendingReply_.end());
      result.count = kCommandBlockSize;
    }
    replyPending_ = false;
  } else {
    result = {false, kErrorInvalidParameter, 0};
  }
  log_.Ioctl(IoctlName(code), in, inLen, result.ok);
  return result;
}

CommandBlock DeviceModel::Answer(bool head, const CommandBlock& request) {
  CommandBlock reply = request;
  if (head) {
    switch (request[kHeadCode]) {
      case CMD_BOOT_STATUS:
        reply[0] = options_.bootReply.value_or(osRunning_ ? BOOT_STATUS_OS_RUNNING
                                                          : BOOT_STATUS_BOOT_CODE);
        reply[2] = options_.version;
        reply[3] = options_.model;
        break;
      case CMD_QUERY_INFO: {
        const std::uint16_t checksum = OsChecksum();
        reply[2] = static_cast<std::uint8_t>(checksum >> 8);
        reply[3] = static_cast<std::uint8_t>(checksum & 0xFF);
        reply[5] = options_.capacityMask;
        break;
      }
      case CMD_START_OS:
        if (options_.startOsFails) {
          reply[0] = kStartRefused;
        } else {
          reply[0] = 0;
          osRunning_ = true;
        }
        break;
      default:
        break;
    }
    return reply;
  }
  switch (request[kTailCode]) {
    case CMD_DOWNLOAD:
      download_ = {BlockCount(request), 0};
      readyPolls_ = 0;
      break;
    case CMD_UPLOAD:
      upload_ = {BlockCount(request), 0};
      break;
    case CMD_READY_POLL:
      reply[1] = options_.neverReady || readyPolls_ < options_.readyAfter ? kBusy : 0;
      ++readyPolls_;
      break;
    case CMD_RESET_TARGET:
      resetPolls_ = 0;
      break;
    case CMD_RESET_POLL:
      reply[1] = options_.resetNever || resetPolls_ < options_.resetAfter ? kBusy : 0;
      ++resetPolls_;
      break;
    case CMD_ADDR_WRITE: {
      const std::uint32_t address = Address(request);
      if (address < kMemorySize) memory_[address] = request[61];
      reply[5] = address < kMemorySize ? memory_[address] : kOutOfRange;
      break;
    }
    case CMD_ADDR_READ: {
      const std::uint32_t address = Address(request);
      reply[5] = address < kMemorySize ? memory_[address] : kOutOfRange;
      break;
    }
    default:  // CMD_VERIFY_RESULT, CMD_END_DOWNLOAD and the rest are only recorded
      break;
  }
  return reply;
}

std::uint16_t DeviceModel::OsChecksum() const {
  if (options_.osChecksum) return *options_.osChecksum;
  std::uint16_t sum = 0;
  for (const std::uint8_t byte : deviceOs_) sum = static_cast<std::uint16_t>(sum + byte);
  return sum;
}

OpResult DeviceModel::Write(const std::string& target, const std::uint8_t* data,
                            std::uint32_t len) {
  OpResult result;
  if (target != kPipeOut || !download_.pending() || len > kTransferBlockSize) {
    result = {false, target != kPipeOut ? kErrorInvalidHandle : kErrorGenFailure, 0};
    log_.Transfer("write", LogTarget(target), len, false);
    return result;
  }
  const std::uint32_t block = download_.done++;
  const std::uint64_t address = std::uint64_t{block} * kTransferBlockSize;
  if (options_.failWriteBlock && *options_.failWriteBlock == block) {
    result = {false, kErrorGenFailure, 0};
  } else {
    const std::uint32_t stored =
        options_.shortWriteBlock && *options_.shortWriteBlock == block ? len / 2 : len;
    if (address + stored <= kMemorySize) {
      if (stored > 0) std::memcpy(memory_.data() + address, data, stored);
      result.count = stored;
    } else {
      result = {false, kErrorGenFailure, 0};
    }
  }
  log_.Transfer("write", target, len, result.ok);
  if (!download_.pending()) DumpDownload();
  if (result.ok) CountBlock();
  return result;
}

OpResult DeviceModel::Read(const std::string& target, std::uint8_t* data, std::uint32_t len) {
  OpResult result;
  if (target != kPipeIn || !upload_.pending() || len > kTransferBlockSize) {
    result = {false, target != kPipeIn ? kErrorInvalidHandle : kErrorGenFailure, 0};
    log_.Transfer("read", LogTarget(target), len, false);
    return result;
  }
  const std::uint32_t block = upload_.done++;
  const std::uint64_t address = std::uint64_t{block} * kTransferBlockSize;
  if ((options_.failReadBlock && *options_.failReadBlock == block) ||
      address + len > kMemorySize) {
    result = {false, kErrorGenFailure, 0};
  } else {
    if (len > 0) std::memcpy(data, memory_.data() + address, len);
    for (const std::uint32_t corrupt : options_.corrupt) {
      if (corrupt >= address && corrupt < address + len) data[corrupt - address] ^= 0xFF;
    }
    result.count = options_.shortReadBlock && *options_.shortReadBlock == block ? len / 2 : len;
  }
  log_.Transfer("read", target, len, result.ok);
  if (result.ok) CountBlock();
  return result;
}

void DeviceModel::CountBlock() {
  ++blocksMoved_;
  if (options_.unplugAfterBlocks && blocksMoved_ >= *options_.unplugAfterBlocks) unplugged_ = true;
}

void DeviceModel::DumpDownload() const {
  if (options_.dumpPath.empty()) return;
  const std::uint64_t size =
      std::min<std::uint64_t>(std::uint64_t{download_.blocks} * kTransferBlockSize, kMemorySize);
  std::FILE* file = std::fopen(options_.dumpPath.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(memory_.data(), 1, static_cast<std::size_t>(size), file);
  std::fclose(file);
}

}  // namespace kavlen::sim
