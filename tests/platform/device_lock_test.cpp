#include "platform/device_lock.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/process_helpers.h"

namespace kavlen {
namespace {

using std::chrono::milliseconds;

// flock conflicts between two opens of one file even in one process, so one
// test process can play both programs.
TEST(DeviceLock, SecondHolderWaitsThenGetsItOnceTheFirstLetsGo) {
  test::TempDir dir;
  const std::string device = dir.path() + "/emu0";
  const std::string lockFile = dir.path() + "/.emu0.lock";

  DeviceLock first = DeviceLock::Acquire(device, milliseconds(0));
  ASSERT_TRUE(first.held());
  EXPECT_TRUE(std::filesystem::exists(lockFile));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(DeviceLock::Acquire(device, milliseconds(100)).state(), DeviceLock::State::Busy);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(100));
  EXPECT_TRUE(DeviceLock::Acquire(dir.path() + "/emu1", milliseconds(0)).held());

  DeviceLock moved = std::move(first);
  EXPECT_FALSE(first.held());
  EXPECT_EQ(DeviceLock::Acquire(device, milliseconds(0)).state(), DeviceLock::State::Busy);
  moved.Release();
  EXPECT_FALSE(std::filesystem::exists(lockFile));
  EXPECT_TRUE(DeviceLock::Acquire(device, milliseconds(0)).held());
  // nothing to lock, or nowhere to put the lock: not held, and not busy either
  EXPECT_EQ(DeviceLock::Acquire("", milliseconds(0)).state(), DeviceLock::State::NotTaken);
  EXPECT_EQ(DeviceLock::Acquire("\\\\?\\usb#emu0", milliseconds(0)).state(), DeviceLock::State::NotTaken);
  EXPECT_EQ(DeviceLock::Acquire(dir.path() + "/no/such/emu", milliseconds(0)).state(),
            DeviceLock::State::NotTaken);
}

}  // namespace
}  // namespace kavlen
