// Reset Target: the command bytes, the bounded reset poll with its debugger
// lines, who opens and closes the device, and when the confirmation shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "gui/resource_ids.h"
#include "platform/sim_driver.h"
#include "tests/gui/emulator_rig.h"
#include "tests/support/block_from.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

constexpr int kNeverClear = -1;

// The emulator of these tests: the device OS runs, and the reset poll
// answers busy `busyReplies` times before it answers done. Every reply
// leaves a mark in byte 20 so that the next poll shows what it kept.
void ScriptReset(FakeEmulator& emulator, int busyReplies) {
  auto polls = std::make_shared<int>(0);
  emulator.reply = [polls, busyReplies](CommandBlock& block) {
    if (block[0] == CMD_BOOT_STATUS && block[56] == 0) {
      block[0] = BOOT_STATUS_OS_RUNNING;
      block[2] = 0x21;
      block[3] = 1;
      return;
    }
    if (block[56] != CMD_RESET_POLL) return;
    const bool busy = busyReplies == kNeverClear || *polls < busyReplies;
    block[1] = busy ? 1 : 0;
    block[20] = static_cast<std::uint8_t>(0xA0 + *polls);
    ++*polls;
  };
}

// How many tail SENDs carried `code`.
int TailSends(const FakeEmulator& emulator, std::uint8_t code) {
  const std::vector<std::uint8_t> codes = emulator.TailCodes();
  return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

struct PollCase {
  const char* name;
  int busyReplies;
  int pollsSent;
  int lastCount;  // the counter in the last debugger line
  bool finished;
};

const PollCase kPollCases[] = {
    {"done at the first reply", 0, 1, 254, true},
    {"busy three times", 3, 4, 251, true},
    {"done at the last examined reply", 253, 254, 1, true},
    {"done only in the reply nobody examines", 254, 255, 1, false},
    {"never done", kNeverClear, 255, 1, false},
};

// The download's end: the device is open already and stays open.
TEST(ResetTargetTest, PollOnTheCallersConnection) {
  for (const PollCase& c : kPollCases) {
    FakeEmulator emulator;
    ScriptReset(emulator, c.busyReplies);
    WindowRig rig(emulator.api);
    CMainDlg& window = *rig.window;
    ASSERT_NE(window.OpenDevice(), kInvalidHandle);
    window.m_bSelfConnect = false;

    window.OnResetTarget();

    EXPECT_EQ(rig.debugLines, TimeoutCountLines(254, c.lastCount)) << c.name;
    EXPECT_EQ(TailSends(emulator, CMD_RESET_TARGET), 1) << c.name;
    EXPECT_EQ(TailSends(emulator, CMD_RESET_POLL), c.pollsSent) << c.name;
    EXPECT_EQ(rig.resetDialogs, c.finished ? 1 : 0) << c.name;
    if (c.finished) {
      EXPECT_TRUE(rig.host.boxes.empty()) << c.name;
    } else {
      ASSERT_EQ(rig.host.boxes.size(), 1u) << c.name;
      EXPECT_EQ(rig.host.boxes[0].text, "Reset Target Timout !!") << c.name;
      EXPECT_EQ(rig.host.boxes[0].caption, "USB Kavlen") << c.name;
      EXPECT_EQ(rig.host.boxes[0].type, MB_ICONEXCLAMATION | MB_OK) << c.name;
    }
    EXPECT_EQ(emulator.opens.size(), 1u) << c.name << ": opened the device again";
    EXPECT_EQ(emulator.openNow, 1) << c.name << ": closed the caller's device";
    EXPECT_NE(window.m_hDevice, kInvalidHandle) << c.name;
  }
}

TEST(ResetTargetTest, CommandBytes) {
  FakeEmulator emulator;
  ScriptReset(emulator, 2);
  WindowRig rig(emulator.api);
  rig.window->m_cmdBlock.fill(0xEE);
  rig.window->OpenDevice();
  rig.window->m_bSelfConnect = false;
  rig.window->OnResetTarget();

  ASSERT_EQ(emulator.sends.size(), 4u);
  EXPECT_EQ(emulator.sends[0], BlockFrom({{56, CMD_RESET_TARGET}, {57, 1}}));
  // The first poll goes out on a cleared block.
  CommandBlock poll = BlockFrom({{0, CMD_RESET_POLL}, {1, 1}, {56, CMD_RESET_POLL}, {57, 1}});
  EXPECT_EQ(emulator.sends[1], poll);
  // Later polls rewrite their four bytes and keep the rest of the reply.
  poll[20] = 0xA0;
  EXPECT_EQ(emulator.sends[2], poll);
  poll[20] = 0xA1;
  EXPECT_EQ(emulator.sends[3], poll);
}

// The button's own run opens the device through the connection check and
// closes it afterwards, whether the reset finished or timed out.
TEST(ResetTargetTest, ButtonOpensAndClosesTheDevice) {
  for (const PollCase& c : kPollCases) {
    FakeEmulator emulator;
    ScriptReset(emulator, c.busyReplies);
    WindowRig rig(emulator.api);
    rig.window->OnResetTarget();

    EXPECT_EQ(emulator.opens, std::vector<std::string>{FakeEmulator::kPath}) << c.name;
    EXPECT_EQ(emulator.openNow, 0) << c.name;
    EXPECT_EQ(emulator.mostOpen, 1) << c.name;
    EXPECT_EQ(rig.window->m_hDevice, kInvalidHandle) << c.name;
    EXPECT_EQ(rig.resetDialogs, c.finished ? 1 : 0) << c.name;
    EXPECT_EQ(rig.debugLines.size(), static_cast<std::size_t>(255 - c.lastCount)) << c.name;
  }
}

TEST(ResetTargetTest, NoDeviceSendsNothing) {
  FakeEmulator emulator;
  emulator.attached = false;
  WindowRig rig(emulator.api);
  rig.window->OnResetTarget();

  EXPECT_TRUE(emulator.sends.empty());
  EXPECT_EQ(rig.Text(rig.window->m_status), "Detect Device Error happened !!");
  EXPECT_EQ(rig.Colour(rig.window->m_status), RGB(127, 0, 0));
  EXPECT_TRUE(rig.window->m_bStatusHold);
  EXPECT_EQ(rig.window->m_nHoldTicks, 0);
  EXPECT_EQ(rig.resetDialogs, 0);
  EXPECT_TRUE(rig.debugLines.empty());
  EXPECT_EQ(emulator.openNow, 0);
}

// A device that answers the boot status with nothing known is closed by the
// connection check; the reset sends nothing.
TEST(ResetTargetTest, UnusableDeviceSendsNoReset) {
  FakeEmulator emulator;
  emulator.reply = [](CommandBlock& block) { block[0] = 0x77; };
  WindowRig rig(emulator.api);
  rig.window->OnResetTarget();

  EXPECT_EQ(TailSends(emulator, CMD_RESET_TARGET), 0);
  EXPECT_EQ(rig.Text(rig.window->m_status), "Detect Device Error happened !!");
  EXPECT_EQ(emulator.openNow, 0);
  EXPECT_EQ(rig.resetDialogs, 0);
}

// Without a hook the window shows the real confirmation, which closes by itself.
// End to end against the simulator: the device discipline holds on both
// outcomes.
TEST(ResetTargetSimTest, ButtonAgainstTheSimulator) {
  struct SimCase {
    std::vector<std::string> args;
    std::size_t lines;
    int dialogs;
    std::size_t boxes;
  } cases[] = {
      {{"--state", "os", "--reset-after", "3"}, 4, 1, 0},
      {{"--state", "os", "--reset-never"}, 254, 0, 1},
  };
  for (const SimCase& c : cases) {
    TempDir root;
    SimProcess sim(root.path(), c.args);
    ASSERT_TRUE(sim.ready()) << sim.output();
    const auto driver = MakeSimDriver(root.path());
    WindowRig rig(*driver);
    rig.window->OnResetTarget();

    EXPECT_EQ(rig.debugLines.size(), c.lines);
    EXPECT_EQ(rig.resetDialogs, c.dialogs);
    EXPECT_EQ(rig.host.boxes.size(), c.boxes);
    EXPECT_EQ(rig.window->m_hDevice, kInvalidHandle);
    const std::vector<std::string> log = sim.LogLines();
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(DisciplineViolations(log), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace kavlen::test
