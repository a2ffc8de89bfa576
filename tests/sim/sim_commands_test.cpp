// The command set and transfers of kavlen-sim, driven with hand-built
// command blocks through the POSIX driver backend.

#include <signal.h>
#include <sys/wait.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/sim/sim_rig.h"

namespace kavlen::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::uint8_t seed) {
  Bytes data(kTransferBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(seed + i * 7);
  return data;
}

class SimCommandsTest : public SimRig {
 protected:
  CommandBlock HeadReply(std::uint8_t code) {
    const Handle device = Open();
    CommandBlock block = HeadBlock(code);
    EXPECT_TRUE(Head(device, block));
    api().CloseHandle(device);
    return block;
  }

  // CMD_DOWNLOAD of n blocks, then the blocks on PIPE01; the results of the writes.
  std::vector<bool> Download(std::uint16_t n, std::vector<std::uint32_t>* counts = nullptr) {
    const Handle device = Open();
    CommandBlock block = TailBlock(CMD_DOWNLOAD, n);
    Tail(device, block);
    api().CloseHandle(device);
    const Handle pipe = Open(kPipeOut);
    std::vector<bool> results;
    for (std::uint16_t i = 0; i < n; ++i) {
      const Bytes data = Pattern(static_cast<std::uint8_t>(i));
      std::uint32_t written = 0;
      results.push_back(api().WriteFile(pipe, data.data(), kTransferBlockSize, &written));
      if (counts != nullptr) counts->push_back(written);
    }
    api().CloseHandle(pipe);
    return results;
  }

  // CMD_UPLOAD of n blocks, then the reads on PIPE00 into *memory.
  std::vector<bool> Upload(std::uint16_t n, Bytes* memory, std::vector<std::uint32_t>* counts = nullptr) {
    const Handle device = Open();
    CommandBlock block = TailBlock(CMD_UPLOAD, n);
    Tail(device, block);
    api().CloseHandle(device);
    const Handle pipe = Open(kPipeIn);
    memory->assign(std::size_t{n} * kTransferBlockSize, 0);
    std::vector<bool> results;
    for (std::uint16_t i = 0; i < n; ++i) {
      std::uint32_t read = 0;
      results.push_back(api().ReadFile(pipe, memory->data() + std::size_t{i} * kTransferBlockSize,
                                       kTransferBlockSize, &read));
      if (counts != nullptr) counts->push_back(read);
    }
    api().CloseHandle(pipe);
    return results;
  }

  // Byte 1 of each reply to `polls` polls of code after `start` was sent.
  std::vector<int> Polls(std::uint8_t start, std::uint8_t poll, int polls) {
    const Handle device = Open();
    CommandBlock block = TailBlock(start, 4);
    Tail(device, block);
    std::vector<int> busy;
    for (int i = 0; i < polls; ++i) {
      block[0] = poll;
      block[1] = 1;
      block[56] = poll;
      block[57] = 1;
      Tail(device, block);
      busy.push_back(block[1]);
    }
    api().CloseHandle(device);
    return busy;
  }
};

struct BootCase {
  const char* name;
  std::vector<std::string> args;
  std::uint8_t status, version, model;
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const BootCase& c, std::ostream* os) { *os << c.name; }

class SimBootStatusTest : public SimCommandsTest, public testing::WithParamInterface<BootCase> {};

TEST_P(SimBootStatusTest, AnswersStatusVersionAndModel) {
  Start(GetParam().args);
  const CommandBlock reply = HeadReply(CMD_BOOT_STATUS);
  EXPECT_EQ(reply[0], GetParam().status);
  EXPECT_EQ(reply[1], 1);
  EXPECT_EQ(reply[2], GetParam().version);
  EXPECT_EQ(reply[3], GetParam().model);
}

INSTANTIATE_TEST_SUITE_P(
    States, SimBootStatusTest,
    testing::Values(BootCase{"BootCode", {}, 0x01, 0x12, 2},
                    BootCase{"OsRunning", {"--state", "os"}, 0x2C, 0x12, 2},
                    BootCase{"VersionAndModel", {"--state", "os", "--version", "0x34", "--model", "1"},
                             0x2C, 0x34, 1},
                    BootCase{"ForcedReply", {"--boot-reply", "0"}, 0x00, 0x12, 2}),
    [](const testing::TestParamInfo<BootCase>& info) { return std::string(info.param.name); });

TEST_F(SimCommandsTest, LoadedDeviceOsStartsAndItsSumIsTheChecksum) {
  Start();
  const Handle device = Open();
  Bytes os = {0x01, 0x02, 0x03, 0xFF};
  std::uint32_t returned = 0;
  api().DeviceIoControl(device, IOCTL_LOAD_DEVICE_OS, os.data(), 4, os.data(), 4, &returned);
  CommandBlock start = HeadBlock(CMD_START_OS);
  ASSERT_TRUE(Head(device, start));
  EXPECT_EQ(start[0], 0);
  CommandBlock status = HeadBlock(CMD_BOOT_STATUS);
  Head(device, status);
  EXPECT_EQ(status[0], 0x2C);
  CommandBlock info = HeadBlock(CMD_QUERY_INFO);
  ASSERT_TRUE(Head(device, info));
  EXPECT_EQ(info[2], 0x01);
  EXPECT_EQ(info[3], 0x05);
  EXPECT_EQ(info[5], 0x3F);
  api().CloseHandle(device);
}

TEST_F(SimCommandsTest, GivenChecksumAndCapacityMask) {
  Start({"--state", "os", "--os-checksum", "0x1234", "--capacity-mask", "0x7F"});
  const CommandBlock info = HeadReply(CMD_QUERY_INFO);
  EXPECT_EQ(info[2], 0x12);
  EXPECT_EQ(info[3], 0x34);
  EXPECT_EQ(info[5], 0x7F);
}

TEST_F(SimCommandsTest, RefusedStartKeepsTheBootCode) {
  Start({"--start-os-fails"});
  EXPECT_NE(HeadReply(CMD_START_OS)[0], 0);
  EXPECT_EQ(HeadReply(CMD_BOOT_STATUS)[0], 0x01);
}

TEST_F(SimCommandsTest, FailedReceiveLeavesTheRequestInTheBlock) {
  Start({"--state", "os", "--fail-receive", "0x51"});
  const Handle device = Open();
  CommandBlock block = HeadBlock(CMD_QUERY_INFO);
  EXPECT_FALSE(Head(device, block));
  EXPECT_EQ(block, HeadBlock(CMD_QUERY_INFO));
  CommandBlock other = HeadBlock(CMD_BOOT_STATUS);
  EXPECT_TRUE(Head(device, other));
  api().CloseHandle(device);
}

TEST_F(SimCommandsTest, ReceiveWithoutItsSendReturnsTheBlockUnchanged) {
  Start();
  const Handle device = Open();
  CommandBlock block = TailBlock(CMD_READY_POLL);
  block[9] = 0x5A;
  const CommandBlock sent = block;
  std::uint32_t returned = 0;
  EXPECT_TRUE(api().DeviceIoControl(device, IOCTL_TAIL_RECEIVE, block.data(), 64, block.data(), 64,
                                    &returned));
  EXPECT_EQ(block, sent);
  // a head command's reply is not the tail RECEIVE's
  CommandBlock head = HeadBlock(CMD_BOOT_STATUS);
  const CommandBlock asked = head;
  EXPECT_TRUE(api().DeviceIoControl(device, IOCTL_HEAD_SEND, head.data(), 64, head.data(), 64,
                                    &returned));
  EXPECT_TRUE(api().DeviceIoControl(device, IOCTL_TAIL_RECEIVE, head.data(), 64, head.data(), 64,
                                    &returned));
  EXPECT_EQ(head, asked);
  api().CloseHandle(device);
}

TEST_F(SimCommandsTest, DownloadedBlocksComeBackAndFreshMemoryIsCC) {
  SimProcess& sim = Start({"--state", "os", "--dump", root() + "/dump.bin"});
  EXPECT_EQ(Download(4), std::vector<bool>(4, true));
  Bytes memory;
  EXPECT_EQ(Upload(5, &memory), std::vector<bool>(5, true));
  for (std::uint8_t i = 0; i < 4; ++i) {
    const Bytes expected = Pattern(i);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           memory.begin() + std::ptrdiff_t{i} * kTransferBlockSize))
        << "block " << int{i};
  }
  EXPECT_EQ(Bytes(memory.begin() + 4 * kTransferBlockSize, memory.end()),
            Bytes(kTransferBlockSize, 0xCC));

  EXPECT_EQ(ReadFileBytes(root() + "/dump.bin"), Bytes(memory.begin(), memory.begin() + 4 * kTransferBlockSize));

  const std::vector<std::string> log = sim.LogLines();
  EXPECT_EQ(log[1], R"({"op":"ioctl","ioctl":"TAIL_SEND","in":")" + std::string(112, '0') +
                        "3701000004000000" + R"(","ok":true})");
  EXPECT_EQ(log[5], R"({"op":"write","pipe":"PIPE01","len":16384,"ok":true})");
}

TEST_F(SimCommandsTest, PipeTransfersNeedAnAnnouncement) {
  Start({"--state", "os"});
  const Bytes data(kTransferBlockSize, 1);
  Bytes buffer(kTransferBlockSize);
  std::uint32_t count = 0;
  Handle pipe = Open(kPipeOut);
  EXPECT_FALSE(api().WriteFile(pipe, data.data(), kTransferBlockSize, &count));
  api().CloseHandle(pipe);
  pipe = Open(kPipeIn);
  EXPECT_FALSE(api().ReadFile(pipe, buffer.data(), kTransferBlockSize, &count));
  api().CloseHandle(pipe);
  EXPECT_EQ(Download(1), std::vector<bool>{true});
  pipe = Open(kPipeOut);
  EXPECT_FALSE(api().WriteFile(pipe, data.data(), kTransferBlockSize, &count));
  api().CloseHandle(pipe);
}

struct BlockFaultCase {
  const char* name;
  std::vector<std::string> args;
  bool upload;
  std::vector<bool> results;
  std::vector<std::uint32_t> counts;
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const BlockFaultCase& c, std::ostream* os) { *os << c.name; }

class SimBlockFaultTest : public SimCommandsTest, public testing::WithParamInterface<BlockFaultCase> {};

TEST_P(SimBlockFaultTest, TheNamedBlockMisbehaves) {
  std::vector<std::string> args = {"--state", "os"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  Start(args);
  std::vector<std::uint32_t> counts;
  Bytes memory;
  const std::vector<bool> results = GetParam().upload ? Upload(4, &memory, &counts) : Download(4, &counts);
  EXPECT_EQ(results, GetParam().results);
  EXPECT_EQ(counts, GetParam().counts);
}

constexpr std::uint32_t kFull = kTransferBlockSize;
constexpr std::uint32_t kHalf = kTransferBlockSize / 2;

INSTANTIATE_TEST_SUITE_P(
    Faults, SimBlockFaultTest,
    testing::Values(
        BlockFaultCase{"FailWrite", {"--fail-write-block", "1"}, false, {true, false, true, true},
                       {kFull, 0, kFull, kFull}},
        BlockFaultCase{"ShortWrite", {"--short-write-block", "2"}, false, {true, true, true, true},
                       {kFull, kFull, kHalf, kFull}},
        BlockFaultCase{"FailRead", {"--fail-read-block", "0"}, true, {false, true, true, true},
                       {0, kFull, kFull, kFull}},
        BlockFaultCase{"ShortRead", {"--short-read-block", "3"}, true, {true, true, true, true},
                       {kFull, kFull, kFull, kHalf}}),
    [](const testing::TestParamInfo<BlockFaultCase>& info) { return std::string(info.param.name); });

TEST_F(SimCommandsTest, CorruptedByteIsInvertedOnReadBackOnly) {
  Start({"--state", "os", "--corrupt", "20000"});
  Download(2);
  Bytes memory;
  Upload(2, &memory);
  const Bytes written = Pattern(1);
  EXPECT_EQ(memory[20000], static_cast<std::uint8_t>(~written[20000 - kTransferBlockSize]));
  EXPECT_EQ(memory[19999], written[19999 - kTransferBlockSize]);
}

TEST_F(SimCommandsTest, MissingPipeCannotBeOpened) {
  Start({"--no-pipe", "PIPE00"});
  EXPECT_EQ(Open(kPipeIn), kInvalidHandle);
  EXPECT_EQ(api().GetLastError(), kErrorFileNotFound);
  const Handle out = Open(kPipeOut);
  EXPECT_NE(out, kInvalidHandle);
  api().CloseHandle(out);
}

struct PollCase {
  const char* name;
  std::vector<std::string> args;
  std::uint8_t start, poll;
  std::vector<int> busy;
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const PollCase& c, std::ostream* os) { *os << c.name; }

class SimPollTest : public SimCommandsTest, public testing::WithParamInterface<PollCase> {};

TEST_P(SimPollTest, BusyRepliesBeforeReady) {
  Start(GetParam().args);
  EXPECT_EQ(Polls(GetParam().start, GetParam().poll, 4), GetParam().busy);
}

INSTANTIATE_TEST_SUITE_P(
    Polls, SimPollTest,
    testing::Values(PollCase{"ReadyAtOnce", {}, CMD_DOWNLOAD, CMD_READY_POLL, {0, 0, 0, 0}},
                    PollCase{"ReadyAfterTwo", {"--ready-after", "2"}, CMD_DOWNLOAD, CMD_READY_POLL,
                             {1, 1, 0, 0}},
                    PollCase{"NeverReady", {"--never-ready"}, CMD_DOWNLOAD, CMD_READY_POLL, {1, 1, 1, 1}},
                    PollCase{"ResetAtOnce", {}, CMD_RESET_TARGET, CMD_RESET_POLL, {0, 0, 0, 0}},
                    PollCase{"ResetAfterThree", {"--reset-after", "3"}, CMD_RESET_TARGET,
                             CMD_RESET_POLL, {1, 1, 1, 0}},
                    PollCase{"ResetNever", {"--reset-never"}, CMD_RESET_TARGET, CMD_RESET_POLL,
                             {1, 1, 1, 1}}),
    [](const testing::TestParamInfo<PollCase>& info) { return std::string(info.param.name); });

// A tail address command: the 24-bit address high byte first in bytes 58 to
// 60, the byte to write in 61.
CommandBlock AddressBlock(std::uint8_t code, std::uint32_t address, std::uint8_t value = 0) {
  CommandBlock block = TailBlock(code);
  block[58] = static_cast<std::uint8_t>(address >> 16);
  block[59] = static_cast<std::uint8_t>(address >> 8);
  block[60] = static_cast<std::uint8_t>(address);
  block[61] = value;
  return block;
}

TEST_F(SimCommandsTest, AddressWriteAndReadEchoTheMemoryByte) {
  Start({"--state", "os"});
  const Handle device = Open();
  CommandBlock write = AddressBlock(CMD_ADDR_WRITE, 0x1FC019, 0x9C);
  ASSERT_TRUE(Tail(device, write));
  EXPECT_EQ(write[5], 0x9C);
  CommandBlock read = AddressBlock(CMD_ADDR_READ, 0x1FC019);
  ASSERT_TRUE(Tail(device, read));
  EXPECT_EQ(read[5], 0x9C);
  CommandBlock fresh = AddressBlock(CMD_ADDR_READ, 0x000018);
  ASSERT_TRUE(Tail(device, fresh));
  EXPECT_EQ(fresh[5], 0xCC);
  api().CloseHandle(device);
}

TEST_F(SimCommandsTest, UnpluggedAfterBlocksTheDeviceVanishes) {
  SimProcess& sim = Start({"--state", "os", "--unplug-after-blocks", "2"});
  const Handle device = Open();
  CommandBlock block = TailBlock(CMD_DOWNLOAD, 4);
  Tail(device, block);
  api().CloseHandle(device);
  const Handle pipe = Open(kPipeOut);
  const Bytes data(kTransferBlockSize, 0x11);
  std::uint32_t written = 0;
  EXPECT_TRUE(api().WriteFile(pipe, data.data(), kTransferBlockSize, &written));
  EXPECT_TRUE(api().WriteFile(pipe, data.data(), kTransferBlockSize, &written));
  EXPECT_FALSE(api().WriteFile(pipe, data.data(), kTransferBlockSize, &written));
  EXPECT_EQ(api().GetLastError(), kErrorDeviceNotConnected);
  EXPECT_TRUE(api().CloseHandle(pipe));
  EXPECT_TRUE(WIFEXITED(sim.Wait()));
  EXPECT_TRUE(Enumerate().empty());
}

}  // namespace
}  // namespace kavlen::test
