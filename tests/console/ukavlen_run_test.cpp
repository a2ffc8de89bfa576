// The whole ukavlen run against real kavlen-sim processes: one table of
// scenarios, each in its own device root, checking the exact output, the exit
// status and, through the simulator's log and dump, what reached the device.
// The table runs for the native program and for the Windows one under wine
// (see console_program.h).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "device/str_printf.h"
#include "kavlen_version.h"
#include "platform/device_lock.h"
#include "tests/console/console_program.h"
#include "tests/console/console_texts.h"
#include "tests/support/bridge_process.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {
namespace {

namespace fs = std::filesystem;

const std::string& kBanner = kUkavlenBanner;
const std::string kDeviceInfo = "Device Info: Kavlen II Ver: 01.02 \n";
std::string ChecksumLine(const std::string& capacity) {
  return "Device OS CheckSUM=0x1A2B, Support ROM Size=" + capacity + " \n";
}
const std::string kOsRunning = kDeviceInfo + ChecksumLine("   4 MBytes") + "Device OS is already!\n";
const std::string kNotReady = "Device OS is not Ready!\nLoad the device OS Now ...\n";
const std::string kOsLoaded =
    kNotReady + kDeviceInfo + "Device OS Update OK ! ...\n" + ChecksumLine("   4 MBytes");
// "{load}" stands for the size and checksum line of the scenario's image.
const std::string kFile = " \nFileName = {image} \n ";
const std::string kLoaded = kFile + "{load}Load Binary File is OK! ...\n";
const std::string kOpenFailed = "Open Binary file Fail! ...\nPlease Check the Path ...\n";
const std::string kLoadFailed = "Load Binary File is Fail, Program terminated !\n";
const std::string kVerifyOk = "Verify OK !!\n";
const std::string kInUse = "USB Device is in use by another program ...try it again later !\n";

std::string Dots(const std::string& word, int blocks) {
  return word + std::string(static_cast<std::size_t>(blocks), '.');
}
std::string Download(int blocks) { return Dots("Download", blocks) + "Done ! \n"; }
std::string Verify(int blocks) { return Dots("Verify .", blocks) + "Done ! \n"; }

// What the device holds after the run, as --dump writes it.
enum class Dump {
  None,        // no download finished
  FileThen00,  // the image, then 0x00 up to the end of the announced blocks
  FileThenFF,
};

struct Transfers {
  int writesOk = 0, writesFailed = 0, readsOk = 0, readsFailed = 0;
  bool operator==(const Transfers&) const = default;
};

// What the image path names.
enum class ImageKind { Bytes, Fifo, Folder };

struct Scenario {
  const char* name = "";
  bool attached = true;            // false: no emulator at all
  // The unplugged simulator removes its socket a moment later, so a reopen
  // may still find it and print its "FAILED to open" line.
  bool unplugs = false;
  std::vector<std::string> sim = {};    // simulator switches
  bool deviceOsFile = false;       // a TPROMOS.USB beside the program
  long imageSize = 100;            // -1: no image file at all
  ImageKind image = ImageKind::Bytes;
  int imageByte = -1;              // every byte of the image; -1: PatternBytes
  std::vector<std::string> args = {};   // "{image}" stands for the image path
  int status = 0;
  std::string out = {};            // "{image}", "{load}", "{sock}" and "{osfile}" are replaced
  // With --json: the events but the messages as json_fields.py prints them
  // ("{sum}" and "{version}" replaced too); `out` is then the messages' texts.
  std::string json = {};
  std::string err = {};            // rates ("1.5 MB/s") read as "R"
  std::string commands = {};       // what was sent, see CommandTrace
  Transfers transfers = {};
  Dump dump = Dump::None;
  bool lockHeld = false;           // the test holds the emulator's lock during the run
  int runsAtOnce = 1;              // 2: two runs start together; each must print `out`
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

const std::vector<std::string> kOs = {"--state", "os"};
const std::vector<std::string> kVerifyArgs = {"-d", "{image}", "-v"};
const std::vector<std::string> kDownloadArgs = {"-d", "{image}"};
std::vector<std::string> Os(std::vector<std::string> more) {
  more.insert(more.begin(), kOs.begin(), kOs.end());
  return more;
}

const std::string kGood4 = "48 51 37:4 35 36:4 81:30,02 62 61";
std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}
const std::string kJsonStart = "start schema=1 program=ukavlen version={version}\n";
const std::string kJsonDevice =
    "device path={sock} number=1 boot=os model=Kavlen II version=1.2 os_checksum=6699 "
    "capacity=4194304\n";
const std::string kJsonOs = kJsonDevice + "device_os loaded=false file={osfile} length=0\n";
const std::string kJsonImage = "image file={image} format=bin length=100 checksum={sum} base=0 fill=0\n";
const std::string kCompare0 = "Error at 0x0 --> Orginal= 0x3 ; Target= 0xCC \n";
std::string Plan(int blocks, const char* capacity, bool verify) {
  return StrPrintf("Dry run: would download %d blocks of 16384 Bytes (ROM size code 0, %s), %s, "
                   "then end the download and reset the target; nothing was sent\n",
                   blocks, capacity, verify ? "verify them" : "no verify");
}
const Transfers k4Both{4, 0, 4, 0};
const Transfers k4Written{4, 0, 0, 0};

const Scenario kScenarios[] = {
    {.name = "NoEmulator", .attached = false, .args = kVerifyArgs, .status = 1,
     .out = kBanner + "Please Check the USB Cable ...and try it again !\n"},
    // device OS and identification
    {.name = "OsRunningWithVerify", .sim = kOs, .args = kVerifyArgs,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    {.name = "BootCodeGetsItsOs", .deviceOsFile = true, .args = kVerifyArgs,
     .out = kBanner + kOsLoaded + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = "48 OS:3000 69 48 51 37:4 35 36:4 81:30,02 62 61", .transfers = k4Both,
     .dump = Dump::FileThen00},
    // the information RECEIVE fails: no checksum line, and the download goes on
    {.name = "DeviceInfoNotReceived", .sim = Os({"--fail-receive", "0x51"}), .args = kDownloadArgs,
     .out = kBanner + kDeviceInfo + "Device OS is already!\n" + kLoaded + Download(4),
     .commands = "48 51 37:4 35 62 61", .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "DeviceOsFileMissing", .args = kVerifyArgs, .status = 1,
     .out = kBanner + kNotReady +
            "open Device OS File fail. Please Re-Install system...\n"
            " Maybe Missing the OS File--'TPROMOS.USB' not exist here !!..\n"
            "Device OS Update Fail ! ...\n",
     .commands = "48"},
    {.name = "DeviceOsDoesNotStart", .sim = {"--start-os-fails"}, .deviceOsFile = true,
     .args = kVerifyArgs, .status = 1, .out = kBanner + kNotReady + "Device OS Update Fail ! ...\n",
     .commands = "48 OS:3000 69 48"},
    {.name = "BootCodeReportsError", .sim = {"--boot-reply", "0"}, .args = kVerifyArgs, .status = 1,
     .out = kBanner + "Device Boot OS is Error!! \nDEVICE FATAL Error !!\n ", .commands = "48"},
    {.name = "UnrecognisedBootReply", .sim = {"--boot-reply", "0x55"}, .args = kVerifyArgs,
     .status = 1, .out = kBanner + "DEVICE FATAL Error !!\n ", .commands = "48"},
    // the image file and the capacity check: nothing at all is sent
    {.name = "ImageFileMissing", .sim = kOs, .imageSize = -1, .args = kVerifyArgs, .status = 2,
     .out = kBanner + kOsRunning + kFile + kOpenFailed + kLoadFailed,
     .commands = "48 51"},
    // never opened, nor is the emulator: a FIFO or a device may never end
    {.name = "ImageIsAFifo", .sim = kOs, .imageSize = -1, .image = ImageKind::Fifo,
     .args = kVerifyArgs, .status = 2, .out = kBanner + kFile + kOpenFailed + kLoadFailed},
    {.name = "HexImageIsAFolder", .sim = kOs, .imageSize = -1, .image = ImageKind::Folder,
     .args = {"-d", "{image}", "--format", "ihex"}, .status = 2,
     .out = kBanner + kFile + kOpenFailed + kLoadFailed},
    {.name = "ImageFileEmpty", .sim = kOs, .imageSize = 0, .args = kVerifyArgs, .status = 2,
     .out = kBanner + kOsRunning + kFile + "The Binary File is empty... Fail\n" + kLoadFailed,
     .commands = "48 51"},
    {.name = "ImageOfExactlyTheCapacity", .sim = Os({"--capacity-mask", "0"}), .imageSize = 65536,
     .args = kVerifyArgs,
     .out = kBanner + kDeviceInfo + ChecksumLine("  64 KBytes") + "Device OS is already!\n" +
            kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    {.name = "ImageOneByteOverTheCapacity", .sim = Os({"--capacity-mask", "0"}),
     .imageSize = 65537, .args = kVerifyArgs, .status = 2,
     .out = kBanner + kDeviceInfo + ChecksumLine("  64 KBytes") + "Device OS is already!\n" +
            kLoaded + "File Size Exceed the Hardware supported, Stop download to Hardware !!\n",
     .commands = "48 51"},
    // the whole file is measured, not the 4 MB the buffer holds
    {.name = "ImageOneByteOverFourMegabytes", .sim = kOs, .imageSize = 4194305, .args = kVerifyArgs,
     .status = 2,
     .out = kBanner + kOsRunning + kLoaded +
            "File Size Exceed the Hardware supported, Stop download to Hardware !!\n",
     .commands = "48 51"},
    {.name = "ImageLongerThanTheBufferOnAnEightMegabyteEmulator",
     .sim = Os({"--capacity-mask", "0x7F"}), .imageSize = 5 * 1048576, .args = kVerifyArgs,
     .status = 2,
     .out = kBanner + kDeviceInfo + ChecksumLine("   8 MBytes") + "Device OS is already!\n" +
            kLoaded + "File Size Exceed the Hardware supported, Stop download to Hardware !!\n",
     .commands = "48 51"},
    // readiness and pipes
    {.name = "NeverReady", .sim = Os({"--never-ready"}), .args = kVerifyArgs, .status = 2,
     .out = kBanner + kOsRunning + kLoaded + "Device is Check not ready ...Fail!\n",
     .commands = "48 51 37:4 35x256"},
    {.name = "ReadyAfterThreeBusyReplies", .sim = Os({"--ready-after", "3"}), .args = kDownloadArgs,
     .out = kBanner + kOsRunning + kLoaded + Download(4), .commands = "48 51 37:4 35x4 62 61",
     .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "NoOutPipe", .sim = Os({"--no-pipe", "PIPE01"}), .args = kVerifyArgs, .status = 2,
     .out = kBanner + kOsRunning + kLoaded + "Failed to open ({sock}\\PIPE01) = 2" +
            "\nOpen Out Write Pipe Error... Fail!\n",
     .commands = "48 51 37:4 35"},
    {.name = "NoInPipe", .sim = Os({"--no-pipe", "PIPE00"}), .args = kVerifyArgs, .status = 3,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + "Failed to open ({sock}\\PIPE00) = 2",
     .commands = "48 51 37:4 35 36:4 62 61", .transfers = k4Written, .dump = Dump::FileThen00},
    // transfer faults
    {.name = "FirstOfTwoDifferencesIsReported",
     .sim = Os({"--corrupt", "0x4001", "--corrupt", "0xC00F"}), .imageSize = 65536,
     .args = kVerifyArgs, .status = 3,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) +
            "Error at 0x4001 --> Orginal= 0xA ; Target= 0xF5 \n",
     .commands = "48 51 37:4 35 36:4 81:10,90 62 61", .transfers = k4Both,
     .dump = Dump::FileThen00},
    {.name = "FailedBlockWrite", .sim = Os({"--fail-write-block", "2"}), .args = kVerifyArgs,
     .status = 2, .out = kBanner + kOsRunning + kLoaded + Dots("Download", 2) +
                         "\nWrite Block 2 Fail! ...\n",
     .commands = "48 51 37:4 35", .transfers = {2, 1, 0, 0}},
    {.name = "ShortBlockWrite", .sim = Os({"--short-write-block", "1"}), .args = kVerifyArgs,
     .status = 2, .out = kBanner + kOsRunning + kLoaded + Dots("Download", 1) +
                         "\nWrite Block 1 Fail! ...\n",
     .commands = "48 51 37:4 35", .transfers = {2, 0, 0, 0}},
    {.name = "FailedBlockRead", .sim = Os({"--fail-read-block", "1"}), .args = kVerifyArgs,
     .status = 3, .out = kBanner + kOsRunning + kLoaded + Download(4) + Dots("Verify .", 1) +
                         "\nRead Block 1 Fail! ...\n",
     .commands = "48 51 37:4 35 36:4 62 61", .transfers = {4, 0, 1, 1}, .dump = Dump::FileThen00},
    {.name = "ShortBlockRead", .sim = Os({"--short-read-block", "3"}), .args = kVerifyArgs,
     .status = 3, .out = kBanner + kOsRunning + kLoaded + Download(4) + Dots("Verify .", 3) +
                         "\nRead Block 3 Fail! ...\n",
     .commands = "48 51 37:4 35 36:4 62 61", .transfers = {4, 0, 4, 0}, .dump = Dump::FileThen00},
    {.name = "UnpluggedDuringDownload", .sim = Os({"--unplug-after-blocks", "2"}),
     .args = kVerifyArgs, .status = 2,
     .out = kBanner + kOsRunning + kLoaded + Dots("Download", 2) + "\nWrite Block 2 Fail! ...\n",
     .commands = "48 51 37:4 35", .transfers = {2, 0, 0, 0}},
    {.name = "UnpluggedDuringVerify", .unplugs = true, .sim = Os({"--unplug-after-blocks", "5"}), .args = kVerifyArgs,
     .status = 3, .out = kBanner + kOsRunning + kLoaded + Download(4) + Dots("Verify .", 1) +
                         "\nRead Block 1 Fail! ...\nReset Command Fail in Open Device...\n",
     .commands = "48 51 37:4 35 36:4", .transfers = {4, 0, 1, 0}, .dump = Dump::FileThen00},
    {.name = "UnpluggedBeforeTheReset", .unplugs = true, .sim = Os({"--unplug-after-blocks", "4"}),
     .args = kDownloadArgs, .status = 4,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + "Reset Command Fail in Open Device...\n",
     .commands = "48 51 37:4 35", .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "UnpluggedBeforeTheVerify", .unplugs = true, .sim = Os({"--unplug-after-blocks", "4"}),
     .args = kVerifyArgs, .status = 3,
     .out = kBanner + kOsRunning + kLoaded + Download(4) +
            "Verify Fail in Open Device, the Image is not verified !!\n"
            "Reset Command Fail in Open Device...\n",
     .commands = "48 51 37:4 35", .transfers = k4Written, .dump = Dump::FileThen00},
    // the end of the download and the reset must reach the device
    {.name = "EndOfDownloadNotReceived", .sim = Os({"--fail-receive", "0x62"}), .args = kDownloadArgs,
     .status = 4,
     .out = kBanner + kOsRunning + kLoaded + Download(4) +
            "Reset Command Fail in Send End Download...\n",
     .commands = "48 51 37:4 35 62 61", .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "ResetNotReceived", .sim = Os({"--fail-receive", "0x61"}), .args = kVerifyArgs,
     .status = 4,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk +
            "Reset Command Fail in Send Reset Target...\n",
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    // fill codes and sizes
    {.name = "FillWithZeros", .sim = kOs, .args = {"-f", "0", "-d", "{image}"},
     .out = kBanner + kOsRunning + kLoaded + Download(4), .commands = "48 51 37:4 35 62 61",
     .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "FillWithOnes", .sim = kOs, .args = {"-f", "1", "-d", "{image}", "-v"},
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThenFF},
    // no fill: the buffer was cleared when it was allocated
    {.name = "NoFill", .sim = kOs, .args = {"-f", "2", "-d", "{image}", "-v"},
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    // two programs never share the emulator
    {.name = "TwoRunsAtOnceTakeTurns", .sim = kOs, .args = kVerifyArgs,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .commands = kGood4 + " " + kGood4, .transfers = {8, 0, 8, 0}, .dump = Dump::FileThen00,
     .runsAtOnce = 2},
    {.name = "EmulatorHeldByAnotherProgram", .sim = kOs, .args = kVerifyArgs, .status = 1,
     .out = kBanner + kInUse, .lockHeld = true},
    {.name = "StatusCheckWaitsForTheHolderToo", .sim = kOs, .args = {"-u"}, .status = 1,
     .out = kBanner + kInUse, .lockHeld = true},
    // --json: the same run, its texts as messages between the events
    {.name = "JsonDownloadAndVerify", .sim = kOs, .args = With(kVerifyArgs, {"--json"}),
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .json = kJsonStart + kJsonOs + kJsonImage +
             "progress stage=download done=4 total=4\nprogress stage=verify done=4 total=4\n"
             "result status=0 name=ok\n",
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    {.name = "JsonMismatch", .sim = Os({"--corrupt", "0x4001", "--corrupt", "0xC00F"}),
     .imageSize = 65536, .args = With(kVerifyArgs, {"--json"}), .status = 3,
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) +
            "Error at 0x4001 --> Orginal= 0xA ; Target= 0xF5 \n",
     .json = kJsonStart + kJsonOs +
             "image file={image} format=bin length=65536 checksum={sum} base=0 fill=0\n"
             "progress stage=download done=4 total=4\nprogress stage=verify done=4 total=4\n"
             "result status=3 name=verify_failed mismatch={\"offset\":16385,\"expected\":10,"
             "\"found\":245,\"count\":2,\"offsets\":[16385,49167]}\n",
     .commands = "48 51 37:4 35 36:4 81:10,90 62 61", .transfers = k4Both,
     .dump = Dump::FileThen00},
    {.name = "JsonFailedBlockWrite", .sim = Os({"--fail-write-block", "2"}),
     .args = With(kVerifyArgs, {"--json"}), .status = 2,
     .out = kBanner + kOsRunning + kLoaded + Dots("Download", 2) + "\nWrite Block 2 Fail! ...\n",
     .json = kJsonStart + kJsonOs + kJsonImage +
             "progress stage=download done=2 total=4\nresult status=2 name=download_failed\n",
     .commands = "48 51 37:4 35", .transfers = {2, 1, 0, 0}},
    {.name = "JsonEmptyImage", .sim = kOs, .imageSize = 0, .args = With(kVerifyArgs, {"--json"}),
     .status = 2,
     .out = kBanner + kOsRunning + kFile + "The Binary File is empty... Fail\n" + kLoadFailed,
     .json = kJsonStart + kJsonOs + "result status=2 name=download_failed\n", .commands = "48 51"},
    {.name = "JsonNoEmulator", .attached = false, .args = With(kVerifyArgs, {"--json"}), .status = 1,
     .out = kBanner + "Please Check the USB Cable ...and try it again !\n",
     .json = kJsonStart + "result status=1 name=stopped\n"},
    // --verify-only: only the upload request follows the preparation
    {.name = "VerifyOnlyEqual", .sim = kOs, .imageSize = 65536, .imageByte = 0xCC,
     .args = With(kDownloadArgs, {"--verify-only"}),
     .out = kBanner + kOsRunning + kLoaded + Verify(4) + kVerifyOk, .commands = "48 51 36:4",
     .transfers = {0, 0, 4, 0}},
    {.name = "VerifyOnlyDiffers", .sim = kOs, .args = With(kDownloadArgs, {"--verify-only"}),
     .status = 3, .out = kBanner + kOsRunning + kLoaded + Verify(4) + kCompare0,
     .commands = "48 51 36:4", .transfers = {0, 0, 4, 0}},
    {.name = "VerifyOnlyJson", .sim = kOs, .args = With(kDownloadArgs, {"--verify-only", "--json"}),
     .status = 3, .out = kBanner + kOsRunning + kLoaded + Verify(4) + kCompare0,
     .json = kJsonStart + kJsonOs + kJsonImage + "progress stage=verify done=4 total=4\n"
             "result status=3 name=verify_failed mismatch={\"offset\":0,\"expected\":3,"
             "\"found\":204,\"count\":65536,\"offsets\":[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15]}\n",
     .commands = "48 51 36:4", .transfers = {0, 0, 4, 0}},
    {.name = "VerifyOnlyFailedBlockRead", .sim = Os({"--fail-read-block", "1"}), .imageSize = 65536,
     .imageByte = 0xCC, .args = With(kDownloadArgs, {"--verify-only"}), .status = 3,
     .out = kBanner + kOsRunning + kLoaded + Dots("Verify .", 1) + "\nRead Block 1 Fail! ...\n",
     .commands = "48 51 36:4", .transfers = {0, 0, 1, 1}},
    {.name = "VerifyOnlyEmptyImage", .sim = kOs, .imageSize = 0,
     .args = With(kDownloadArgs, {"--verify-only"}), .status = 2,
     .out = kBanner + kOsRunning + kFile + "The Binary File is empty... Fail\n" + kLoadFailed,
     .commands = "48 51"},
    // --dry-run: nothing but the boot status and information queries
    {.name = "DryRun", .sim = kOs, .args = With(kVerifyArgs, {"--dry-run"}),
     .out = kBanner + kOsRunning + kLoaded + Plan(4, "64 KBytes", true), .commands = "48 51"},
    {.name = "DryRunJson", .sim = Os({"--never-ready"}), .args = With(kDownloadArgs, {"--dry-run", "--json"}),
     .out = kBanner + kOsRunning + kLoaded + Plan(4, "64 KBytes", false),
     .json = kJsonStart + kJsonDevice + kJsonImage +
             "plan size_code=0 blocks=4 verify=false reset=true\nresult status=0 name=ok\n",
     .commands = "48 51"},
    {.name = "DryRunBootCodeGetsNoOs", .deviceOsFile = true, .args = With(kDownloadArgs, {"--dry-run"}),
     .out = kBanner + "Device OS is not Ready!\nDry run: would load the device OS from {osfile}\n" +
            kLoaded + Plan(4, "64 KBytes", false),
     .commands = "48"},
    {.name = "DryRunBootCodeWithoutItsOs", .args = With(kDownloadArgs, {"--dry-run"}), .status = 1,
     .out = kBanner + "Device OS is not Ready!\nDry run: would load the device OS from {osfile}, but "
                      "there is no such file: a run would stop here\n" + kLoaded + Plan(4, "64 KBytes", false),
     .commands = "48"},
    {.name = "DryRunImageTooLarge", .sim = Os({"--capacity-mask", "0"}), .imageSize = 65537,
     .args = With(kDownloadArgs, {"--dry-run"}), .status = 2,
     .out = kBanner + kDeviceInfo + ChecksumLine("  64 KBytes") + "Device OS is already!\n" +
            kLoaded + "File Size Exceed the Hardware supported, Stop download to Hardware !!\n",
     .commands = "48 51"},
    {.name = "DryRunNoEmulator", .attached = false, .imageSize = 4194304,
     .args = With(kDownloadArgs, {"--dry-run"}),
     .out = kBanner + "Dry run: no emulator answers; the image is checked against the 4 MBytes buffer\n" +
            kLoaded + StrPrintf("Dry run: would download 256 blocks of 16384 Bytes (ROM size code 6, "
                                "4 MBytes), no verify, then end the download and reset the target; "
                                "nothing was sent\n")},
    // --progress: standard error only
    {.name = "ProgressPlain", .sim = kOs, .args = With(kVerifyArgs, {"--progress", "plain"}),
     .out = kBanner + kOsRunning + kLoaded + Download(4) + Verify(4) + kVerifyOk,
     .err = "download  25%  16 KB of 64 KB  R  0:00 left\ndownload  50%  32 KB of 64 KB  R  0:00 left\n"
            "download  75%  48 KB of 64 KB  R  0:00 left\ndownload 100%  64 KB of 64 KB  R  0:00 left\n"
            "verify    25%  16 KB of 64 KB  R  0:00 left\nverify    50%  32 KB of 64 KB  R  0:00 left\n"
            "verify    75%  48 KB of 64 KB  R  0:00 left\nverify   100%  64 KB of 64 KB  R  0:00 left\n",
     .commands = kGood4, .transfers = k4Both, .dump = Dump::FileThen00},
    {.name = "ProgressAutoIntoAFileIsNone", .sim = kOs, .args = With(kDownloadArgs, {"--progress", "auto"}),
     .out = kBanner + kOsRunning + kLoaded + Download(4), .commands = "48 51 37:4 35 62 61",
     .transfers = k4Written, .dump = Dump::FileThen00},
    {.name = "FourMegabyteImage", .sim = kOs, .imageSize = 4194304, .args = kVerifyArgs,
     .out = kBanner + kOsRunning + kLoaded + Download(256) + Verify(256) + kVerifyOk,
     .commands = "48 51 37:256 35 36:256 81:30,02 62 61", .transfers = {256, 0, 256, 0},
     .dump = Dump::FileThen00},
};

// A scenario's image size is negative where no image file exists.
std::vector<std::uint8_t> ImageBytes(long size) {
  return PatternBytes(size > 0 ? static_cast<std::size_t>(size) : 0);
}

int HexByte(const std::string& hex, std::size_t index) {
  return std::stoi(hex.substr(index * 2, 2), nullptr, 16);
}

// The commands the device received, in order: the code of each head or tail
// SEND in hexadecimal, the block count of CMD_DOWNLOAD and CMD_UPLOAD after a
// colon, the two argument bytes of CMD_VERIFY_RESULT, "OS:<bytes>" for a
// device OS load, and repeats folded into "code x count".
std::string CommandTrace(const std::vector<std::string>& log) {
  std::vector<std::string> sent;
  for (const std::string& line : log) {
    const std::string ioctl = SimLogField(line, "ioctl");
    const std::string in = SimLogField(line, "in");
    std::string entry;
    if (ioctl == "LOAD_DEVICE_OS") {
      entry = "OS:" + std::to_string(in.size() / 2);
    } else if (ioctl == "HEAD_SEND") {
      entry = in.substr(0, 2);
    } else if (ioctl == "TAIL_SEND") {
      entry = in.substr(112, 2);
      if (entry == "37" || entry == "36") {
        entry += ":" + std::to_string(HexByte(in, 60) + 256 * HexByte(in, 61));
      } else if (entry == "81") {
        entry += ":" + in.substr(114, 2) + "," + in.substr(116, 2);
      }
    } else {
      continue;
    }
    sent.push_back(entry);
  }
  std::string trace;
  for (std::size_t i = 0; i < sent.size();) {
    std::size_t run = 1;
    while (i + run < sent.size() && sent[i + run] == sent[i]) ++run;
    if (!trace.empty()) trace += ' ';
    trace += sent[i] + (run > 1 ? "x" + std::to_string(run) : "");
    i += run;
  }
  return trace;
}

Transfers CountTransfers(const std::vector<std::string>& log) {
  Transfers t;
  for (const std::string& line : log) {
    const bool ok = line.find("\"ok\":true") != std::string::npos;
    if (line.rfind("{\"op\":\"write\"", 0) == 0) ++(ok ? t.writesOk : t.writesFailed);
    if (line.rfind("{\"op\":\"read\"", 0) == 0) ++(ok ? t.readsOk : t.readsFailed);
  }
  return t;
}

// ukavlen --json output through tests/console/json_fields.py, which parses
// every line and holds its fields to the manual's description.
std::string JsonFields(const std::string& root, const std::string& out, const char* mode) {
  const std::string file = root + "/json.out";
  {
    std::ofstream(file, std::ios::binary) << out;
  }
  const RunResult parsed = RunProgram("/usr/bin/python3", {JSON_FIELDS_PATH, MANUAL_PATH, file, mode}, root);
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  return parsed.out;
}

// Both runs start from one shell at the same moment, their output going to files.
std::vector<RunResult> RunTwoAtOnce(const ConsoleProgram& program, const std::string& path,
                                    const std::vector<std::string>& args, const std::string& root,
                                    std::vector<std::string> env) {
  const std::string script =
      "\"$@\" >\"$R/out1\" 2>\"$R/err1\" & first=$!\n"
      "\"$@\" >\"$R/out2\" 2>\"$R/err2\"; echo $? >\"$R/status2\"\n"
      "wait $first; echo $? >\"$R/status1\"\n";
  std::vector<std::string> shellArgs = {"-c", script, "sh", program.Runner(path)};
  const std::vector<std::string> runnerArgs = program.RunnerArgs(path, args);
  shellArgs.insert(shellArgs.end(), runnerArgs.begin(), runnerArgs.end());
  env.push_back("R=" + root);
  const RunResult shell = RunProgram("/bin/sh", shellArgs, program.Path(root), env);
  EXPECT_EQ(shell.status, 0) << shell.err;
  std::vector<RunResult> runs(2);
  for (int i = 0; i < 2; ++i) {
    const auto text = [&](const char* name) {
      const std::vector<std::uint8_t> bytes = ReadFileBytes(root + "/" + name + std::to_string(i + 1));
      return std::string(bytes.begin(), bytes.end());
    };
    runs[static_cast<std::size_t>(i)] = {std::stoi("0" + text("status")), program.Text(text("out")),
                                         text("err")};
  }
  return runs;
}

// Where the pipes cannot be opened (see kDriverOpensPipes), a scenario that
// reaches the download stops at the output pipe's open, as NoOutPipe does:
// its output up to the first block, its commands up to the ready polls.
Scenario StoppedAtThePipe(Scenario s) {
  const std::size_t download = s.out.find("Download");
  if (download == std::string::npos) return s;
  s.out = s.out.substr(0, download) + "Failed to open ({sock}\\PIPE01) = 2" +
          "\nOpen Out Write Pipe Error... Fail!\n";
  s.status = 2;
  std::string polled;
  for (std::size_t at = 0; at < s.commands.size();) {
    const std::size_t end = std::min(s.commands.find(' ', at), s.commands.size());
    polled += (polled.empty() ? "" : " ") + s.commands.substr(at, end - at);
    if (s.commands.compare(at, 2, "35") == 0) break;
    at = end + 1;
  }
  s.commands = polled;
  s.transfers = {};
  s.dump = Dump::None;
  return s;
}

void RunScenario(const Scenario& given, const ConsoleProgram& program) {
  const Scenario s =
      program.throughDriver() && !kDriverOpensPipes ? StoppedAtThePipe(given) : given;
  // A Windows program's lock is a named mutex, which this test cannot hold.
  if (s.lockHeld && program.windows) GTEST_SKIP() << "the test holds a POSIX lock";
  // Two wine processes started at the same instant sometimes lose one to
  // wine itself (no output, status 1) before the program runs.
  if (s.runsAtOnce > 1 && program.windows) GTEST_SKIP() << "two wine starts at once are not reliable";
  if (s.image == ImageKind::Fifo && program.windows) GTEST_SKIP() << "Windows has no FIFOs";
  if (!s.err.empty() && program.windows) GTEST_SKIP() << "scripts/wine-run.sh keeps no standard error";
  if (s.lockHeld && !program.bridgeExe.empty()) GTEST_SKIP() << "the Windows bridge's lock is a named mutex";
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  // The program runs from its own folder, which holds the device OS file
  // only when the scenario wants one.
  const std::string programDir = root.path() + "/program";
  fs::create_directory(programDir);
  const std::string programPath = programDir + "/" + program.FileName();
  fs::copy_file(program.binary, programPath);
  if (s.deviceOsFile) {
    ASSERT_NE(root.Write("program/TPROMOS.USB", ImageBytes(3000)), "");
  }

  const std::string imagePath = root.path() + "/image.bin";
  std::vector<std::uint8_t> image = ImageBytes(s.imageSize);
  if (s.imageByte >= 0) image.assign(image.size(), static_cast<std::uint8_t>(s.imageByte));
  if (s.imageSize >= 0) {
    ASSERT_EQ(root.Write("image.bin", image), imagePath);
  }
  if (s.image == ImageKind::Fifo) {
    ASSERT_EQ(mkfifo(imagePath.c_str(), 0600), 0);
  }
  if (s.image == ImageKind::Folder) {
    ASSERT_TRUE(fs::create_directory(imagePath));
  }
  std::uint32_t checksum = 0;
  for (const std::uint8_t byte : image) checksum += byte;

  const std::string dumpPath = root.path() + "/dump.bin";
  std::vector<std::string> simArgs =
      program.SimArgs({"--os-checksum", "0x1A2B", "--dump", dumpPath});
  simArgs.insert(simArgs.end(), s.sim.begin(), s.sim.end());
  std::unique_ptr<SimProcess> sim;
  if (s.attached) {
    sim = std::make_unique<SimProcess>(root.path(), simArgs);
    ASSERT_TRUE(sim->ready()) << sim->output();
  }
  const PluggedDevice device = sim ? program.Plug(*sim) : PluggedDevice();

  std::vector<std::string> args = s.args;
  for (std::string& arg : args) ReplaceAll(arg, "{image}", program.Path(imagePath));
  DeviceLock held;
  std::vector<std::string> env;
  // a bridge's emulator is named by the bridge's address and its own path
  std::unique_ptr<BridgeProcess> bridge;
  std::string sockPrefix;
  if (program.bridged) {
    bridge = std::make_unique<BridgeProcess>(root.path(), std::vector<std::string>{},
                                             std::vector<std::string>{}, program.bridgeExe);
    ASSERT_TRUE(bridge->ready()) << bridge->Output();
    env = bridge->ClientEnv();
    sockPrefix = bridge->address() + ":";
  }
  // the Windows bridge names its emulators by Windows paths
  const std::string deviceName =
      sim && !program.bridgeExe.empty() ? ConsoleProgram::Exe().Path(sim->socketPath()) : device.name;
  if (s.lockHeld) {
    held = DeviceLock::Acquire(sim->socketPath(), std::chrono::milliseconds(0));
    ASSERT_TRUE(held.held());
    env.push_back("KAVLEN_LOCK_WAIT_MS=300");
  }
  const std::vector<RunResult> runs =
      s.runsAtOnce == 2 ? RunTwoAtOnce(program, programPath, args, root.path(), env)
                        : std::vector<RunResult>{program.Run(programPath, args, root.path(), env)};
  if (sim) sim->Stop(SIGTERM);

  const auto filled = [&](std::string text) {
    ReplaceAll(text, "{load}",
               StrPrintf("Binary File size = %ld Bytes, CheckSum = 0x%X\n", s.imageSize, checksum));
    ReplaceAll(text, "{image}", program.Path(imagePath));
    ReplaceAll(text, "{osfile}", program.Path(programDir + "/TPROMOS.USB"));
    ReplaceAll(text, "{sum}", std::to_string(checksum));
    ReplaceAll(text, "{version}", KAVLEN_VERSION);
    ReplaceAll(text, "{sock}", sockPrefix + deviceName);
    return text;
  };
  const std::string expected = filled(s.out);
  for (const RunResult& run : runs) {
    std::string out = run.out;
    if (!s.json.empty()) {
      EXPECT_EQ(JsonFields(root.path(), out, "events"), filled(s.json));
      out = JsonFields(root.path(), out, "messages");
    }
    if (s.unplugs && sim) ReplaceAll(out, "FAILED to open " + sockPrefix + deviceName + "\n", "");
    EXPECT_EQ(out, expected);
    EXPECT_EQ(std::regex_replace(run.err, std::regex("[0-9.]+ [KM]B/s"), "R"), s.err);
    EXPECT_EQ(run.status, s.status);
  }

  const std::vector<std::string> log = sim ? sim->LogLines() : std::vector<std::string>{};
  EXPECT_EQ(CommandTrace(log), s.commands);
  EXPECT_EQ(CountTransfers(log), s.transfers);
  EXPECT_EQ(DisciplineViolations(log), std::vector<std::string>{});
  int tried = 0, opened = 0, closed = 0;
  for (const std::string& line : log) {
    if (line.find("\"op\":\"open\"") != std::string::npos) {
      ++tried;
      if (line.find("\"ok\":true") != std::string::npos) ++opened;
    }
    if (line.find("\"op\":\"close\"") != std::string::npos) ++closed;
  }
  EXPECT_EQ(opened, closed);
  if (s.lockHeld || s.image != ImageKind::Bytes) {
    EXPECT_EQ(tried, 0);  // the waiting run, or one with no image file, never touched the emulator
  }

  if (s.dump == Dump::None) {
    EXPECT_FALSE(fs::exists(dumpPath));
    return;
  }
  const std::vector<std::uint8_t> dump = ReadFileBytes(dumpPath);
  const std::size_t capacity = image.size() <= 65536 ? 65536 : 4194304;
  std::vector<std::uint8_t> want = image;
  want.resize(capacity, s.dump == Dump::FileThenFF ? 0xFF : 0x00);
  EXPECT_TRUE(dump == want) << "dump of " << dump.size() << " bytes differs";
}

class UkavlenRunTest : public testing::TestWithParam<Scenario> {};
TEST_P(UkavlenRunTest, OutputStatusAndWhatReachedTheDevice) {
  RunScenario(GetParam(), ConsoleProgram::Native());
}

class UkavlenBridgeRunTest : public testing::TestWithParam<Scenario> {};
TEST_P(UkavlenBridgeRunTest, OutputStatusAndWhatReachedTheDevice) {
  RunScenario(GetParam(), ConsoleProgram::ThroughBridge());
}

class UkavlenBridgeExeRunTest : public testing::TestWithParam<Scenario> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenBridgeExeRunTest);
TEST_P(UkavlenBridgeExeRunTest, OutputStatusAndWhatReachedTheDevice) {
  RunScenario(GetParam(), ConsoleProgram::ThroughBridgeExe());
}

class UkavlenExeRunTest : public testing::TestWithParam<Scenario> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenExeRunTest);
TEST_P(UkavlenExeRunTest, OutputStatusAndWhatReachedTheDevice) {
  RunScenario(GetParam(), ConsoleProgram::Exe());
}

std::string ScenarioName(const testing::TestParamInfo<Scenario>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Scenarios, UkavlenRunTest, testing::ValuesIn(kScenarios), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Scenarios, UkavlenBridgeRunTest, testing::ValuesIn(kScenarios),
                         ScenarioName);
INSTANTIATE_TEST_SUITE_P(Scenarios, UkavlenBridgeExeRunTest,
                         testing::ValuesIn(ExeRows(kScenarios, "KAVLEN_BRIDGE_EXE")), ScenarioName);
INSTANTIATE_TEST_SUITE_P(Scenarios, UkavlenExeRunTest, testing::ValuesIn(ExeRows(kScenarios)),
                         ScenarioName);

}  // namespace
}  // namespace kavlen::test
