// The debug panel: USER CMD's two commands and their dumps, Write Buffer's
// one-block download of the test pattern, and the dump address list.

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "device/hex_dump.h"
#include "platform/sim_driver.h"
#include "tests/gui/emulator_rig.h"
#include "tests/support/block_from.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

std::string DumpOf(const CommandBlock& block) {
  return HexDumpText(std::span<const std::uint8_t, kHexDumpBytes>(block));
}

// Replies of USER CMD's emulator: each command's reply carries its own code
// in byte 5 and a running mark in byte 6, so the dumps tell them apart.
void ScriptDebugReplies(FakeEmulator& emulator, bool ready = true) {
  auto count = std::make_shared<int>(0);
  emulator.reply = [count, ready](CommandBlock& block) {
    if (block[56] == CMD_READY_POLL) {
      block[1] = ready ? 0 : 1;
      return;
    }
    block[5] = block[56];
    block[6] = static_cast<std::uint8_t>(0x40 + (*count)++);
  };
}

CommandBlock Reply(std::uint8_t code, std::uint8_t mark, const CommandBlock& request) {
  CommandBlock block = request;
  block[5] = code;
  block[6] = mark;
  return block;
}

TEST(UserCmdTest, WritesAndReadsTheAddressAndShowsEachReply) {
  const CommandBlock write =
      BlockFrom({{56, CMD_ADDR_WRITE}, {57, 1}, {58, 0x1F}, {59, 0xC0}, {60, 0x19}, {61, 0x9C}});
  const CommandBlock read = BlockFrom({{56, CMD_ADDR_READ}, {57, 1}, {58, 0x1F}, {59, 0xC0}, {60, 0x19}});

  struct Case {
    const char* name;
    bool attached;
    int failReceiveOf;
    std::vector<CommandBlock> sends;
    std::vector<std::string> boxes;
  } cases[] = {
      {"both replies", true, -1, {write, read}, {DumpOf(Reply(0x70, 0x40, write)), DumpOf(Reply(0x73, 0x41, read))}},
      {"write reply lost", true, CMD_ADDR_WRITE, {write, read}, {DumpOf(Reply(0x73, 0x40, read))}},
      {"read reply lost", true, CMD_ADDR_READ, {write, read}, {DumpOf(Reply(0x70, 0x40, write))}},
      {"no device", false, -1, {}, {}},
  };
  for (const Case& c : cases) {
    FakeEmulator emulator;
    emulator.attached = c.attached;
    emulator.failReceiveOf = c.failReceiveOf;
    ScriptDebugReplies(emulator);
    WindowRig rig(emulator.api);
    rig.window->OnUserCmd();

    EXPECT_EQ(emulator.sends, c.sends) << c.name;
    ASSERT_EQ(rig.host.boxes.size(), c.boxes.size()) << c.name;
    for (std::size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(rig.host.boxes[i].text, c.boxes[i]) << c.name << " box " << i;
      EXPECT_EQ(rig.host.boxes[i].type, MB_OK) << c.name;
      EXPECT_EQ(rig.host.boxes[i].caption, "USB Kavlen") << c.name;
    }
    EXPECT_EQ(emulator.openNow, 0) << c.name;
    EXPECT_EQ(rig.window->m_hDevice, kInvalidHandle) << c.name;
  }
}

constexpr std::uint8_t kLoadedByte = 0x5A;

struct WriteCase {
  const char* name;
  bool attached;
  bool osRunning;
  bool ready;
  bool pipeOpens;
  std::string status;  // "" when the status line is left alone
  COLORREF colour;
  std::vector<std::string> boxes;
  std::size_t pollsSent;
  bool written;
};

const WriteCase kWriteCases[] = {
    {"no device", false, true, true, true, "Device is not Connected Now !!", RGB(127, 0, 0), {}, 0, false},
    {"boot code only", true, false, true, true, "", 0, {"Device OS Fail ??"}, 0, false},
    {"never ready", true, true, false, true, "Device is Check not ready ...Fail!", RGB(127, 0, 0), {}, 256, false},
    {"out pipe refused", true, true, true, false, "", 0, {"Open Out Pipe Error"}, 1, false},
    {"written", true, true, true, true, "", 0, {}, 1, true},
};

TEST(WriteBufferTest, OutcomesAndWhatReachedTheDevice) {
  for (const WriteCase& c : kWriteCases) {
    FakeEmulator emulator;
    emulator.attached = c.attached;
    if (!c.pipeOpens) emulator.missingPipes = {kPipeOut};
    ScriptDebugReplies(emulator, c.ready);
    WindowRig rig(emulator.api);
    CMainDlg& window = *rig.window;
    window.m_bDeviceOsRunning = c.osRunning;
    ASSERT_NE(window.m_pImage, nullptr);
    std::fill_n(window.m_pImage, 2 * kTransferBlockSize, kLoadedByte);
    const std::string statusBefore = rig.StatusText();

    window.OnWriteBuffer();

    EXPECT_EQ(rig.StatusText(), c.status.empty() ? statusBefore : c.status) << c.name;
    if (!c.status.empty()) {
      EXPECT_EQ(rig.StatusColour(), c.colour) << c.name;
      EXPECT_EQ(window.m_nHoldTicks, 1) << c.name;
    }
    std::vector<std::string> boxes;
    for (const auto& box : rig.host.boxes) {
      boxes.push_back(box.text);
      EXPECT_EQ(box.type, MB_OK) << c.name;
    }
    EXPECT_EQ(boxes, c.boxes) << c.name;

    const std::vector<std::uint8_t> codes = emulator.TailCodes();
    if (c.attached && c.osRunning) {
      ASSERT_EQ(codes.size(), 1 + c.pollsSent) << c.name;
      EXPECT_EQ(emulator.sends[0], BlockFrom({{56, CMD_DOWNLOAD}, {57, 1}, {60, 1}})) << c.name;
      EXPECT_EQ(std::count(codes.begin(), codes.end(), CMD_READY_POLL), static_cast<long>(c.pollsSent)) << c.name;
    } else {
      EXPECT_TRUE(codes.empty()) << c.name;
    }

    ASSERT_EQ(emulator.pipeWrites.size(), c.written ? 1u : 0u) << c.name;
    for (std::size_t k = 0; k < kTransferBlockSize; ++k) {
      const std::uint8_t expected = c.written ? static_cast<std::uint8_t>(k % 256) : kLoadedByte;
      if (window.m_pImage[k] != expected) {
        ADD_FAILURE() << c.name << ": image byte " << k;
        break;
      }
    }
    EXPECT_EQ(window.m_pImage[kTransferBlockSize], kLoadedByte) << c.name << ": past the first block";
    if (c.written) {
      const std::vector<std::uint8_t>& data = emulator.pipeWrites[0];
      ASSERT_EQ(data.size(), kTransferBlockSize);
      EXPECT_EQ(data[0], 0x00);
      EXPECT_EQ(data[255], 0xFF);
      EXPECT_EQ(data[256], 0x00);
      EXPECT_EQ(data[16383], 0xFF);
      EXPECT_TRUE(std::equal(data.begin(), data.end(), window.m_pImage));
    }
    EXPECT_EQ(emulator.mostOpen, c.attached ? 1 : 0) << c.name;
    EXPECT_EQ(emulator.openNow, 0) << c.name;
    EXPECT_EQ(window.m_hDevice, kInvalidHandle) << c.name;
  }
}

// Without a device the status line says "Detect..." in blue through the
// one-second wait, then the failure.
TEST(WriteBufferTest, DetectShowsDuringTheWait) {
  FakeEmulator emulator;
  emulator.attached = false;
  WindowRig rig(emulator.api);
  rig.window->OnWriteBuffer();
  EXPECT_EQ(rig.sleeps, std::vector<int>{1000});
  EXPECT_EQ(rig.statusAtSleep, std::vector<std::string>{"Detect..."});
  EXPECT_EQ(rig.colourAtSleep, std::vector<COLORREF>{RGB(0, 0, 255)});
  EXPECT_EQ(rig.paintedAtSleep, std::vector<std::string>{"Detect..."});
  EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(AddressListTest, SelectionAsksTheNextReadBackForItsBlock) {
  struct Case {
    int index;
    const char* status;
  } cases[] = {
      {0, "Show Buffer Address : 0x000000 .."},
      {2, "Show Buffer Address : 0x008000 .."},
      {5, "Show Buffer Address : 0x014000 .."},
      {19, "Show Buffer Address : 0x04C000 .."},
  };
  for (const Case& c : cases) {
    FakeEmulator emulator;
    WindowRig rig(emulator.api);
    CMainDlg& window = *rig.window;
    rig.host.comboSelection[IDC_DUMP_ADDRESS] = c.index;  // the user's choice
    rig.Command(IDC_DUMP_ADDRESS);
    EXPECT_EQ(window.m_nDumpBlock, c.index);
    EXPECT_EQ(rig.StatusText(), c.status);
    EXPECT_EQ(rig.StatusColour(), RGB(0, 127, 0));
    EXPECT_TRUE(window.m_bStatusHold);
    EXPECT_EQ(window.m_nHoldTicks, 1);
    EXPECT_TRUE(window.m_bDumpRequest);
    EXPECT_TRUE(emulator.sends.empty());
  }
}

// With nothing selected there is no block to dump: the request stays as it was.
TEST(AddressListTest, NoSelectionChangesNothing) {
  FakeEmulator emulator;
  WindowRig rig(emulator.api);
  CMainDlg& window = *rig.window;
  rig.host.comboSelection[IDC_DUMP_ADDRESS] = 3;
  rig.Command(IDC_DUMP_ADDRESS);
  window.m_bDumpRequest = false;
  const std::string status = rig.StatusText();
  rig.host.comboSelection[IDC_DUMP_ADDRESS] = -1;
  rig.Command(IDC_DUMP_ADDRESS);
  EXPECT_EQ(window.m_nDumpBlock, 3);
  EXPECT_FALSE(window.m_bDumpRequest);
  EXPECT_EQ(rig.StatusText(), status);
}

// End to end: the simulator holds the test pattern after Write Buffer and
// saw no breach of the device discipline.
TEST(DebugPanelSimTest, WriteBufferAndUserCmdAgainstTheSimulator) {
  TempDir root;
  const std::string dumpPath = root.path() + "/memory.bin";
  SimProcess sim(root.path(), {"--state", "os", "--dump", dumpPath});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const auto driver = MakeSimDriver(root.path());
  WindowRig rig(*driver);
  rig.window->m_bDeviceOsRunning = true;

  rig.window->OnWriteBuffer();
  rig.window->OnUserCmd();

  const std::vector<std::uint8_t> memory = ReadFileBytes(dumpPath);
  ASSERT_EQ(memory.size(), kTransferBlockSize);
  for (std::size_t k = 0; k < memory.size(); ++k) ASSERT_EQ(memory[k], k % 256) << k;
  EXPECT_EQ(rig.host.boxes.size(), 2u);
  EXPECT_EQ(rig.window->m_hDevice, kInvalidHandle);
  const std::vector<std::string> log = sim.LogLines();
  EXPECT_FALSE(log.empty());
  EXPECT_EQ(DisciplineViolations(log), std::vector<std::string>{});
}

}  // namespace
}  // namespace kavlen::test
