// The long-option features of the real ukavlen against real kavlen-sim
// processes: HEX and S-record images made by objcopy from a real binary,
// --list, --device, --read and --watch. Each case in its own device root.
// The objcopy and --read tables run for ukavlen.exe under wine too.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/image_records.h"
#include "device/str_printf.h"
#include "tests/console/console_program.h"
#include "tests/console/console_texts.h"
#include "tests/support/process_helpers.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {
namespace {

namespace fs = std::filesystem;

const std::string kOsRunning =
    "Device Info: Kavlen II Ver: 01.02 \n"
    "Device OS CheckSUM=0x1A2B, Support ROM Size=   4 MBytes \nDevice OS is already!\n";

std::string Dots(const std::string& word, int blocks) {
  return word + std::string(static_cast<std::size_t>(blocks), '.') + "Done ! \n";
}

// Head and tail command codes in the order sent, with the block count of
// CMD_DOWNLOAD and CMD_UPLOAD.
std::string Commands(const std::vector<std::string>& log) {
  std::string trace;
  for (const std::string& line : log) {
    const std::string ioctl = SimLogField(line, "ioctl");
    const std::string in = SimLogField(line, "in");
    std::string code;
    if (ioctl == "HEAD_SEND") code = in.substr(0, 2);
    if (ioctl == "TAIL_SEND") {
      code = in.substr(112, 2);
      if (code == "36" || code == "37") {
        code += ":" + std::to_string(std::stoi(in.substr(120, 2), nullptr, 16) +
                                     256 * std::stoi(in.substr(122, 2), nullptr, 16));
      }
    }
    if (!code.empty()) trace += (trace.empty() ? "" : " ") + code;
  }
  return trace;
}

int Opens(const std::vector<std::string>& log) {
  int opens = 0;
  for (const std::string& line : log) opens += line.find("\"op\":\"open\"") != std::string::npos;
  return opens;
}

std::vector<std::uint8_t> RealBinary(std::size_t size) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(UKAVLEN_PATH);
  bytes.resize(size);
  return bytes;
}

std::string Sum(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t sum = 0;
  for (const std::uint8_t b : bytes) sum += b;
  return StrPrintf("0x%X", sum);
}

struct ObjcopyCase {
  const char* name;
  std::vector<std::string> objcopy;  // output options
  const char* file;
  std::vector<std::string> args;     // after -d FILE
  const char* baseLine;
};

void PrintTo(const ObjcopyCase& c, std::ostream* os) { *os << c.name; }

// 200,000 bytes of a real program, written by GNU objcopy, download and
// verify to exactly those bytes; the rest of the 256 KB is fill.
void RunObjcopyCase(const ObjcopyCase& c, const ConsoleProgram& program) {
  TempDir root;
  const std::vector<std::uint8_t> original = RealBinary(200000);
  const std::string bin = root.Write("real.bin", original);
  const std::string image = root.path() + "/" + c.file;
  std::vector<std::string> objcopy = {"-I", "binary"};
  objcopy.insert(objcopy.end(), c.objcopy.begin(), c.objcopy.end());
  objcopy.insert(objcopy.end(), {bin, image});
  ASSERT_EQ(RunProgram("/usr/bin/objcopy", objcopy, root.path()).status, 0);

  const std::string dump = root.path() + "/dump.bin";
  SimProcess sim(root.path(),
                 program.SimArgs({"--state", "os", "--os-checksum", "0x1A2B", "--dump", dump}));
  ASSERT_TRUE(sim.ready()) << sim.output();
  std::vector<std::string> args = {"-d", program.Path(image)};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const RunResult run = program.Run(program.binary, args, root.path());
  sim.Stop(SIGTERM);

  EXPECT_EQ(run.out, kUkavlenBanner + kOsRunning + " \nFileName = " + program.Path(image) + " \n Binary File size = 200000 Bytes, CheckSum = " +
                         Sum(original) + "\n" + c.baseLine + "Load Binary File is OK! ...\n" +
                         Dots("Download", 16) + Dots("Verify .", 16) + "Verify OK !!\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Commands(sim.LogLines()), "48 51 37:16 35 36:16 81 62 61");
  std::vector<std::uint8_t> want = original;
  want.resize(0x40000, 0x00);
  EXPECT_TRUE(ReadFileBytes(dump) == want);
}

class ObjcopyImageTest : public testing::TestWithParam<ObjcopyCase> {};
TEST_P(ObjcopyImageTest, LoadsToTheOriginalBytes) { RunObjcopyCase(GetParam(), ConsoleProgram::Native()); }

class UkavlenExeObjcopyImageTest : public testing::TestWithParam<ObjcopyCase> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenExeObjcopyImageTest);
TEST_P(UkavlenExeObjcopyImageTest, LoadsToTheOriginalBytes) {
  RunObjcopyCase(GetParam(), ConsoleProgram::Exe());
}

const ObjcopyCase kObjcopyCases[] = {
        ObjcopyCase{"HexAtC0000", {"-O", "ihex", "--change-addresses", "0xC0000"}, "rom.hex", {"-v"},
                    "Base Address = 0xC0000 (lowest address rounded down to the ROM size)\n"},
        ObjcopyCase{"SrecordAt0", {"-O", "srec"}, "rom.S19", {"-v"},
                    "Base Address = 0x0 (lowest address rounded down to the ROM size)\n"},
        ObjcopyCase{"SrecordByFormatWithBase", {"-O", "srec", "--change-addresses", "0xFFF00000"},
                    "rom.img", {"-v", "--format", "srec", "--base", "0xFFF00000"}, ""},
};
auto ObjcopyName = [](const testing::TestParamInfo<ObjcopyCase>& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Objcopy, ObjcopyImageTest, testing::ValuesIn(kObjcopyCases), ObjcopyName);
INSTANTIATE_TEST_SUITE_P(Objcopy, UkavlenExeObjcopyImageTest,
                         testing::ValuesIn(ExeRows(kObjcopyCases)), ObjcopyName);

TEST(UkavlenRecordsTest, MalformedFileIsRefusedBeforeAnyTransfer) {
  TempDir root;
  const std::string text = ":0100000001FE\n:0100010002FD\n:00000001FF\n";
  const std::string image = root.Write("bad.hex", {text.begin(), text.end()});
  SimProcess sim(root.path(), {"--state", "os", "--os-checksum", "0x1A2B"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const RunResult run = RunProgram(UKAVLEN_PATH, {"-d", image, "-v"}, root.path());
  sim.Stop(SIGTERM);
  EXPECT_EQ(run.out, kUkavlenBanner + kOsRunning + " \nFileName = " + image + " \n " + image +
                         ":2: bad checksum 0xFD, expected 0xFC\n"
                         "Load Binary File is Fail, Program terminated !\n");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Commands(sim.LogLines()), "48 51");
}

// Two emulators: the first runs its device OS, the second only its boot code.
class TwoEmulators : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(first_.ready() && second_.ready());
  }
  std::string Line(int n, const SimProcess& sim, const std::string& state) {
    return std::to_string(n) + ": " + sim.socketPath() + ": " + state + "\n";
  }
  TempDir root_;
  SimProcess first_{root_.path(), {"--state", "os", "--os-checksum", "0x1A2B", "--capacity-mask", "7"}, "emu0"};
  SimProcess second_{root_.path(), {"--version", "0x21"}, "emu1"};
};

TEST_F(TwoEmulators, ListNamesEachInEnumerationOrder) {
  const RunResult run = RunProgram(UKAVLEN_PATH, {"--list"}, root_.path());
  EXPECT_EQ(run.out, kUkavlenBanner +
                         Line(1, first_, "Kavlen II Ver: 1.2, device OS running, OS checksum 0x1A2B, capacity 512 KBytes") +
                         Line(2, second_, "Kavlen II Ver: 2.1, boot code only (device OS not loaded)"));
  EXPECT_EQ(run.status, 0);
  first_.Stop(SIGTERM);
  second_.Stop(SIGTERM);
  EXPECT_EQ(Commands(first_.LogLines()), "48 51");
  EXPECT_EQ(Commands(second_.LogLines()), "48");
  EXPECT_EQ(DisciplineViolations(first_.LogLines()), std::vector<std::string>{});
}

TEST_F(TwoEmulators, DeviceNumberReachesThatEmulatorAlone) {
  const std::string image = root_.Write("rom.bin", RealBinary(100));
  const RunResult run = RunProgram(UKAVLEN_PATH, {"--device", "1", "-d", image}, root_.path());
  EXPECT_EQ(run.status, 0) << run.out;
  const RunResult none = RunProgram(UKAVLEN_PATH, {"-u", "--device", "3"}, root_.path());
  EXPECT_EQ(none.out, kUkavlenBanner + "There is no emulator number 3: 2 attached (see --list) !!\n");
  EXPECT_EQ(none.status, 1);
  first_.Stop(SIGTERM);
  second_.Stop(SIGTERM);
  EXPECT_EQ(Commands(first_.LogLines()), "48 51 37:4 35 62 61");
  EXPECT_EQ(Opens(second_.LogLines()), 0);
}

TEST(UkavlenListTest, NoEmulatorIsStatusOne) {
  TempDir root;
  const RunResult run = RunProgram(UKAVLEN_PATH, {"--list"}, root.path());
  EXPECT_EQ(run.out, kUkavlenBanner + "USB Device not Attached !! \n");
  EXPECT_EQ(run.status, 1);
}

struct ReadCase {
  const char* name;
  std::vector<std::string> sim;
  const char* file;
  std::vector<std::string> more;
  int status;
  std::string tail;  // output after the device identification
  std::string commands;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

// A fresh simulated emulator holds 0xCC everywhere; its 64 KB come back whole.
void RunReadCase(const ReadCase& c, const ConsoleProgram& program) {
  TempDir root;
  std::vector<std::string> simArgs = {"--state", "os", "--os-checksum", "0x1A2B", "--capacity-mask", "0"};
  simArgs.insert(simArgs.end(), c.sim.begin(), c.sim.end());
  SimProcess sim(root.path(), program.SimArgs(simArgs));
  ASSERT_TRUE(sim.ready()) << sim.output();
  const std::string file = root.path() + "/" + c.file;
  std::vector<std::string> args = {"--read", program.Path(file)};
  args.insert(args.end(), c.more.begin(), c.more.end());
  const RunResult run = program.Run(program.binary, args, root.path());
  sim.Stop(SIGTERM);

  std::string tail = c.tail;
  ReplaceAll(tail, "{sock}", program.Path(sim.socketPath()));
  EXPECT_EQ(run.out, kUkavlenBanner +
                         "Device Info: Kavlen II Ver: 01.02 \n"
                         "Device OS CheckSUM=0x1A2B, Support ROM Size=  64 KBytes \n"
                         "Device OS is already!\n \nRead Back FileName = " + program.Path(file) + " \n" + tail);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(Commands(sim.LogLines()), c.commands);
  EXPECT_FALSE(fs::exists(file + ".part"));
  if (c.status != 0) {
    EXPECT_FALSE(fs::exists(file));
    return;
  }
  const std::vector<std::uint8_t> bytes = ReadFileBytes(file);
  const std::string text(bytes.begin(), bytes.end());
  const ImageFormat format = c.more.empty() ? ImageFormatOfPath(file) : ImageFormat::IntelHex;
  if (format == ImageFormat::Binary) {
    EXPECT_TRUE(bytes == std::vector<std::uint8_t>(0x10000, 0xCC));
    return;
  }
  const ParsedRecords parsed = format == ImageFormat::IntelHex ? ParseIntelHex(text) : ParseSrecord(text);
  ASSERT_FALSE(parsed.error);
  EXPECT_EQ(parsed.data.records.front().address, c.more.empty() ? 0u : 0xF0000u);
  EXPECT_TRUE(parsed.data.bytes == std::vector<std::uint8_t>(0x10000, 0xCC));
}

class UkavlenReadTest : public testing::TestWithParam<ReadCase> {};
TEST_P(UkavlenReadTest, FileHoldsTheMemoryOrIsNotThere) { RunReadCase(GetParam(), ConsoleProgram::Native()); }

class UkavlenExeReadTest : public testing::TestWithParam<ReadCase> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenExeReadTest);
TEST_P(UkavlenExeReadTest, FileHoldsTheMemoryOrIsNotThere) {
  RunReadCase(GetParam(), ConsoleProgram::Exe());
}

const std::string kReadOk = Dots("Read", 4) + "Read File size = 65536 Bytes, CheckSum = 0xCC0000\n";

const ReadCase kReadCases[] = {
        ReadCase{"Binary", {}, "back.bin", {}, 0, kReadOk, "48 51 36:4"},
        ReadCase{"SrecordByExtension", {}, "back.mot", {}, 0, kReadOk, "48 51 36:4"},
        ReadCase{"HexByFormatAtABase", {}, "back.txt", {"--format", "ihex", "--base", "0xF0000"}, 0,
                 kReadOk, "48 51 36:4"},
        ReadCase{"FailedBlockLeavesNoFile", {"--fail-read-block", "2"}, "back.bin", {}, 3,
                 "Read..\nRead Block 2 Fail! ...\n", "48 51 36:4"},
        ReadCase{"NoInPipe", {"--no-pipe", "PIPE00"}, "back.bin", {}, 3,
                 "Failed to open ({sock}\\PIPE00) = 2\nOpen In Read Pipe Error... Fail!\n", "48 51 36:4"},
        ReadCase{"FolderMissing", {}, "no/such/back.bin", {}, 1,
                 "Open Output file Fail! ...\nPlease Check the Path ...\n", "48 51"},
};
auto ReadName = [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(Read, UkavlenReadTest, testing::ValuesIn(kReadCases), ReadName);
INSTANTIATE_TEST_SUITE_P(Read, UkavlenExeReadTest, testing::ValuesIn(ExeRows(kReadCases)), ReadName);

// ukavlen --watch in the background, its output into a file.
class WatchProcess {
 public:
  WatchProcess(const std::string& root, const std::vector<std::string>& args)
      : outPath_(root + "/watch.out") {
    pid_ = fork();
    if (pid_ == 0) {
      const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      setenv("KAVLEN_DEVICE_DIR", root.c_str(), 1);
      std::vector<char*> argv = {const_cast<char*>(UKAVLEN_PATH)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(UKAVLEN_PATH, argv.data());
      _exit(127);
    }
  }
  ~WatchProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::string Output() const {
    std::ifstream in(outPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Waits up to 20 s until the output holds `count` result lines.
  bool WaitForResults(int count) const {
    for (int i = 0; i < 200; ++i) {
      int found = 0;
      for (std::size_t at = Output().find("waiting for"); at != std::string::npos;
           at = Output().find("waiting for", at + 1)) {
        ++found;
      }
      if (found >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  int Interrupt() {
    kill(pid_, SIGINT);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  std::string outPath_;
  pid_t pid_ = -1;
};

TEST(UkavlenWatchTest, ChangedFileIsSentAgainUntilCtrlC) {
  TempDir root;
  const std::string dump = root.path() + "/dump.bin";
  SimProcess sim(root.path(), {"--state", "os", "--os-checksum", "0x1A2B", "--dump", dump});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const std::string image = root.Write("rom.bin", std::vector<std::uint8_t>(100, 0x11));
  WatchProcess watch(root.path(), {"-d", image, "--watch"});
  ASSERT_TRUE(watch.WaitForResults(1)) << watch.Output();
  // a missing file fails the run but not the watch
  fs::remove(image);
  std::ofstream(image) << "";
  ASSERT_TRUE(watch.WaitForResults(2)) << watch.Output();
  root.Write("rom.bin", std::vector<std::uint8_t>(200, 0x22));
  ASSERT_TRUE(watch.WaitForResults(3)) << watch.Output();
  EXPECT_EQ(watch.Interrupt(), 0);
  sim.Stop(SIGTERM);

  const std::string out = watch.Output();
  const std::string waiting = ": exit status %d; waiting for " + image + " to change, Ctrl-C ends\n";
  EXPECT_NE(out.find("] done" + StrPrintf(waiting.c_str(), 0)), std::string::npos) << out;
  EXPECT_NE(out.find("The Binary File is empty... Fail\nLoad Binary File is Fail, Program terminated !\n[")
            , std::string::npos) << out;
  EXPECT_NE(out.find("] download failed" + StrPrintf(waiting.c_str(), 2)), std::string::npos) << out;
  EXPECT_EQ(Commands(sim.LogLines()), "48 51 37:4 35 62 61 48 51 48 51 37:4 35 62 61");
  std::vector<std::uint8_t> want(200, 0x22);
  want.resize(0x10000, 0x00);
  EXPECT_TRUE(ReadFileBytes(dump) == want);
}

}  // namespace
}  // namespace kavlen::test
