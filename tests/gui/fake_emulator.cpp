#include "tests/gui/fake_emulator.h"

#include <algorithm>
#include <cstring>

#include "device/rom_capacity.h"

namespace kavlen::test {

namespace {

std::string Hex2(std::uint8_t byte) {
  static const char* digits = "0123456789abcdef";
  return {digits[byte >> 4], digits[byte & 0xF]};
}

// A poll answers busy while its count is not used up; -1 never runs out.
std::uint8_t BusyReply(int& busyLeft) {
  if (busyLeft == 0) return 0;
  if (busyLeft > 0) --busyLeft;
  return 1;
}

}  // namespace

std::string CommandToken(const std::uint8_t* block, bool head) {
  if (head) return Hex2(block[0]);
  const std::uint8_t code = block[56];
  std::string token = Hex2(code);
  if (code == CMD_DOWNLOAD || code == CMD_UPLOAD) {
    token += ":" + std::to_string(block[60] + 256 * block[61]);
  } else if (code == CMD_VERIFY_RESULT) {
    token += ":" + Hex2(block[57]) + "," + Hex2(block[58]);
  }
  return token;
}

std::string FoldTokens(const std::vector<std::string>& tokens) {
  std::string trace;
  for (std::size_t i = 0; i < tokens.size();) {
    std::size_t run = 1;
    while (i + run < tokens.size() && tokens[i + run] == tokens[i]) ++run;
    if (!trace.empty()) trace += ' ';
    trace += tokens[i] + (run > 1 ? "x" + std::to_string(run) : "");
    i += run;
  }
  return trace;
}

FakeEmulator::FakeEmulator() : memory(kImageBufferSize, 0xEE) {
  api.enumInterfaces = [this](DevInfoSet, const Guid&, std::uint32_t index, DeviceInterfaceData*) {
    if (index == 0 && attached) return true;
    api.lastError = kErrorNoMoreItems;
    return false;
  };
  api.getDetail = [this](DevInfoSet, DeviceInterfaceData*, void* detail, std::uint32_t size,
                         std::uint32_t* required) {
    const auto need = static_cast<std::uint32_t>(4 + std::strlen(kPath) + 1);
    if (required != nullptr) *required = need;
    if (detail == nullptr || size < need) {
      api.lastError = kErrorInsufficientBuffer;
      return false;
    }
    std::memcpy(static_cast<char*>(detail) + 4, kPath, std::strlen(kPath) + 1);
    return true;
  };
  api.createFile = [this](const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t) { return Open(path); };
  api.closeHandle = [this](Handle handle) { return Close(handle); };
  api.ioctl = [this](Handle handle, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                     std::uint32_t outLen, std::uint32_t* returned) {
    return Exchange(handle, code, in, inLen, out, outLen, returned);
  };
  api.writeFile = [this](Handle handle, const void* data, std::uint32_t length, std::uint32_t* count) {
    *count = 0;
    if (!IsPipe(handle)) return false;
    return Move("W", failWrite, shortWrite, written_, length, count,
                [&](std::uint32_t at, std::uint32_t n) {
                  const auto* bytes = static_cast<const std::uint8_t*>(data);
                  pipeWrites.emplace_back(bytes, bytes + n);
                  std::memcpy(memory.data() + at, data, n);
                });
  };
  api.readFile = [this](Handle handle, void* data, std::uint32_t length, std::uint32_t* count) {
    *count = 0;
    if (!IsPipe(handle)) return false;
    return Move("R", failRead, shortRead, read_, length, count,
                [&](std::uint32_t at, std::uint32_t n) {
                  auto* bytes = static_cast<std::uint8_t*>(data);
                  std::memcpy(bytes, memory.data() + at, n);
                  for (const std::uint32_t address : corrupt) {
                    if (address >= at && address < at + n) bytes[address - at] ^= 0xFF;
                  }
                });
  };
}

std::vector<std::uint8_t> FakeEmulator::TailCodes() const {
  std::vector<std::uint8_t> codes;
  for (const CommandBlock& block : sends) codes.push_back(block[56]);
  return codes;
}

Handle FakeEmulator::Open(const std::string& path) {
  const std::string device(kPath);
  const bool isDevice = path == device;
  const bool underDevice = path.size() > device.size() + 1 && path.compare(0, device.size(), device) == 0 &&
                           path[device.size()] == '\\';
  const std::string pipe = underDevice ? path.substr(device.size() + 1) : "";
  if (!attached || !(isDevice || underDevice) || missingPipes.count(pipe) != 0) {
    if (!pipe.empty()) tokens.push_back(pipe + "!");
    api.lastError = kErrorFileNotFound;
    return kInvalidHandle;
  }
  tokens.push_back(isDevice ? "open" : pipe);
  opens.push_back(path);
  mostOpen = std::max(mostOpen, ++openNow);
  open_[nextHandle_] = pipe;
  return nextHandle_++;
}

bool FakeEmulator::Close(Handle handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return false;
  tokens.push_back(it->second.empty() ? "close" : "/" + it->second);
  open_.erase(it);
  --openNow;
  return true;
}

bool FakeEmulator::IsPipe(Handle handle) const {
  const auto it = open_.find(handle);
  return it != open_.end() && !it->second.empty();
}

bool FakeEmulator::Exchange(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLen,
                            void* out, std::uint32_t outLen, std::uint32_t* returned) {
  const auto it = open_.find(handle);
  if (it == open_.end() || !it->second.empty() || inLen != kCommandBlockSize ||
      outLen != kCommandBlockSize) {
    api.lastError = kErrorInvalidHandle;
    return false;
  }
  if (!attached) {
    api.lastError = kErrorGenFailure;
    return false;
  }
  CommandBlock block;
  std::memcpy(block.data(), in, block.size());
  if (returned != nullptr) *returned = outLen;
  const bool head = code == IOCTL_HEAD_SEND || code == IOCTL_HEAD_RECEIVE;
  if (code == IOCTL_HEAD_SEND || code == IOCTL_TAIL_SEND) {
    sends.push_back(block);
    tokens.push_back(CommandToken(block.data(), head));
    if (!head && block[56] == CMD_DOWNLOAD) written_ = 0;
    if (!head && block[56] == CMD_UPLOAD) read_ = 0;
    return true;
  }
  if (!head && block[56] == failReceiveOf) {
    api.lastError = kErrorGenFailure;
    return false;
  }
  if (reply) {
    reply(block);
  } else {
    Answer(block, head);
  }
  std::memcpy(out, block.data(), block.size());
  return true;
}

void FakeEmulator::Answer(CommandBlock& block, bool head) {
  if (head && block[0] == CMD_BOOT_STATUS) block[0] = BOOT_STATUS_OS_RUNNING;
  if (head && block[0] == CMD_QUERY_INFO) block[5] = 0x3F;
  if (!head && block[56] == CMD_READY_POLL) block[1] = BusyReply(busyPolls);
  if (!head && block[56] == CMD_RESET_POLL) block[1] = BusyReply(resetBusyPolls);
}

bool FakeEmulator::Move(const char* what, const std::optional<std::uint32_t>& fail,
                        const std::optional<std::uint32_t>& shortBlock, std::uint32_t& index,
                        std::uint32_t length, std::uint32_t* count,
                        const std::function<void(std::uint32_t, std::uint32_t)>& copy) {
  if (beforeBlock) beforeBlock();
  const std::uint32_t n = shortBlock == index ? length / 2 : length;
  const std::uint64_t at = std::uint64_t{index} * kTransferBlockSize;
  if (!attached || fail == index || at + n > memory.size()) {
    tokens.push_back(std::string(what) + "!");
    return false;
  }
  copy(static_cast<std::uint32_t>(at), n);
  *count = n;
  tokens.push_back(std::string(what) + (n == length ? "" : "s"));
  ++index;
  if (unplugAfterBlocks && --*unplugAfterBlocks == 0) attached = false;
  return true;
}

}  // namespace kavlen::test
