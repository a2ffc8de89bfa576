#pragma once
// A private device root, the POSIX driver backend pointed at it, and helpers
// that send hand-built command blocks through the backend to kavlen-sim.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "platform/sim_driver.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {

inline CommandBlock HeadBlock(std::uint8_t code) {
  CommandBlock block{};
  block[0] = code;
  block[1] = 1;
  return block;
}

inline CommandBlock TailBlock(std::uint8_t code, std::uint16_t blocks = 0) {
  CommandBlock block{};
  block[56] = code;
  block[57] = 1;
  block[60] = static_cast<std::uint8_t>(blocks & 0xFF);
  block[61] = static_cast<std::uint8_t>(blocks >> 8);
  return block;
}

class SimRig : public testing::Test {
 protected:
  SimRig() : driver_(MakeSimDriver(root_.path())) {}

  DriverApi& api() { return *driver_; }
  const std::string& root() const { return root_.path(); }

  SimProcess& Start(std::vector<std::string> args = {}, const std::string& name = "emu0") {
    sims_.push_back(std::make_unique<SimProcess>(root(), std::move(args), name));
    EXPECT_TRUE(sims_.back()->ready()) << sims_.back()->output();
    return *sims_.back();
  }
  SimProcess& sim() { return *sims_.front(); }

  std::vector<std::string> Enumerate();
  Handle Open(const std::string& pipe = {});
  // SEND then RECEIVE on block; returns the RECEIVE result.
  bool Exchange(Handle handle, bool head, CommandBlock& block);
  bool Head(Handle handle, CommandBlock& block) { return Exchange(handle, true, block); }
  bool Tail(Handle handle, CommandBlock& block) { return Exchange(handle, false, block); }

 private:
  TempDir root_;
  std::unique_ptr<DriverApi> driver_;
  std::vector<std::unique_ptr<SimProcess>> sims_;
};

}  // namespace kavlen::test
