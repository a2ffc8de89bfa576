#include "device/protocol.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/device/scripted_device.h"

namespace kavlen {
namespace {

using test::BlockFrom;
using test::Bytes;
using test::ScriptedDevice;

constexpr Handle kDevice = ScriptedDevice::kHandle;

std::vector<std::uint32_t> Codes(const ScriptedDevice& device) {
  std::vector<std::uint32_t> codes;
  for (const auto& call : device.calls) codes.push_back(call.code);
  return codes;
}

TEST(Exchange, HeadSendsThenReceivesOnTheSameSixtyFourBytes) {
  ScriptedDevice device;
  device.reply = [](CommandBlock& b) {
    b[0] = 0x2C;
    return true;
  };
  CommandBlock block{};
  BuildHeadCommand(block, CMD_BOOT_STATUS);

  EXPECT_TRUE(HeadExchange(device.api, kDevice, block));

  EXPECT_EQ(Codes(device), (std::vector<std::uint32_t>{IOCTL_HEAD_SEND, IOCTL_HEAD_RECEIVE}));
  for (const auto& call : device.calls) {
    EXPECT_EQ(call.inLen, 64u);
    EXPECT_EQ(call.outLen, 64u);
  }
  EXPECT_EQ(device.calls[0].in[0], 0x48);
  EXPECT_EQ(block[0], 0x2C);
}

TEST(Exchange, ResultIsTheReceiveNotTheSend) {
  ScriptedDevice device;  // SEND succeeds, RECEIVE fails
  CommandBlock block{};
  BuildTailCommand(block, CMD_END_DOWNLOAD);
  const CommandBlock request = block;

  EXPECT_FALSE(TailExchange(device.api, kDevice, block));
  EXPECT_EQ(Codes(device), (std::vector<std::uint32_t>{IOCTL_TAIL_SEND, IOCTL_TAIL_RECEIVE}));
  EXPECT_EQ(block, request);

  device.api.ioctl = [](Handle, std::uint32_t code, void*, std::uint32_t, void*, std::uint32_t,
                        std::uint32_t*) { return code == IOCTL_TAIL_RECEIVE; };
  EXPECT_TRUE(TailExchange(device.api, kDevice, block));
}

// A device that answers busy (byte 1 = 1) to its first `busy` polls.
struct ReadyCase {
  const char* name;
  int busyReplies;
  bool receiveFails;
  bool expectReady;
  int expectPolls;
};

void PrintTo(const ReadyCase& c, std::ostream* out) { *out << c.name; }

class WaitReadyCases : public testing::TestWithParam<ReadyCase> {};

TEST_P(WaitReadyCases, PollsUntilReadyOrTheBound) {
  const ReadyCase& c = GetParam();
  ScriptedDevice device;
  int polls = 0;
  if (!c.receiveFails) {
    device.reply = [&](CommandBlock& b) {
      b[1] = polls++ < c.busyReplies ? 1 : 0;
      return true;
    };
  }
  CommandBlock block{};
  BuildDownload(block, 4);

  EXPECT_EQ(WaitReady(device.api, kDevice, block), c.expectReady);

  const auto sends = device.CallsOf(IOCTL_TAIL_SEND);
  EXPECT_EQ(static_cast<int>(sends.size()), c.expectPolls);
  EXPECT_EQ(device.CallsOf(IOCTL_TAIL_RECEIVE).size(), sends.size());
  // The first poll goes out on the download request's block.
  ASSERT_FALSE(sends.empty());
  EXPECT_EQ(sends[0].in, Bytes(BlockFrom({{0, 0x35}, {1, 1}, {56, 0x35}, {57, 1}, {60, 4}})));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WaitReadyCases,
    testing::Values(ReadyCase{"ReadyAtOnce", 0, false, true, 1},
                    ReadyCase{"ReadyAfterFive", 5, false, true, 6},
                    ReadyCase{"ReadyOnTheLastExaminedReply", 254, false, true, 255},
                    // The 256th reply would say ready but is never examined.
                    ReadyCase{"ReadyOnlyOnTheUnexaminedPoll", 255, false, false, 256},
                    ReadyCase{"NeverReady", 1000, false, false, 256},
                    ReadyCase{"ReceiveAlwaysFails", 0, true, false, 256}),
    [](const testing::TestParamInfo<ReadyCase>& info) { return info.param.name; });

TEST(WaitReady, LaterPollsKeepWhatTheReplyLeft) {
  ScriptedDevice device;
  int polls = 0;
  device.reply = [&](CommandBlock& b) {
    b.fill(0xA5);
    b[1] = polls++ == 0 ? 1 : 0;
    return true;
  };
  CommandBlock block{};
  BuildDownload(block, 4);

  ASSERT_TRUE(WaitReady(device.api, kDevice, block));

  const auto sends = device.CallsOf(IOCTL_TAIL_SEND);
  ASSERT_EQ(sends.size(), 2u);
  std::vector<std::uint8_t> expected(64, 0xA5);
  expected[0] = 0x35;
  expected[1] = 1;
  expected[56] = 0x35;
  expected[57] = 1;
  EXPECT_EQ(sends[1].in, expected);
}

// The reset bound: 255 polls, of which the first 254 replies are examined;
// the hook sees how many were examined before each one.
TEST(PollUntilClear, ResetBoundAndTheExaminedCount) {
  std::vector<int> always(254);
  for (int i = 0; i < 254; ++i) always[static_cast<std::size_t>(i)] = i;
  const struct {
    const char* name;
    std::uint8_t busy;  // byte 1 of every reply
    bool cleared;
    int pollsSent;
    std::vector<int> examined;
  } cases[] = {
      {"NeverClear", 1, false, 255, always},
      {"ClearAtOnce", 0, true, 1, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDevice device;
    device.reply = [&c](CommandBlock& b) {
      b[1] = c.busy;
      return true;
    };
    CommandBlock block{};
    std::vector<int> examined;

    const PollOutcome outcome = PollUntilClear(device.api, kDevice, block, CMD_RESET_POLL, 255,
                                               [&](int n) { examined.push_back(n); });

    EXPECT_EQ(outcome.cleared, c.cleared);
    EXPECT_EQ(outcome.pollsSent, c.pollsSent);
    EXPECT_EQ(examined, c.examined);
    EXPECT_EQ(device.CallsOf(IOCTL_TAIL_SEND)[0].in[0], 0x60);
  }
}

TEST(TailCommands, SendTheirBlocksOnce) {
  ScriptedDevice device;
  device.reply = [](CommandBlock&) { return true; };
  CommandBlock block;
  block.fill(0xEE);

  SendEndDownload(device.api, kDevice, block);
  SendResetTarget(device.api, kDevice, block);
  SendVerifyResult(device.api, kDevice, block, 0x10, 0x90);

  const auto sends = device.CallsOf(IOCTL_TAIL_SEND);
  ASSERT_EQ(sends.size(), 3u);
  EXPECT_EQ(sends[0].in, Bytes(BlockFrom({{56, 0x62}, {57, 1}})));
  EXPECT_EQ(sends[1].in, Bytes(BlockFrom({{56, 0x61}, {57, 1}})));
  EXPECT_EQ(sends[2].in, Bytes(BlockFrom({{56, 0x81}, {57, 0x10}, {58, 0x90}})));
  EXPECT_EQ(device.calls.size(), 6u);
}

TEST(TailCommands, EndAndResetCountOnlyWhenSendAndReceiveWentThrough) {
  const struct {
    const char* name;
    bool sendOk, receiveOk, delivered;
  } cases[] = {{"BothWentThrough", true, true, true},
               {"SendFailed", false, true, false},
               {"ReceiveFailed", true, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeDriverApi api;
    api.ioctl = [&c](Handle, std::uint32_t code, void*, std::uint32_t, void*, std::uint32_t,
                     std::uint32_t*) { return code == IOCTL_TAIL_SEND ? c.sendOk : c.receiveOk; };
    CommandBlock block{};
    EXPECT_EQ(SendEndDownload(api, kDevice, block), c.delivered);
    EXPECT_EQ(SendResetTarget(api, kDevice, block), c.delivered);
    EXPECT_EQ(api.ioctlCalls, 4);
  }
}

TEST(AddrCommands, ReplyStaysInTheBlockAndReadReturnsByteFive) {
  ScriptedDevice device;
  device.reply = [](CommandBlock& b) {
    b[5] = b[61] == 0 ? 0x9C : 0x00;
    return true;
  };
  CommandBlock block{};

  EXPECT_TRUE(SendAddrWrite(device.api, kDevice, block, 0x1FC019, 0x9C));
  const AddrReadReply read = SendAddrRead(device.api, kDevice, block, 0x1FC019);

  EXPECT_TRUE(read.received);
  EXPECT_EQ(read.value, 0x9C);
  EXPECT_EQ(block[5], 0x9C);
  EXPECT_EQ(block[56], 0x73);
}

TEST(AddrCommands, FailedReceiveIsReportedAndByteFiveIsTheRequests) {
  ScriptedDevice device;  // RECEIVE fails
  CommandBlock block{};

  EXPECT_FALSE(SendAddrWrite(device.api, kDevice, block, 0x1FC019, 0x9C));
  const AddrReadReply read = SendAddrRead(device.api, kDevice, block, 0x1FC019);

  EXPECT_FALSE(read.received);
  EXPECT_EQ(read.value, 0);
}

}  // namespace
}  // namespace kavlen
