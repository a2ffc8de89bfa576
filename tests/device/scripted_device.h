#pragma once
// Test doubles for the device layer: a driver whose command replies a test
// scripts per exchange, plus the shared sink and temporary folder the device
// tests use with it.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/command_block.h"
#include "tests/support/block_from.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

namespace kavlen::test {

// One device control request as the driver saw it.
struct IoctlCall {
  std::uint32_t code;
  std::vector<std::uint8_t> in;
  std::uint32_t inLen;
  std::uint32_t outLen;
};

// Every SEND succeeds. A RECEIVE calls `reply` with the block (as the SEND
// left it) and returns what it returns; without a reply hook every RECEIVE
// fails and the block keeps the request.
class ScriptedDevice {
 public:
  static constexpr Handle kHandle = 7;
  FakeDriverApi api;
  std::vector<IoctlCall> calls;
  std::function<bool(CommandBlock& block)> reply;

  ScriptedDevice() {
    api.ioctl = [this](Handle, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) {
      const auto* bytes = static_cast<const std::uint8_t*>(in);
      calls.push_back({code, std::vector<std::uint8_t>(bytes, bytes + inLen), inLen, outLen});
      if (returned != nullptr) *returned = outLen;
      if (code != IOCTL_HEAD_RECEIVE && code != IOCTL_TAIL_RECEIVE) return true;
      if (!reply || outLen != kCommandBlockSize) return false;
      CommandBlock block;
      std::copy_n(static_cast<std::uint8_t*>(out), block.size(), block.begin());
      const bool ok = reply(block);
      std::copy(block.begin(), block.end(), static_cast<std::uint8_t*>(out));
      return ok;
    };
  }

  // Requests with the given control code, in order.
  std::vector<IoctlCall> CallsOf(std::uint32_t code) const {
    std::vector<IoctlCall> found;
    for (const auto& call : calls) {
      if (call.code == code) found.push_back(call);
    }
    return found;
  }
};

inline std::vector<std::uint8_t> Bytes(const CommandBlock& block) {
  return std::vector<std::uint8_t>(block.begin(), block.end());
}

}  // namespace kavlen::test
