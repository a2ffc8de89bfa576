#pragma once
// Test doubles for the device layer: a driver whose command replies a test
// scripts per exchange, a sink that keeps what was printed, and a temporary
// directory for image and device OS files.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "device/command_block.h"
#include "device/trace_sink.h"
#include "tests/fake_driver_api.h"

namespace kavlen::test {

struct RecordingSink : TraceSink {
  std::string text;
  void Print(std::string_view line) override { text += line; }
};

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

class TempDir {
 public:
  TempDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("kavlen-device-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path() const { return path_.string(); }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const auto file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

inline CommandBlock BlockFrom(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
  CommandBlock block{};
  for (const auto& [index, value] : bytes) block[index] = value;
  return block;
}

inline std::vector<std::uint8_t> Bytes(const CommandBlock& block) {
  return std::vector<std::uint8_t>(block.begin(), block.end());
}

}  // namespace kavlen::test
