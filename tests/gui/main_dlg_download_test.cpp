// Download, read-back verify and the verify check box of the main window:
// a scripted emulator for exact command and pipe sequences, labels, status
// texts and message boxes; kavlen-sim for the device discipline and for
// what the device ended up holding.

#include <gtest/gtest.h>
#include <signal.h>

#include <QPlainTextEdit>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "device/hex_dump.h"
#include "device/rom_capacity.h"
#include "gui/controls/color_label.h"
#include "gui/controls/percent_bar.h"
#include "gui/main_dlg.h"
#include "gui/resource_ids.h"
#include "gui/settings_file.h"
#include "platform/sim_driver.h"
#include "tests/gui/recording_ui_services.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

// Texts readable in failure messages.
static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kavlen::test {
namespace {

constexpr const char* kEmuPath = "\\\\?\\usb#emu";

std::string Hex2(std::uint8_t byte) {
  static const char* digits = "0123456789abcdef";
  return {digits[byte >> 4], digits[byte & 0xF]};
}

// The name of a command as the traces write it: its code in hex, the block
// count of a download or upload request after a colon, the two arguments
// of a verify result.
std::string CommandToken(const std::uint8_t* block, bool head) {
  if (head) return Hex2(block[0]);
  const std::uint8_t code = block[56];
  std::string token = Hex2(code);
  if (code == CMD_DOWNLOAD || code == CMD_UPLOAD) {
    token += ":" + std::to_string(block[60] + 256 * block[61]);
  } else if (code == CMD_VERIFY_RESULT) {
    token += ":" + Hex2(block[57]) + "," + Hex2(block[58]);
  }
  return token;
}

// Consecutive equal tokens fold into "token x count".
std::string Fold(const std::vector<std::string>& tokens) {
  std::string trace;
  for (std::size_t i = 0; i < tokens.size();) {
    std::size_t run = 1;
    while (i + run < tokens.size() && tokens[i + run] == tokens[i]) ++run;
    if (!trace.empty()) trace += ' ';
    trace += tokens[i] + (run > 1 ? "x" + std::to_string(run) : "");
    i += run;
  }
  return trace;
}

// One emulator with its OS running, on a scripted bus. Its trace holds
// "open"/"close" for the device handle, "PIPE01"/"/PIPE01" for a pipe
// opened and closed ("PIPE01!" when it cannot be opened), the commands,
// and "W"/"R" for each block moved ("W!" failed, "Ws" short).
class TransferEmulator {
 public:
  FakeDriverApi api;

  int busyPolls = 0;  // ready polls answered busy before ready; -1: never ready
  std::set<std::string> missingPipes;
  std::optional<std::uint32_t> failWrite, shortWrite, failRead, shortRead;
  std::optional<int> unplugAfterBlocks;
  std::set<std::uint32_t> corrupt;  // addresses sent back inverted
  std::function<void()> beforeBlock;

  std::vector<std::string> tokens;
  std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(kImageBufferSize, 0xEE);
  int openNow = 0, mostOpen = 0;

  TransferEmulator() {
    api.enumInterfaces = [this](DevInfoSet, const Guid&, std::uint32_t index, DeviceInterfaceData*) {
      if (index == 0 && !unplugged_) return true;
      api.lastError = kErrorNoMoreItems;
      return false;
    };
    api.getDetail = [this](DevInfoSet, DeviceInterfaceData*, void* detail, std::uint32_t size,
                           std::uint32_t* required) {
      const auto need = static_cast<std::uint32_t>(4 + std::strlen(kEmuPath) + 1);
      if (required != nullptr) *required = need;
      if (detail == nullptr || size < need) {
        api.lastError = kErrorInsufficientBuffer;
        return false;
      }
      std::memcpy(static_cast<char*>(detail) + 4, kEmuPath, std::strlen(kEmuPath) + 1);
      return true;
    };
    api.createFile = [this](const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                            std::uint32_t) { return Open(path); };
    api.closeHandle = [this](Handle handle) {
      const auto it = open_.find(handle);
      if (it == open_.end()) return false;
      tokens.push_back(it->second.empty() ? "close" : "/" + it->second);
      open_.erase(it);
      --openNow;
      return true;
    };
    api.ioctl = [this](Handle handle, std::uint32_t code, void* in, std::uint32_t, void* out,
                       std::uint32_t, std::uint32_t* returned) {
      if (open_.count(handle) == 0 || unplugged_) return false;
      if (returned != nullptr) *returned = kCommandBlockSize;
      const auto* request = static_cast<const std::uint8_t*>(in);
      if (code == IOCTL_HEAD_SEND || code == IOCTL_TAIL_SEND) {
        tokens.push_back(CommandToken(request, code == IOCTL_HEAD_SEND));
        if (request[56] == CMD_DOWNLOAD) written_ = 0;
        if (request[56] == CMD_UPLOAD) read_ = 0;
        return true;
      }
      Answer(static_cast<std::uint8_t*>(out), code == IOCTL_HEAD_RECEIVE);
      return true;
    };
    api.writeFile = [this](Handle, const void* data, std::uint32_t length, std::uint32_t* count) {
      return Move("W", failWrite, shortWrite, written_, length, count,
                  [&](std::uint32_t at, std::uint32_t n) {
                    std::memcpy(memory.data() + at, data, n);
                  });
    };
    api.readFile = [this](Handle, void* data, std::uint32_t length, std::uint32_t* count) {
      return Move("R", failRead, shortRead, read_, length, count,
                  [&](std::uint32_t at, std::uint32_t n) {
                    auto* bytes = static_cast<std::uint8_t*>(data);
                    std::memcpy(bytes, memory.data() + at, n);
                    for (const std::uint32_t address : corrupt) {
                      if (address >= at && address < at + n) bytes[address - at] ^= 0xFF;
                    }
                  });
    };
  }

  std::string Trace() const { return Fold(tokens); }

 private:
  Handle Open(const std::string& path) {
    const std::string pipe = path.size() > std::strlen(kEmuPath) ? path.substr(std::strlen(kEmuPath) + 1) : "";
    if (unplugged_ || missingPipes.count(pipe) != 0) {
      if (!pipe.empty()) tokens.push_back(pipe + "!");
      api.lastError = kErrorFileNotFound;
      return kInvalidHandle;
    }
    tokens.push_back(pipe.empty() ? "open" : pipe);
    mostOpen = std::max(mostOpen, ++openNow);
    open_[nextHandle_] = pipe;
    return nextHandle_++;
  }

  void Answer(std::uint8_t* block, bool head) {
    if (head && block[0] == CMD_BOOT_STATUS) block[0] = BOOT_STATUS_OS_RUNNING;
    if (head && block[0] == CMD_QUERY_INFO) block[5] = 0x3F;
    if (!head && block[56] == CMD_READY_POLL) {
      block[1] = busyPolls != 0 ? 1 : 0;
      if (busyPolls > 0) --busyPolls;
    }
    if (!head && block[56] == CMD_RESET_POLL) block[1] = 0;
  }

  bool Move(const char* what, const std::optional<std::uint32_t>& fail,
            const std::optional<std::uint32_t>& shortBlock, std::uint32_t& index,
            std::uint32_t length, std::uint32_t* count,
            const std::function<void(std::uint32_t, std::uint32_t)>& copy) {
    if (beforeBlock) beforeBlock();
    *count = 0;
    if (unplugged_ || fail == index) {
      tokens.push_back(std::string(what) + "!");
      return false;
    }
    const std::uint32_t n = shortBlock == index ? length / 2 : length;
    copy(index * kTransferBlockSize, n);
    *count = n;
    tokens.push_back(std::string(what) + (n == length ? "" : "s"));
    ++index;
    if (unplugAfterBlocks && --*unplugAfterBlocks == 0) unplugged_ = true;
    return true;
  }

  bool unplugged_ = false;
  std::uint32_t written_ = 0, read_ = 0;
  Handle nextHandle_ = 100;
  std::map<Handle, std::string> open_;  // pipe name; empty for the device
};

class NoSettings : public SettingsFile {
 public:
  std::uint32_t GetInt(const std::string&, const std::string&, std::int32_t value,
                       const std::string&) override {
    return static_cast<std::uint32_t>(value);
  }
  std::string GetString(const std::string&, const std::string&, const std::string& value,
                        std::uint32_t, const std::string&) override {
    return value;
  }
  void WriteString(const std::string&, const std::string&, const std::string&,
                   const std::string&) override {}
};

// The window on a bench: an image file of `imageSize` pattern bytes in the
// path field, the device reported as holding 4 MB, timers and waits faked.
class Bench {
 public:
  explicit Bench(DriverApi& driver, long imageSize = 100) {
    image = PatternBytes(static_cast<std::size_t>(imageSize));
    imagePath = folder.Write("image.bin", image);
    MainDlgServices services{driver, trace, settings, ui, folder.path()};
    services.startTimer = [](int, int) { return true; };
    services.postQuit = [this] { ++quitRequests; };
    services.showResetDialog = [this](QWidget*) { ++resetDialogs; };
    dlg = std::make_unique<CMainDlg>(std::move(services));
    dlg->m_supportedSizeCode = 6;
    dlg->m_nRomSize = 0;
    SetImagePath(imagePath);
  }
  void SetImagePath(const std::string& path) {
    dlg->Controls().ItemAs<QPlainTextEdit>(IDC_IMAGE_PATH)->setPlainText(QString::fromStdString(path));
  }

  QString Status() const { return dlg->m_status->text(); }
  std::vector<QString> Boxes() const {
    std::vector<QString> texts;
    for (const auto& call : ui.messageBoxes) texts.push_back(call.text);
    return texts;
  }
  std::vector<QString> MismatchLabels() const {
    return {dlg->m_addressLabel->text(), dlg->m_orginalLabel->text(), dlg->m_targetLabel->text()};
  }

  TempDir folder;
  std::vector<std::uint8_t> image;
  std::string imagePath;
  RecordingSink trace;
  NoSettings settings;
  RecordingUiServices ui;
  int quitRequests = 0;
  int resetDialogs = 0;
  std::unique_ptr<CMainDlg> dlg;
};

// The reset after the end of the download is the reset action's own: its
// request and poll may follow, then the device is closed.
void ExpectResetThenClose(const std::string& trace, const std::string& throughEnd) {
  ASSERT_EQ(trace.substr(0, throughEnd.size()), throughEnd) << trace;
  const std::string rest = trace.substr(throughEnd.size());
  EXPECT_TRUE(rest == " close" || rest == " 61 60 close") << rest;
}

const std::string kConnect = "open 48 51";
const std::string kWrite4 = " 37:4 35 close open close PIPE01 Wx4 /PIPE01";
const std::string kRead4 = " open 36:4 close open close PIPE00 Rx4 /PIPE00";

struct Scenario {
  const char* name;
  long imageSize = 100;
  bool verify = true;
  bool armed = false;  // m_bResetArmed before the download
  std::function<void(TransferEmulator&)> script = nullptr;
  std::string trace;   // through the end of the download, or all of it
  bool resets = false;  // the trace then goes on with the reset and a close
  QString status;
  COLORREF colour = 0;
  int hold = 0;
  std::vector<QString> boxes = {};
  std::vector<QString> labels = {"0X0", "0X0", "0X0"};
  bool armedAfter = true;
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

const QString kConnected = QStringLiteral("Connected and Device OS already !!");
const QString kInitialLabels[] = {"0x000000", "0x00", "0x00"};

const Scenario kScenarios[] = {
    {.name = "VerifiedAndReset", .trace = kConnect + kWrite4 + kRead4 + " open 81:30,02 62",
     .resets = true, .status = "Download And Verify OK !!", .colour = kBlue, .hold = 2},
    {.name = "FirstOfTwoDifferences", .imageSize = 65536,
     .script = [](TransferEmulator& e) { e.corrupt = {0x1A2B, 0x8000}; },
     .trace = kConnect + kWrite4 + kRead4 + " open 81:10,90 62", .resets = true,
     .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0X1A2B", "0X30", "0XCF"}},
    {.name = "DifferenceInTheFill", .script = [](TransferEmulator& e) { e.corrupt = {0xFFFF}; },
     .trace = kConnect + kWrite4 + kRead4 + " open 81:10,90 62", .resets = true,
     .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0XFFFF", "0X0", "0XFF"}},
    {.name = "WithoutVerifyUnarmedArmsTheNext", .verify = false,
     .trace = kConnect + kWrite4 + " open close", .status = kConnected, .colour = kGreen,
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}},
    {.name = "WithoutVerifyArmedResets", .verify = false, .armed = true,
     .trace = kConnect + kWrite4 + " open 62", .resets = true, .status = kConnected,
     .colour = kGreen, .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}},
    {.name = "ReadyAfterBusyReplies", .script = [](TransferEmulator& e) { e.busyPolls = 3; },
     .trace = kConnect + " 37:4 35x4 close open close PIPE01 Wx4 /PIPE01" + kRead4 +
              " open 81:30,02 62",
     .resets = true, .status = "Download And Verify OK !!", .colour = kBlue, .hold = 2},
    {.name = "NeverReady", .script = [](TransferEmulator& e) { e.busyPolls = -1; },
     .trace = kConnect + " 37:4 35x256 close", .status = kConnected, .colour = kGreen,
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}, .armedAfter = false},
    {.name = "NoOutPipe", .script = [](TransferEmulator& e) { e.missingPipes = {"PIPE01"}; },
     .trace = kConnect + " 37:4 35 close open close PIPE01!", .status = kConnected,
     .colour = kGreen, .boxes = {"Open Out Pipe Error"},
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}, .armedAfter = false},
    {.name = "NoInPipe", .script = [](TransferEmulator& e) { e.missingPipes = {"PIPE00"}; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00!", .status = kConnected,
     .colour = kGreen, .boxes = {"Open in pipe Error"},
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}},
    // A failed or short write ends the transfer: nothing is verified,
    // ended or reset, and the armed state is left as it was.
    {.name = "FailedBlockWrite", .armed = true,
     .script = [](TransferEmulator& e) { e.failWrite = 2; },
     .trace = kConnect + " 37:4 35 close open close PIPE01 Wx2 W! /PIPE01",
     .status = "Download Block Write Fail !!", .colour = kDarkRed, .hold = 2,
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}},
    {.name = "ShortBlockWrite", .script = [](TransferEmulator& e) { e.shortWrite = 1; },
     .trace = kConnect + " 37:4 35 close open close PIPE01 W Ws /PIPE01",
     .status = "Download Block Write Fail !!", .colour = kDarkRed, .hold = 2,
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}, .armedAfter = false},
    // A read-back cut short proves nothing: no result is told to the device
    // and the target is not reset; the next download resets it.
    {.name = "FailedBlockRead", .script = [](TransferEmulator& e) { e.failRead = 1; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 R R! /PIPE00",
     .status = "Verify Block Read Fail !!", .colour = kDarkRed, .hold = 2},
    {.name = "ShortBlockRead", .script = [](TransferEmulator& e) { e.shortRead = 3; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 Rx3 Rs /PIPE00",
     .status = "Verify Block Read Fail !!", .colour = kDarkRed, .hold = 2},
    // ... unless it had already found a difference.
    {.name = "FailedReadAfterADifference", .imageSize = 65536,
     .script = [](TransferEmulator& e) { e.corrupt = {0x10}; e.failRead = 2; },
     .trace = kConnect + kWrite4 + " open 36:4 close open close PIPE00 Rx2 R! /PIPE00 open 81:10,90 62",
     .resets = true, .status = "Downlaod But Verify Fail !!", .colour = kRed, .hold = 2,
     .labels = {"0X10", "0X73", "0X8C"}},
    {.name = "DeviceGoneAfterTheData", .script = [](TransferEmulator& e) { e.unplugAfterBlocks = 4; },
     .trace = kConnect + kWrite4, .status = "Device Fatal error happened !!", .colour = kDarkRed,
     .hold = 1, .boxes = {"DEVICE FATAL Error !! \n\r Verify function be ignored !!"},
     .labels = {kInitialLabels[0], kInitialLabels[1], kInitialLabels[2]}, .armedAfter = false},
    {.name = "DeviceGoneDuringTheReadBack",
     .script = [](TransferEmulator& e) { e.unplugAfterBlocks = 8; },
     .trace = kConnect + kWrite4 + kRead4, .status = kConnected, .colour = kGreen},
};

class DownloadScenarioTest : public testing::TestWithParam<Scenario> {};

TEST_P(DownloadScenarioTest, SequenceTextsAndLabels) {
  const Scenario& s = GetParam();
  TransferEmulator emu;
  if (s.script) s.script(emu);
  Bench bench(emu.api, s.imageSize);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_bVerify = s.verify;
  dlg.m_bResetArmed = s.armed;

  dlg.OnDownload();

  if (s.resets) {
    ExpectResetThenClose(emu.Trace(), s.trace);
  } else {
    EXPECT_EQ(emu.Trace(), s.trace);
  }
  EXPECT_EQ(emu.openNow, 0);
  EXPECT_EQ(emu.mostOpen, 1);
  EXPECT_EQ(bench.Status(), s.status);
  EXPECT_EQ(dlg.m_status->TextColor(), s.colour);
  EXPECT_EQ(dlg.m_nHoldTicks, s.hold);
  EXPECT_EQ(bench.Boxes(), s.boxes);
  for (const auto& call : bench.ui.messageBoxes) EXPECT_EQ(call.caption, "kavlen");
  EXPECT_EQ(bench.MismatchLabels(), s.labels);
  EXPECT_EQ(dlg.m_bResetArmed, s.armedAfter);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_EQ(bench.quitRequests, 0);
  EXPECT_EQ(bench.resetDialogs, emu.Trace().find(" 61 60 close") != std::string::npos ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadScenarioTest, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

TEST(DownloadMessages, MessageBoxTypes) {
  struct Case {
    std::function<void(TransferEmulator&, CMainDlg&)> setUp;
    QString text;
    unsigned type;
  };
  const Case cases[] = {
      {[](TransferEmulator& e, CMainDlg&) { e.missingPipes = {"PIPE01"}; }, "Open Out Pipe Error",
       MB_OK},
      {[](TransferEmulator& e, CMainDlg&) { e.missingPipes = {"PIPE00"}; }, "Open in pipe Error",
       MB_OK},
      {[](TransferEmulator& e, CMainDlg&) { e.unplugAfterBlocks = 4; },
       "DEVICE FATAL Error !! \n\r Verify function be ignored !!", MB_ICONEXCLAMATION | MB_OK},
      {[](TransferEmulator&, CMainDlg& dlg) {
         dlg.m_supportedSizeCode = 3;
         dlg.m_nRomSize = 4;
       },
       "ROM Size Setting is incorrect!! \n\n\r Please Select one correctly...",
       MB_ICONINFORMATION | MB_OK},
  };
  for (const Case& c : cases) {
    TransferEmulator emu;
    Bench bench(emu.api);
    bench.dlg->m_bVerify = true;
    c.setUp(emu, *bench.dlg);
    bench.dlg->OnDownload();
    ASSERT_EQ(bench.ui.messageBoxes.size(), 1u) << c.text.toStdString();
    EXPECT_EQ(bench.ui.messageBoxes[0].text, c.text);
    EXPECT_EQ(bench.ui.messageBoxes[0].type, c.type);
    EXPECT_EQ(bench.ui.messageBoxes[0].owner, bench.dlg.get());
  }
}

TEST(DownloadRefusals, NothingReachesTheDevice) {
  struct Case {
    const char* name;
    std::uint8_t supported;
    int selected;
    std::vector<QString> boxes;
  };
  const QString sizeSetting = "ROM Size Setting is incorrect!! \n\n\r Please Select one correctly...";
  const Case cases[] = {
      {"SelectionAboveTheDevice", 0, 1, {sizeSetting}},
      // A device whose capacity is not recognised refuses no selection,
      // but a code without transfer blocks is never sent.
      {"NoBlocksForTheCode", kUnknownRomSizeCode, 7, {sizeSetting}},
      {"NoSelection", 6, -1, {sizeSetting}},
  };
  for (const Case& c : cases) {
    TransferEmulator emu;
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
  EXPECT_EQ(bench.Boxes(), std::vector<QString>{"OPEN DEVICE Fail , Check the USB Cable !!"});
  EXPECT_EQ(bench.Status(), "Detect Device Error happened !!");
  EXPECT_EQ(bench.dlg->m_status->TextColor(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 3);
  EXPECT_EQ(bench.quitRequests, 1);
}

TEST(DownloadRefusals, MissingImageFile) {
  TransferEmulator emu;
  Bench bench(emu.api);
  bench.SetImagePath(bench.folder.path() + "/absent.bin");
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), "");
  EXPECT_EQ(bench.Status(), "Load File To Buffer Fail !!");
}

// A download without reset arms the next one, which then resets.
TEST(DownloadReset, SecondDownloadResets) {
  TransferEmulator emu;
  Bench bench(emu.api);
  bench.dlg->m_bVerify = false;
  bench.dlg->OnDownload();
  EXPECT_EQ(emu.Trace(), kConnect + kWrite4 + " open close");
  emu.tokens.clear();
  bench.dlg->OnDownload();
  ExpectResetThenClose(emu.Trace(), kConnect + kWrite4 + " open 62");
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
    TransferEmulator emu;
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
  QString caption;
  int position;
  bool operator==(const BarState&) const = default;
};

std::vector<BarState> RecordBar(TransferEmulator& emu, CMainDlg& dlg) {
  std::vector<BarState> states;
  emu.beforeBlock = [&states, &dlg] {
    states.push_back({dlg.m_progress->GetWindowText(), dlg.m_progress->GetPos()});
  };
  dlg.OnDownload();
  return states;
}

TEST(DownloadProgress, CaptionsCountTheBlocksDone) {
  TransferEmulator emu;
  Bench bench(emu.api);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_bVerify = true;
  dlg.m_bProgressText = true;
  dlg.m_bProgressPercent = true;
  const std::vector<BarState> states = RecordBar(emu, dlg);
  const QString down = "Download Processing completed %1%";
  const QString up = "Upload and Verify Processing completed %1%";
  const std::vector<BarState> want = {
      {"", 0},           {down.arg(0), 1},  {down.arg(25), 2}, {down.arg(50), 3},
      {down.arg(75), 0}, {up.arg(0), 1},    {up.arg(25), 2},   {up.arg(50), 3}};
  EXPECT_EQ(states, want);
  EXPECT_EQ(dlg.m_progress->GetWindowText(), up.arg(75));
  EXPECT_EQ(dlg.m_progress->GetPos(), 0);
  int low = -1, high = -1;
  dlg.m_progress->GetRange(low, high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 4);
  // The read-back paints spring green on light red and restores blue on white.
  EXPECT_EQ(dlg.m_progress->SetBarColor(CLR_DEFAULT), kBlue);
  EXPECT_EQ(dlg.m_progress->SetBkColor(CLR_DEFAULT), kWhite);
}

TEST(DownloadProgress, LargestCapacityEndsAtNinetyNine) {
  TransferEmulator emu;
  Bench bench(emu.api);
  CMainDlg& dlg = *bench.dlg;
  dlg.m_nRomSize = 6;
  dlg.m_bVerify = false;
  dlg.m_bProgressText = true;
  dlg.m_bProgressPercent = true;
  const std::vector<BarState> states = RecordBar(emu, dlg);
  ASSERT_EQ(states.size(), 256u);
  EXPECT_EQ(states[128], (BarState{"Download Processing completed 49%", 128}));
  EXPECT_EQ(states[255], (BarState{"Download Processing completed 99%", 255}));
  EXPECT_EQ(dlg.m_progress->GetWindowText(), "Download Processing completed 99%");
}

TEST(DownloadProgress, NoCaptionTextUnlessBothOptionsAreOn) {
  for (const bool text : {false, true}) {
    TransferEmulator emu;
    Bench bench(emu.api);
    bench.dlg->m_bProgressText = text;
    bench.dlg->m_bProgressPercent = !text;
    bench.dlg->OnDownload();
    EXPECT_EQ(bench.dlg->m_progress->GetWindowText(), "") << text;
  }
}

// The read-back button on its own: it opens the device itself, sends no
// verify result and shows the dump the debug panel asked for.
TEST(ReadBuffer, OwnRunShowsTheRequestedDump) {
  struct Case {
    const char* name;
    int dumpBlock;
    std::function<void(TransferEmulator&)> script;
    bool dumpShown;
    std::string trace;
  };
  const std::string read4 = kConnect + " 36:4 close open close PIPE00 Rx4 /PIPE00";
  const Case cases[] = {
      {"SecondBlock", 1, nullptr, true, read4},
      {"BeyondTheBlocksRead", 10, nullptr, true, read4},
      {"LastReadFailed", 1, [](TransferEmulator& e) { e.failRead = 3; }, false,
       kConnect + " 36:4 close open close PIPE00 Rx3 R! /PIPE00"},
  };
  for (const Case& c : cases) {
    TransferEmulator emu;
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
      EXPECT_TRUE(bench.ui.messageBoxes.empty()) << c.name;
      // The difference found before the read broke off still stands.
      EXPECT_EQ(bench.MismatchLabels(), (std::vector<QString>{"0X1", "0X0", "0X1"}));
      EXPECT_EQ(bench.Status(), kConnected);
      continue;
    }
    std::array<std::uint8_t, kHexDumpBytes> want{};
    const std::size_t offset = static_cast<std::size_t>(c.dumpBlock) * kTransferBlockSize;
    if (offset < 4 * kTransferBlockSize) std::copy_n(emu.memory.begin() + static_cast<long>(offset), want.size(), want.begin());
    ASSERT_EQ(bench.ui.messageBoxes.size(), 1u) << c.name;
    EXPECT_EQ(bench.ui.messageBoxes[0].text, QString::fromLatin1(HexDumpText(want))) << c.name;
    EXPECT_EQ(bench.ui.messageBoxes[0].type, MB_OK) << c.name;
    EXPECT_EQ(dlg.m_text, bench.ui.messageBoxes[0].text) << c.name;
  }
}

TEST(ReadBuffer, OwnRunShowsTheDifferenceAndNoResult) {
  TransferEmulator emu;
  emu.corrupt = {0x4001};
  Bench bench(emu.api);
  std::fill_n(emu.memory.begin(), 4 * kTransferBlockSize, 0x00);
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(emu.Trace(), kConnect + " 36:4 close open close PIPE00 Rx4 /PIPE00");
  // The buffer holds no image yet: it was cleared when it was allocated.
  EXPECT_EQ(bench.MismatchLabels(), (std::vector<QString>{"0X4001", "0X0", "0XFF"}));
  EXPECT_EQ(bench.Status(), kConnected);
  EXPECT_TRUE(bench.dlg->m_bResetArmed);
}

// Labels reading "no difference" would be wrong for blocks never compared.
TEST(ReadBuffer, OwnRunSaysWhenAReadBreaksOff) {
  TransferEmulator emu;
  emu.failRead = 1;
  Bench bench(emu.api);
  std::fill_n(emu.memory.begin(), 4 * kTransferBlockSize, 0x00);
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(emu.Trace(), kConnect + " 36:4 close open close PIPE00 R R! /PIPE00");
  EXPECT_EQ(bench.Status(), "Verify Block Read Fail !!");
  EXPECT_EQ(bench.dlg->m_status->TextColor(), kDarkRed);
  EXPECT_EQ(bench.dlg->m_nHoldTicks, 2);
  EXPECT_FALSE(bench.dlg->m_bResetArmed);
}

TEST(ReadBuffer, DownloadClearsTheDumpRequest) {
  TransferEmulator emu;
  Bench bench(emu.api);
  bench.dlg->m_bDumpRequest = true;
  bench.dlg->OnDownload();
  EXPECT_FALSE(bench.dlg->m_bDumpRequest);
  EXPECT_TRUE(bench.ui.messageBoxes.empty());
}

TEST(ReadBuffer, NoDeviceDisarms) {
  FakeDriverApi none;
  Bench bench(none);
  bench.dlg->m_bResetArmed = true;
  bench.dlg->OnReadBuffer();
  EXPECT_EQ(bench.Status(), "Detect Device Error happened !!");
  EXPECT_EQ(bench.dlg->m_status->TextColor(), kDarkRed);
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
    EXPECT_EQ(bench.dlg->m_status->TextColor(), kBlue);
    EXPECT_EQ(bench.dlg->m_nHoldTicks, 1);
    EXPECT_TRUE(bench.dlg->m_bStatusHold);
  }
}

// Against a real simulator: the device discipline holds, the commands and
// blocks reach it in order, and it ends up holding the image and its fill.
std::string Field(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const std::size_t start = line.find(key);
  if (start == std::string::npos) return {};
  const std::size_t from = start + key.size();
  return line.substr(from, line.find('"', from) - from);
}

std::string SimCommands(const std::vector<std::string>& log) {
  std::vector<std::string> tokens;
  for (const std::string& line : log) {
    const std::string ioctl = Field(line, "ioctl");
    if (ioctl != "HEAD_SEND" && ioctl != "TAIL_SEND") continue;
    const std::string hex = Field(line, "in");
    std::vector<std::uint8_t> block(kCommandBlockSize);
    for (std::size_t i = 0; i < block.size() && 2 * i + 1 < hex.size(); ++i) {
      block[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    tokens.push_back(CommandToken(block.data(), ioctl == "HEAD_SEND"));
  }
  return Fold(tokens);
}

struct SimScenario {
  const char* name;
  std::vector<std::string> sim;
  std::string commands;  // through the end of the download
  QString status;
  std::vector<QString> labels;
  bool dump;
};

void PrintTo(const SimScenario& s, std::ostream* os) { *os << s.name; }

const SimScenario kSimScenarios[] = {
    {"Verified", {}, "48 51 37:4 35 36:4 81:30,02 62", "Download And Verify OK !!",
     {"0X0", "0X0", "0X0"}, true},
    {"Difference", {"--corrupt", "0x1A2B"}, "48 51 37:4 35 36:4 81:10,90 62",
     "Downlaod But Verify Fail !!", {"0X1A2B", "0X30", "0XCF"}, true},
    {"FailedWrite", {"--fail-write-block", "2"}, "48 51 37:4 35", "Download Block Write Fail !!",
     {"0x000000", "0x00", "0x00"}, false},
    {"ShortRead", {"--short-read-block", "1"}, "48 51 37:4 35 36:4", "Verify Block Read Fail !!",
     {"0X0", "0X0", "0X0"}, true},
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
  const std::string commands = SimCommands(log);
  EXPECT_EQ(commands.substr(0, s.commands.size()), s.commands);
  const std::string rest = commands.substr(std::min(commands.size(), s.commands.size()));
  EXPECT_TRUE(rest.empty() || rest.rfind(" 61", 0) == 0) << rest;
  for (const std::string& line : log) EXPECT_EQ(line.find("violation"), std::string::npos) << line;

  const std::vector<std::uint8_t> dump = ReadFileBytes(dumpPath);
  if (s.dump) {
    EXPECT_TRUE(dump == bench.image) << "dump of " << dump.size() << " bytes differs";
  } else {
    EXPECT_TRUE(dump.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Download, DownloadSimTest, testing::ValuesIn(kSimScenarios),
                         [](const testing::TestParamInfo<SimScenario>& info) { return info.param.name; });

}  // namespace
}  // namespace kavlen::test
