// Download, read-back verify and the verify check box of the main window:
// a scripted emulator for exact command and pipe sequences, labels, status
// texts and message boxes; kavlen-sim for the device discipline and for
// what the device ended up holding.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "device/hex_dump.h"
#include "device/rom_capacity.h"
#include "gui/main_dlg.h"
#include "gui/resource_ids.h"
#include "platform/sim_driver.h"
#include "tests/gui/emulator_rig.h"
#include "tests/gui/fake_emulator.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

// The window on a bench: an image file of `imageSize` pattern bytes in the
// path field, the device reported as holding 4 MB, timers and waits faked.
class Bench {
 public:
  explicit Bench(DriverApi& driver, long imageSize = 100)
      : image(PatternBytes(static_cast<std::size_t>(imageSize))),
        imagePath(folder.Write("image.bin", image)),
        rig(driver, folder.path(), ""),
        dlg(rig.window.get()) {
    dlg->m_supportedSizeCode = 6;
    dlg->m_nRomSize = 0;
    SetImagePath(imagePath);
  }
  void SetImagePath(const std::string& path) { rig.host.SetDlgItemText(IDC_IMAGE_PATH, path); }

  std::string Status() const { return rig.StatusText(); }
  COLORREF Colour() const { return rig.StatusColour(); }
  std::vector<std::string> Boxes() const { return rig.BoxTexts(); }
  std::vector<std::string> MismatchLabels() const { return rig.MismatchLabels(); }

  TempDir folder;
  std::vector<std::uint8_t> image;
  std::string imagePath;
  WindowRig rig;
  CMainDlg* dlg;
};

const std::string kConnect = "open 48 51";
const std::string kWrite4 = " 37:4 35 close open close PIPE01 Wx4 /PIPE01";
const std::string kRead4 = " open 36:4 close open close PIPE00 Rx4 /PIPE00";
// The reset at the end of a download goes out on the download's connection:
// its request, polls until the reset is done, then the download closes.
const std::string kReset = " 61 60 close";

struct Scenario {
  const char* name;
  long imageSize = 100;
  bool verify = true;
  bool armed = false;  // m_bResetArmed before the download
  std::function<void(FakeEmulator&)> script = nullptr;
  std::string trace;
  bool resets = false;  // the reset ran and showed its confirmation
  bool resetTimesOut = false;
  std::string status;
  COLORREF colour = 0;
  int hold = 0;
  std::vector<std::string> boxes = {};
  std::vector<std::string> labels = {"0X0", "0X0", "0X0"};
  bool armedAfter = true;
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

const std::string kConnected = "Connected and Device OS already !!";
const std::vector<std::string> kInitialLabels = {"0x000000", "0x00", "0x00"};

const Scenario kScenarios[] = {
    {.name = "VerifiedAndReset", .trace = kConnect + kWrite4 + kRead4 + " open 81:30,02 62" + kReset,
     .resets = true, .status = "Download And Verify OK !!", .colour = kBlue, .hold = 2},
    {.name = "FirstOfTwoDifferences", .imageSize = 65536,
     .script = [](FakeEmulator& e) { e.corrupt = {0x1A2B, 0x8000}; },
     .trace = kConnect + kWrite4 + kRead4 + " open 81:10,90 62" + kReset, .resets = true,
     .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0X1A2B", "0X30", "0XCF"}},
    {.name = "DifferenceInTheFill", .script = [](FakeEmulator& e) { e.corrupt = {0xFFFF}; },
     .trace = kConnect + kWrite4 + kRead4 + " open 81:10,90 62" + kReset, .resets = true,
     .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0XFFFF", "0X0", "0XFF"}},
    {.name = "WithoutVerifyUnarmedArmsTheNext", .verify = false,
     .trace = kConnect + kWrite4 + " open close", .status = kConnected, .colour = kGreen,
     .labels = kInitialLabels},
    {.name = "WithoutVerifyArmedResets", .verify = false, .armed = true,
     .trace = kConnect + kWrite4 + " open 62" + kReset, .resets = true, .status = kConnected,
     .colour = kGreen, .labels = kInitialLabels},
    // A reset that never finishes says so; the download itself stands.
    {.name = "ResetTimesOut", .verify = false, .armed = true,
     .script = [](FakeEmulator& e) { e.resetBusyPolls = -1; },
     .trace = kConnect + kWrite4 + " open 62 61 60x255 close", .resetTimesOut = true,
     .status = kConnected, .colour = kGreen, .boxes = {"Reset Target Timout !!"},
     .labels = kInitialLabels},
    {.name = "ReadyAfterBusyReplies", .script = [](FakeEmulator& e) { e.busyPolls = 3; },
     .trace = kConnect + " 37:4 35x4 close open close PIPE01 Wx4 /PIPE01" + kRead4 +
              " open 81:30,02 62" + kReset,
     .resets = true, .status = "Download And Verify OK !!", .colour = kBlue, .hold = 2},
    {.name = "NeverReady", .script = [](FakeEmulator& e) { e.busyPolls = -1; },
     .trace = kConnect + " 37:4 35x256 close", .status = kConnected, .colour = kGreen,
     .labels = kInitialLabels, .armedAfter = false},
    {.name = "NoOutPipe", .script = [](FakeEmulator& e) { e.missingPipes = {"PIPE01"}; },
     .trace = kConnect + " 37:4 35 close open close PIPE01!", .status = kConnected,
     .colour = kGreen, .boxes = {"Open Out Pipe Error"},
     .labels = kInitialLabels, .armedAfter = false},
    {.name = "NoInPipe", .script = [](FakeEmulator& e) { e.missingPipes = {"PIPE00"}; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00!", .status = kConnected,
     .colour = kGreen, .boxes = {"Open in pipe Error"},
     .labels = kInitialLabels},
    // A failed or short write ends the transfer: nothing is verified,
    // ended or reset, and the armed state is left as it was.
    {.name = "FailedBlockWrite", .armed = true,
     .script = [](FakeEmulator& e) { e.failWrite = 2; },
     .trace = kConnect + " 37:4 35 close open close PIPE01 Wx2 W! /PIPE01",
     .status = "Download Block Write Fail !!", .colour = kDarkRed, .hold = 2,
     .labels = kInitialLabels},
    {.name = "ShortBlockWrite", .script = [](FakeEmulator& e) { e.shortWrite = 1; },
     .trace = kConnect + " 37:4 35 close open close PIPE01 W Ws /PIPE01",
     .status = "Download Block Write Fail !!", .colour = kDarkRed, .hold = 2,
     .labels = kInitialLabels, .armedAfter = false},
    // A read-back cut short proves nothing: no result is told to the device
    // and the target is not reset; the next download resets it.
    {.name = "FailedBlockRead", .script = [](FakeEmulator& e) { e.failRead = 1; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 R R! /PIPE00",
     .status = "Verify Block Read Fail !!", .colour = kDarkRed, .hold = 2},
    {.name = "ShortBlockRead", .script = [](FakeEmulator& e) { e.shortRead = 3; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 Rx3 Rs /PIPE00",
     .status = "Verify Block Read Fail !!", .colour = kDarkRed, .hold = 2},
    // ... unless it had already found a difference.
    {.name = "FailedReadAfterADifference", .imageSize = 65536,
     .script = [](FakeEmulator& e) { e.corrupt = {0x10}; e.failRead = 2; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 Rx2 R! /PIPE00 open 81:10,90 62" + kReset,
     .resets = true, .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0X10", "0X73", "0X8C"}},
    {.name = "DeviceGoneAfterTheData", .script = [](FakeEmulator& e) { e.unplugAfterBlocks = 4; },
     .trace = kConnect + kWrite4, .status = "Device Fatal error happened !!", .colour = kDarkRed,
     .hold = 1, .boxes = {"DEVICE FATAL Error !! \n\r Verify function be ignored !!"},
     .labels = kInitialLabels, .armedAfter = false},
    {.name = "DeviceGoneDuringTheReadBack",
     .script = [](FakeEmulator& e) { e.unplugAfterBlocks = 8; },
     .trace = kConnect + kWrite4 + kRead4, .status = kConnected, .colour = kGreen},
};

class DownloadScenarioTest : public testing::TestWithParam<Scenario> {};

TEST_P(DownloadScenarioTest, SequenceTextsAndLabels) {
  const Scenario& s = GetParam();
  FakeEmulator emu;
  if (s.script) s.script(emu);
  Bench bench(emu.api, s.imageSize);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_bVerify = s.verify;
  dlg.m_bResetArmed = s.armed;

  dlg.OnDownload();

  EXPECT_EQ(emu.Trace(), s.trace);
  EXPECT_EQ(emu.openNow, 0);
  EXPECT_EQ(emu.mostOpen, 1);
  EXPECT_EQ(bench.Status(), s.status);
  EXPECT_EQ(bench.Colour(), s.colour);
  EXPECT_EQ(dlg.m_nHoldTicks, s.hold);
  EXPECT_EQ(bench.Boxes(), s.boxes);
  for (const auto& call : bench.rig.host.boxes) EXPECT_EQ(call.caption, "kavlen");
  EXPECT_EQ(bench.MismatchLabels(), s.labels);
  EXPECT_EQ(dlg.m_bResetArmed, s.armedAfter);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_EQ(bench.rig.QuitRequests(), 0);
  EXPECT_EQ(bench.rig.resetDialogs, s.resets ? 1 : 0);
  const std::vector<std::string> countdown =
      s.resets ? TimeoutCountLines(254, 254) : s.resetTimesOut ? TimeoutCountLines(254, 1) : std::vector<std::string>{};
  EXPECT_EQ(bench.rig.debugLines, countdown);
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadScenarioTest, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(DownloadMessages, MessageBoxTypes) {
  struct Case {
    std::function<void(FakeEmulator&, CMainDlg&)> setUp;
    std::string text;
    unsigned type;
  };
  const Case cases[] = {
      {[](FakeEmulator& e, CMainDlg&) { e.missingPipes = {"PIPE01"}; }, "Open Out Pipe Error",
       MB_OK},
      {[](FakeEmulator& e, CMainDlg&) { e.missingPipes = {"PIPE00"}; }, "Open in pipe Error",
       MB_OK},
      {[](FakeEmulator& e, CMainDlg&) { e.unplugAfterBlocks = 4; },
       "DEVICE FATAL Error !! \n\r Verify function be ignored !!", MB_ICONEXCLAMATION | MB_OK},
      {[](FakeEmulator&, CMainDlg& dlg) {
         dlg.m_supportedSizeCode = 3;
         dlg.m_nRomSize = 4;
       },
       "ROM Size Setting is incorrect!! \n\n\r Please Select one correctly...",
       MB_ICONINFORMATION | MB_OK},
  };
  for (const Case& c : cases) {
    FakeEmulator emu;
    Bench bench(emu.api);
    bench.dlg->m_bVerify = true;
    c.setUp(emu, *bench.dlg);
    bench.dlg->OnDownload();
    ASSERT_EQ(bench.rig.host.boxes.size(), 1u) << c.text;
    EXPECT_EQ(bench.rig.host.boxes[0].text, c.text);
    EXPECT_EQ(bench.rig.host.boxes[0].type, c.type);
  }
}

TEST(DownloadRefusals, NothingReachesTheDevice) {
  struct Case {
    const char* name;
    std::uint8_t supported;
    int selected;
    std::vector<std::string> boxes;
  };
  const std::string sizeSetting = "ROM Size Setting is incorrect!! \n\n\r Please Select one correctly...";
  const Case cases[] = {
      {"SelectionAboveTheDevice", 0, 1, {sizeSetting}},
      // A device whose capacity is not recognised refuses no selection,
      // but a code without transfer blocks is never sent.
      {"NoBlocksForTheCode", kUnknownRomSizeCode, 7, {sizeSetting}},
      {"NoSelection", 6, -1, {sizeSetting}},
  };
  for (const Case& c : cases) {
    FakeEmulator emu;
    Bench bench(emu.api);
    bench.dlg->m_supportedSizeCode = c.supported;
    bench.dlg->m_nRomSize = c.selected;
    bench.dlg->OnDownload();
    EXPECT_EQ(emu.Trace(), "") << c.name;
    EXPECT_EQ(bench.Boxes(), c.boxes) << c.name;
  }
}

TEST(DownloadRefusals, NoDeviceEndsTheProgram) {
  FakeDriverApi none;
  Bench bench(none);
  bench.dlg->OnDownload();
  EXPECT_EQ(bench.Boxes(), std::vector<std::string>{"OPEN DEVICE Fail , Check the USB Cable !!"});
  EXPECT_EQ(bench.Status(), "Detect Device Error happened !!");
  EXPECT_EQ(bench.Colour(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 3);
  EXPECT_EQ(bench.rig.QuitRequests(), 1);
}

TEST(DownloadRefusals, MissingImageFile) {
  FakeEmulator emu;
  Bench bench(emu.api);
  bench.SetImagePath(bench.folder.path() + "/absent.bin");
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), "");
  EXPECT_EQ(bench.Status(), "Load File To Buffer Fail !!");
}

// A fresh window's first download resets the target, with verify off too;
// a download that found the reset disarmed arms the next one, which resets.
TEST(DownloadReset, FirstDownloadResetsAndADisarmedOneArmsTheNext) {
  FakeEmulator emu;
  Bench bench(emu.api);
  bench.dlg->m_bVerify = false;
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), kConnect + kWrite4 + " open 62" + kReset);
  EXPECT_EQ(bench.rig.resetDialogs, 1);
  emu.tokens.clear();
  bench.dlg->m_bResetArmed = false;
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), kConnect + kWrite4 + " open close");
  emu.tokens.clear();
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), kConnect + kWrite4 + " open 62" + kReset);
  EXPECT_EQ(bench.rig.resetDialogs, 2);
  EXPECT_EQ(bench.rig.debugLines, (std::vector<std::string>(2, TimeoutCountLines(254, 254)[0])));
}

TEST(DownloadData, TheSelectedCapacityGoesOutWithTheFill) {
  struct Case {
    long imageSize;
    int selected;
    std::uint32_t blocks;
  };
  // 100 bytes fill the rest of 64 KB with zeros; a longer image than the
  // selected capacity sends only that capacity.
  const Case cases[] = {{100, 0, 4}, {200000, 1, 8}, {65536, 2, 16}};
  for (const Case& c : cases) {
    FakeEmulator emu;
    Bench bench(emu.api, c.imageSize);
    bench.dlg->m_nRomSize = c.selected;
    bench.dlg->m_bVerify = true;
    bench.dlg->OnDownload();
    const std::uint32_t size = c.blocks * kTransferBlockSize;
    std::vector<std::uint8_t> want = bench.image;
    want.resize(size, 0x00);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), emu.memory.begin())) << c.imageSize;
    EXPECT_EQ(emu.memory[size], 0xEE) << c.imageSize;
    EXPECT_EQ(bench.Status(), "Download And Verify OK !!") << c.imageSize;
  }
}

// What the bar shows while block i moves: the caption of the blocks done
// before it, its position, and its colours.
struct BarState {
  std::string caption;
  int position;
  bool operator==(const BarState&) const = default;
};

std::vector<BarState> RecordBar(FakeEmulator& emu, Bench& bench) {
  std::vector<BarState> states;
  RecordingDialogHost& host = bench.rig.host;
  emu.beforeBlock = [&states, &host] {
    states.push_back({host.GetDlgItemText(IDC_PROGRESS), host.bars[IDC_PROGRESS].pos});
  };
  bench.dlg->OnDownload();
  return states;
}

TEST(DownloadProgress, CaptionsCountTheBlocksDone) {
  FakeEmulator emu;
  Bench bench(emu.api);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_bVerify = true;
  dlg.m_bProgressText = true;
  dlg.m_bProgressPercent = true;
  const std::vector<BarState> states = RecordBar(emu, bench);
  const std::string down = "Download Processing completed ";
  const std::string up = "Upload and Verify Processing completed ";
  const std::vector<BarState> want = {
      {"", 0},            {down + "0%", 1}, {down + "25%", 2}, {down + "50%", 3},
      {down + "75%", 0},  {up + "0%", 1},   {up + "25%", 2},   {up + "50%", 3}};
  EXPECT_EQ(states, want);
  const RecordingDialogHost::Bar& bar = bench.rig.host.bars[IDC_PROGRESS];
  EXPECT_EQ(bench.rig.Text(IDC_PROGRESS), up + "75%");
  EXPECT_EQ(bar.pos, 0);
  EXPECT_EQ(bar.min, 0);
  EXPECT_EQ(bar.max, 4);
  // The read-back paints spring green on light red and restores blue on white.
  EXPECT_EQ(bar.barColour, kBlue);
  EXPECT_EQ(bar.bkColour, kWhite);
  EXPECT_FALSE(bar.showCaption);
}

TEST(DownloadProgress, LargestCapacityEndsAtNinetyNine) {
  FakeEmulator emu;
  Bench bench(emu.api);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_nRomSize = 6;
  dlg.m_bVerify = false;
  dlg.m_bProgressText = true;
  dlg.m_bProgressPercent = true;
  const std::vector<BarState> states = RecordBar(emu, bench);
  ASSERT_EQ(states.size(), 256u);
  EXPECT_EQ(states[128], (BarState{"Download Processing completed 49%", 128}));
  EXPECT_EQ(states[255], (BarState{"Download Processing completed 99%", 255}));
  EXPECT_EQ(bench.rig.Text(IDC_PROGRESS), "Download Processing completed 99%");
}

TEST(DownloadProgress, NoCaptionTextUnlessBothOptionsAreOn) {
  for (const bool text : {false, true}) {
    FakeEmulator emu;
    Bench bench(emu.api);
    bench.dlg->m_bProgressText = text;
    bench.dlg->m_bProgressPercent = !text;
    bench.dlg->OnDownload();
    EXPECT_EQ(bench.rig.Text(IDC_PROGRESS), "") << text;
  }
}

// The read-back button on its own: it opens the device itself, sends no
// verify result and shows the dump the debug panel asked for.
TEST(ReadBuffer, OwnRunShowsTheRequestedDump) {
  struct Case {
    const char* name;
    int dumpBlock;
    std::function<void(FakeEmulator&)> script;
    bool dumpShown;
    std::string trace;
  };
  const std::string read4 = kConnect + " 36:4 close open close PIPE00 Rx4 /PIPE00";
  const Case cases[] = {
      {"SecondBlock", 1, nullptr, true, read4},
      {"BeyondTheBlocksRead", 10, nullptr, true, read4},
      {"LastReadFailed", 1, [](FakeEmulator& e) { e.failRead = 3; }, false,
       kConnect + " 36:4 close open close PIPE00 Rx3 R! /PIPE00"},
  };
  for (const Case& c : cases) {
    FakeEmulator emu;
    if (c.script) c.script(emu);
    for (std::uint32_t i = 0; i < 4 * kTransferBlockSize; ++i) {
      emu.memory[i] = static_cast<std::uint8_t>(i / 64 + i);
    }
    Bench bench(emu.api);
    CMainDlg& dlg = *bench.dlg;
    dlg.m_nDumpBlock = c.dumpBlock;
    dlg.m_bDumpRequest = true;
    dlg.OnReadBuffer();
    EXPECT_EQ(emu.Trace(), c.trace) << c.name;
    EXPECT_FALSE(dlg.m_bDumpRequest) << c.name;
    if (!c.dumpShown) {
      EXPECT_TRUE(bench.rig.host.boxes.empty()) << c.name;
      // The difference found before the read broke off still stands.
      EXPECT_EQ(bench.MismatchLabels(), (std::vector<std::string>{"0X1", "0X0", "0X1"}));
      EXPECT_EQ(bench.Status(), kConnected);
      continue;
    }
    std::array<std::uint8_t, kHexDumpBytes> want{};
    const std::size_t offset = static_cast<std::size_t>(c.dumpBlock) * kTransferBlockSize;
    if (offset < 4 * kTransferBlockSize) std::copy_n(emu.memory.begin() + static_cast<long>(offset), want.size(), want.begin());
    ASSERT_EQ(bench.rig.host.boxes.size(), 1u) << c.name;
    EXPECT_EQ(bench.rig.host.boxes[0].text, std::string(HexDumpText(want))) << c.name;
    EXPECT_EQ(bench.rig.host.boxes[0].type, MB_OK) << c.name;
    EXPECT_EQ(dlg.m_text, bench.rig.host.boxes[0].text) << c.name;
  }
}

TEST(ReadBuffer, OwnRunShowsTheDifferenceAndNoResult) {
  FakeEmulator emu;
  emu.corrupt = {0x4001};
  Bench bench(emu.api);
  std::fill_n(emu.memory.begin(), 4 * kTransferBlockSize, 0x00);
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(emu.Trace(), kConnect + " 36:4 close open close PIPE00 Rx4 /PIPE00");
  // The buffer holds no image yet: it was cleared when it was allocated.
  EXPECT_EQ(bench.MismatchLabels(), (std::vector<std::string>{"0X4001", "0X0", "0XFF"}));
  EXPECT_EQ(bench.Status(), kConnected);
  EXPECT_TRUE(bench.dlg->m_bResetArmed);
}

// Labels reading "no difference" would be wrong for blocks never compared.
TEST(ReadBuffer, OwnRunSaysWhenAReadBreaksOff) {
  FakeEmulator emu;
  emu.failRead = 1;
  Bench bench(emu.api);
  std::fill_n(emu.memory.begin(), 4 * kTransferBlockSize, 0x00);
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(emu.Trace(), kConnect + " 36:4 close open close PIPE00 R R! /PIPE00");
  EXPECT_EQ(bench.Status(), "Verify Block Read Fail !!");
  EXPECT_EQ(bench.Colour(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 2);
  EXPECT_FALSE(bench.dlg->m_bResetArmed);
}

TEST(ReadBuffer, DownloadClearsTheDumpRequest) {
  FakeEmulator emu;
  Bench bench(emu.api);
  bench.dlg->m_bDumpRequest = true;
  bench.dlg->OnDownload();
  EXPECT_FALSE(bench.dlg->m_bDumpRequest);
  EXPECT_TRUE(bench.rig.host.boxes.empty());
}

TEST(ReadBuffer, NoDeviceDisarms) {
  FakeDriverApi none;
  Bench bench(none);
  bench.dlg->m_bResetArmed = true;
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(bench.Status(), "Detect Device Error happened !!");
  EXPECT_EQ(bench.Colour(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 0);
  EXPECT_FALSE(bench.dlg->m_bResetArmed);
}

TEST(VerifyCheck, TogglesAndSaysSoEitherWay) {
  FakeDriverApi none;
  Bench bench(none);
  for (const bool want : {true, false}) {
    bench.dlg->OnVerifyCheck();
    EXPECT_EQ(bench.dlg->m_bVerify, want);
    EXPECT_EQ(bench.Status(), "Set the Verify request...");
    EXPECT_EQ(bench.Colour(), kBlue);
    EXPECT_EQ(bench.dlg->m_nHoldTicks, 1);
    EXPECT_TRUE(bench.dlg->m_bStatusHold);
  }
}

// Against a real simulator: the device discipline holds, the commands and
// blocks reach it in order, and it ends up holding the image and its fill.
std::string SimCommands(const std::vector<std::string>& log) {
  std::vector<std::string> tokens;
  for (const std::string& line : log) {
    const std::string ioctl = SimLogField(line, "ioctl");
    if (ioctl != "HEAD_SEND" && ioctl != "TAIL_SEND") continue;
    const std::string hex = SimLogField(line, "in");
    std::vector<std::uint8_t> block(kCommandBlockSize);
    for (std::size_t i = 0; i < block.size() && 2 * i + 1 < hex.size(); ++i) {
      block[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    tokens.push_back(CommandToken(block.data(), ioctl == "HEAD_SEND"));
  }
  return FoldTokens(tokens);
}

struct SimScenario {
  const char* name;
  std::vector<std::string> sim;
  std::string commands;
  std::string status;
  std::vector<std::string> labels;
  bool dump;
  bool resets;  // the reset ran and showed its confirmation
};

void PrintTo(const SimScenario& s, std::ostream* os) { *os << s.name; }

const SimScenario kSimScenarios[] = {
    {"Verified", {}, "48 51 37:4 35 36:4 81:30,02 62 61 60", "Download And Verify OK !!",
     {"0X0", "0X0", "0X0"}, true, true},
    {"Difference", {"--corrupt", "0x1A2B"}, "48 51 37:4 35 36:4 81:10,90 62 61 60",
     "Downlaod But Verify Fail !!", {"0X1A2B", "0X30", "0XCF"}, true, true},
    {"FailedWrite", {"--fail-write-block", "2"}, "48 51 37:4 35", "Download Block Write Fail !!",
     {"0x000000", "0x00", "0x00"}, false, false},
    {"ShortRead", {"--short-read-block", "1"}, "48 51 37:4 35 36:4", "Verify Block Read Fail !!",
     {"0X0", "0X0", "0X0"}, true, false},
};

class DownloadSimTest : public testing::TestWithParam<SimScenario> {};

TEST_P(DownloadSimTest, DisciplineCommandsAndMemory) {
  const SimScenario& s = GetParam();
  TempDir root;
  const std::string dumpPath = root.path() + "/dump.bin";
  std::vector<std::string> args = {"--state", "os", "--dump", dumpPath};
  args.insert(args.end(), s.sim.begin(), s.sim.end());
  SimProcess sim(root.path(), args);
  ASSERT_TRUE(sim.ready()) << sim.output();
  const std::unique_ptr<DriverApi> driver = MakeSimDriver(root.path());
  Bench bench(*driver, 65536);
  bench.dlg->m_bVerify = true;

  bench.dlg->OnDownload();
  const std::vector<std::string> log = sim.LogLines();
  sim.Stop(SIGTERM);

  EXPECT_EQ(bench.Status(), s.status);
  EXPECT_EQ(bench.MismatchLabels(), s.labels);
  EXPECT_EQ(SimCommands(log), s.commands);
  EXPECT_EQ(bench.rig.resetDialogs, s.resets ? 1 : 0);
  EXPECT_EQ(DisciplineViolations(log), std::vector<std::string>{});

  const std::vector<std::uint8_t> dump = ReadFileBytes(dumpPath);
  if (s.dump) {
    EXPECT_TRUE(dump == bench.image) << "dump of " << dump.size() << " bytes differs";
  } else {
    EXPECT_TRUE(dump.empty());
  }
}

// Another program holding the emulator stops the Download before its first
// request, and the status line says why.
TEST(DownloadSim, HeldByAnotherProgramStopsUntouched) {
  TempDir root;
  SimProcess sim(root.path(), {"--state", "os"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const std::unique_ptr<DriverApi> driver = MakeSimDriver(root.path());
  RecordingSink otherSink;
  DeviceLink other(*driver, otherSink, Flavour::Console);
  const DeviceLock held = other.HoldDevice(std::chrono::milliseconds(0));
  ASSERT_TRUE(held.held());
  Bench bench(*driver);

  bench.dlg->OnDownload();
  const std::vector<std::string> log = sim.LogLines();
  sim.Stop(SIGTERM);

  EXPECT_EQ(bench.Status(), "Device is busy with another program !!");
  EXPECT_EQ(bench.Colour(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 1);
  EXPECT_EQ(bench.Boxes(), std::vector<std::string>{});
  EXPECT_EQ(log, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadSimTest, testing::ValuesIn(kSimScenarios),
                         [](const testing::TestParamInfo<SimScenario>& info) { return info.param.name; });

}  // namespace
}  // namespace kavlen::test
