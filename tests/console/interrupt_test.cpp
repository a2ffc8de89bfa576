// Ctrl-C under --watch stops the block loops after the block in flight. A
// program of its own: once raised, the flag stays raised for the process.

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <vector>

#include "console/download.h"
#include "console/interrupt.h"
#include "console/verify.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/recording_sink.h"

namespace kavlen::console {
namespace {

TEST(InterruptTest, BlockLoopsStopAfterTheBlockInFlight) {
  CatchInterrupts();
  const std::vector<std::uint8_t> image(4 * kTransferBlockSize, 0x5A);
  test::FakeDriverApi api;
  auto block = [&](std::uint32_t* count) {
    *count = kTransferBlockSize;
    if (api.writeCalls + api.readCalls == 2) std::raise(SIGINT);  // during the second block
    return true;
  };
  api.writeFile = [&](Handle, const void*, std::uint32_t, std::uint32_t* n) { return block(n); };
  test::RecordingSink written;
  EXPECT_FALSE(WriteBlocks(api, 7, image.data(), 4, written));
  EXPECT_EQ(written.text, "..\nInterrupted after block 1 ...\n");
  EXPECT_EQ(api.writeCalls, 2);

  api.writeCalls = 0;
  api.readFile = [&](Handle, void* data, std::uint32_t, std::uint32_t* n) {
    std::memset(data, 0x5A, kTransferBlockSize);
    return block(n);
  };
  // the flag is still up: the read-back stops after its first block
  test::RecordingSink read;
  const ReadBack back = ReadAndCompare(api, 7, image.data(), 4, read);
  EXPECT_FALSE(back.complete);
  EXPECT_EQ(read.text, ".\nInterrupted after block 0 ...\n");
  EXPECT_EQ(api.readCalls, 1);
}

}  // namespace
}  // namespace kavlen::console
