// The long-option features of the real ukavlen against real kavlen-sim
// processes: HEX and S-record images made by objcopy from a real binary,
// --list, --device, --read and --watch. Each case in its own device root.
// The objcopy and --read tables run for ukavlen.exe under wine too.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/image_records.h"
#include "device/str_printf.h"
#include "platform/device_lock.h"
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

// A HEX or S-record file of a few records against an emulator of 128 KB
// (mask 1) or 4 MB (mask 63), run with -v: what is printed after the file
// name, and the bytes the dump holds apart from its 0x00 fill.
struct RecordFileCase {
  const char* name;
  const char* file;
  std::string text;
  const char* capacityMask;
  int status;
  std::string tail;
  std::string commands;
  std::size_t dumpSize = 0;  // 0: nothing was downloaded
  std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> bytes = {};
};

void PrintTo(const RecordFileCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::uint8_t> Counting(std::uint8_t from, std::uint8_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::uint8_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(from + i);
  return bytes;
}

const std::string kStraddle =
    ":020000040001F9\n:10FFF000000102030405060708090A0B0C0D0E0F89\n:020000040002F8\n"
    ":10000000101112131415161718191A1B1C1D1E1F78\n:00000001FF\n";
const std::string kSixteenAtFFF8 = ":10FFF800000102030405060708090A0B0C0D0E0F81\n";
const std::string kLoadFail = "Load Binary File is Fail, Program terminated !\n";

const RecordFileCase kRecordFileCases[] = {
    {"MalformedIsRefusedBeforeAnyTransfer", "bad.hex", ":0100000001FE\n:0100010002FD\n:00000001FF\n",
     "63", 2, "{image}:2: bad checksum 0xFD, expected 0xFC\n" + kLoadFail, "48 51"},
    // the segment's offset wraps: bytes 8..15 at the segment's start
    {"SegmentOffsetWraps", "seg.hex", ":02000002F0000C\n" + kSixteenAtFFF8 + ":00000001FF\n", "63", 0,
     "Binary File size = 65536 Bytes, CheckSum = 0x78\n"
     "Base Address = 0xF0000 (lowest address rounded down to the ROM size)\n"
     "Load Binary File is OK! ...\n" + Dots("Download", 4) + Dots("Verify .", 4) + "Verify OK !!\n",
     "48 51 37:4 35 36:4 81 62 61", 0x10000, {{0x0, Counting(8, 8)}, {0xFFF8, Counting(0, 8)}}},
    // 0x1FFF0..0x2000F: only a 256 KB ROM at 0 holds both halves
    {"StraddleOf128KIsA256KImageAt0", "straddle.hex", kStraddle, "63", 0,
     "Binary File size = 131088 Bytes, CheckSum = 0x1F0\n"
     "Base Address = 0x0 (lowest address rounded down to the ROM size)\n"
     "Load Binary File is OK! ...\n" + Dots("Download", 16) + Dots("Verify .", 16) + "Verify OK !!\n",
     "48 51 37:16 35 36:16 81 62 61", 0x40000, {{0x1FFF0, Counting(0, 32)}}},
    {"StraddleOf128KIsRefusedBy128K", "straddle.hex", kStraddle, "1", 2,
     "{image}:4: address 0x20000 past the supported capacity of 128 KBytes\n" + kLoadFail, "48 51"},
    {"HexPast4GB", "top.hex", ":02000004FFFFFC\n" + kSixteenAtFFF8 + ":00000001FF\n", "1", 2,
     "{image}:2: record runs past 0xFFFFFFFF\n" + kLoadFail, "48 51"},
    {"S3Past4GB", "top.s37", "S315FFFFFFF8000102030405060708090A0B0C0D0E0F7D\nS70500000000FA\n", "1", 2,
     "{image}:1: record runs past 0xFFFFFFFF\n" + kLoadFail, "48 51"},
};

class UkavlenRecordFileTest : public testing::TestWithParam<RecordFileCase> {};

TEST_P(UkavlenRecordFileTest, OutputAndDump) {
  const RecordFileCase& c = GetParam();
  TempDir root;
  const std::string image = root.Write(c.file, {c.text.begin(), c.text.end()});
  const std::string dump = root.path() + "/dump.bin";
  SimProcess sim(root.path(), {"--state", "os", "--os-checksum", "0x1A2B", "--capacity-mask",
                               c.capacityMask, "--dump", dump});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const RunResult run = RunProgram(UKAVLEN_PATH, {"-d", image, "-v"}, root.path());
  sim.Stop(SIGTERM);
  std::string tail = c.tail;
  ReplaceAll(tail, "{image}", image);
  const std::string capacity = std::string(c.capacityMask) == "1" ? " 128 KBytes" : "   4 MBytes";
  EXPECT_EQ(run.out, kUkavlenBanner + "Device Info: Kavlen II Ver: 01.02 \n"
                         "Device OS CheckSUM=0x1A2B, Support ROM Size=" + capacity +
                         " \nDevice OS is already!\n \nFileName = " + image + " \n " + tail);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(Commands(sim.LogLines()), c.commands);
  if (c.dumpSize == 0) {
    EXPECT_FALSE(fs::exists(dump));
    return;
  }
  std::vector<std::uint8_t> want(c.dumpSize, 0x00);
  for (const auto& [offset, bytes] : c.bytes) std::copy(bytes.begin(), bytes.end(), want.begin() + offset);
  EXPECT_TRUE(ReadFileBytes(dump) == want);
}

INSTANTIATE_TEST_SUITE_P(Records, UkavlenRecordFileTest, testing::ValuesIn(kRecordFileCases),
                         [](const testing::TestParamInfo<RecordFileCase>& info) { return info.param.name; });

// Two emulators: the first runs its device OS, the second only its boot code.
class TwoEmulators {
 public:
  explicit TwoEmulators(const ConsoleProgram& program)
      : program_(program),
        first_(root_.path(),
               program.SimArgs({"--state", "os", "--os-checksum", "0x1A2B", "--capacity-mask", "7"}),
               "emu0"),
        second_(root_.path(), program.SimArgs({"--version", "0x21"}), "emu1"),
        firstDevice_(program.Plug(first_)),
        secondDevice_(program.Plug(second_)) {}
  bool ready() const { return first_.ready() && second_.ready(); }
  RunResult Run(const std::vector<std::string>& args) {
    return program_.Run(program_.binary, args, root_.path());
  }
  // Each simulator's log once both have stopped; {dev1} and {dev2} in text
  // become the two emulators' names.
  std::pair<std::vector<std::string>, std::vector<std::string>> StopAndLog() {
    first_.Stop(SIGTERM);
    second_.Stop(SIGTERM);
    return {first_.LogLines(), second_.LogLines()};
  }
  std::string Names(std::string text) const {
    ReplaceAll(text, "{dev1}", firstDevice_.name);
    ReplaceAll(text, "{dev2}", secondDevice_.name);
    return text;
  }

 private:
  const ConsoleProgram program_;
  TempDir root_;
  SimProcess first_;
  SimProcess second_;
  PluggedDevice firstDevice_;
  PluggedDevice secondDevice_;
};

struct TwoEmulatorCase {
  const char* name;
  std::vector<std::string> args;
  std::string out;  // after the banner
  int status;
  std::string firstCommands, secondCommands;
  int firstOpens, secondOpens;
};

void PrintTo(const TwoEmulatorCase& c, std::ostream* os) { *os << c.name; }

void RunTwoEmulatorCase(const TwoEmulatorCase& c, const ConsoleProgram& program) {
  TwoEmulators emulators(program);
  ASSERT_TRUE(emulators.ready());
  const RunResult run = emulators.Run(c.args);
  EXPECT_EQ(run.out, kUkavlenBanner + emulators.Names(c.out));
  EXPECT_EQ(run.status, c.status);
  const auto [first, second] = emulators.StopAndLog();
  EXPECT_EQ(Commands(first), c.firstCommands);
  EXPECT_EQ(Commands(second), c.secondCommands);
  EXPECT_EQ(Opens(first), c.firstOpens);
  EXPECT_EQ(Opens(second), c.secondOpens);
  EXPECT_EQ(DisciplineViolations(first), std::vector<std::string>{});
}

const TwoEmulatorCase kTwoEmulatorCases[] = {
    {"ListNamesEachInEnumerationOrder", {"--list"},
     "1: {dev1}: Kavlen II Ver: 1.2, device OS running, OS checksum 0x1A2B, capacity 512 KBytes\n"
     "2: {dev2}: Kavlen II Ver: 2.1, boot code only (device OS not loaded)\n",
     0, "48 51", "48", 1, 1},
    // the last one enumerated; the first is opened and closed again on the way
    {"StatusUsesTheLastOne", {"-u"}, "USB Device attached ...\n", 1, "", "", 1, 1},
    {"DeviceNumberReachesThatEmulatorAlone", {"-u", "--device", "1"}, "USB Device attached ...\n",
     1, "", "", 1, 0},
    {"NoSuchDeviceNumber", {"-u", "--device", "3"},
     "There is no emulator number 3: 2 attached (see --list) !!\n", 1, "", "", 0, 0},
};

class UkavlenTwoEmulatorTest : public testing::TestWithParam<TwoEmulatorCase> {};
TEST_P(UkavlenTwoEmulatorTest, EachReachedAsAsked) {
  RunTwoEmulatorCase(GetParam(), ConsoleProgram::Native());
}

class UkavlenExeTwoEmulatorTest : public testing::TestWithParam<TwoEmulatorCase> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenExeTwoEmulatorTest);
TEST_P(UkavlenExeTwoEmulatorTest, EachReachedAsAsked) {
  RunTwoEmulatorCase(GetParam(), ConsoleProgram::Exe());
}

auto TwoEmulatorName = [](const testing::TestParamInfo<TwoEmulatorCase>& info) {
  return info.param.name;
};
INSTANTIATE_TEST_SUITE_P(TwoEmulators, UkavlenTwoEmulatorTest, testing::ValuesIn(kTwoEmulatorCases),
                         TwoEmulatorName);
INSTANTIATE_TEST_SUITE_P(TwoEmulators, UkavlenExeTwoEmulatorTest,
                         testing::ValuesIn(ExeRows(kTwoEmulatorCases)), TwoEmulatorName);

// A download to emulator 1 of two reaches it alone.
TEST(UkavlenDeviceTest, DownloadGoesToTheEmulatorNamed) {
  TwoEmulators emulators(ConsoleProgram::Native());
  ASSERT_TRUE(emulators.ready());
  TempDir files;
  const std::string image = files.Write("rom.bin", RealBinary(100));
  const RunResult run = emulators.Run({"--device", "1", "-d", image});
  EXPECT_EQ(run.status, 0) << run.out;
  const auto [first, second] = emulators.StopAndLog();
  EXPECT_EQ(Commands(first), "48 51 37:4 35 62 61");
  EXPECT_EQ(Opens(second), 0);
}

TEST(UkavlenListTest, NoEmulatorIsStatusOne) {
  TempDir root;
  const RunResult run = RunProgram(UKAVLEN_PATH, {"--list"}, root.path());
  EXPECT_EQ(run.out, kUkavlenBanner + "USB Device not Attached !! \n");
  EXPECT_EQ(run.status, 1);
}

const std::string kOsRunning64K =
    "Device Info: Kavlen II Ver: 01.02 \n"
    "Device OS CheckSUM=0x1A2B, Support ROM Size=  64 KBytes \nDevice OS is already!\n";

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
  const PluggedDevice device = program.Plug(sim);
  const std::string file = root.path() + "/" + c.file;
  std::vector<std::string> args = {"--read", program.Path(file)};
  args.insert(args.end(), c.more.begin(), c.more.end());
  const RunResult run = program.Run(program.binary, args, root.path());
  sim.Stop(SIGTERM);

  std::string tail = c.tail;
  ReplaceAll(tail, "{sock}", device.name);
  EXPECT_EQ(run.out,
            kUkavlenBanner + kOsRunning64K + " \nRead Back FileName = " + program.Path(file) + " \n" + tail);
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

// What stood under the name before a read stays what it was: a device or a
// FIFO is written to, a link keeps naming its file, which keeps its mode and
// its other name, and a file of the user's named like a temporary one is
// left alone.
TEST(UkavlenReadIntoTest, KeepsWhatTheNameStoodFor) {
  const std::vector<std::uint8_t> memory(0x10000, 0xCC);
  struct IntoCase {
    const char* name;
    std::function<void(const std::string& dir)> make;
    int status;
    std::string tail;
    std::function<void(const std::string& dir)> check;
  };
  int reader = -1;  // the FIFO's, open before the run so that the run need not wait for one
  const IntoCase cases[] = {
      {"device", [](const std::string& dir) { fs::create_symlink("/dev/full", dir + "/back.bin"); }, 3,
       Dots("Read", 4) + "Write Output file Fail! ...\n",
       [](const std::string& dir) { EXPECT_EQ(fs::read_symlink(dir + "/back.bin"), "/dev/full"); }},
      {"fifo",
       [&](const std::string& dir) {
         ASSERT_EQ(mkfifo((dir + "/back.bin").c_str(), 0600), 0);
         reader = open((dir + "/back.bin").c_str(), O_RDONLY | O_NONBLOCK);
         ASSERT_GE(fcntl(reader, F_SETPIPE_SZ, 0x20000), 0x10000);
       },
       0, kReadOk,
       [&](const std::string& dir) {
         std::vector<std::uint8_t> got(0x20000);
         got.resize(static_cast<std::size_t>(std::max<ssize_t>(read(reader, got.data(), got.size()), 0)));
         close(reader);
         EXPECT_TRUE(got == memory);
         EXPECT_TRUE(fs::is_fifo(dir + "/back.bin"));
       }},
      {"linked file",
       [](const std::string& dir) {
         fs::create_directory(dir + "/sub");
         std::ofstream(dir + "/sub/real.bin") << "old";
         fs::permissions(dir + "/sub/real.bin", fs::perms::owner_read | fs::perms::owner_write);
         fs::create_hard_link(dir + "/sub/real.bin", dir + "/sub/other.bin");
         fs::create_symlink("sub/real.bin", dir + "/back.bin");
         std::ofstream(dir + "/back.bin.part") << "mine";
       },
       0, kReadOk,
       [&](const std::string& dir) {
         EXPECT_EQ(fs::read_symlink(dir + "/back.bin"), "sub/real.bin");
         EXPECT_TRUE(ReadFileBytes(dir + "/sub/other.bin") == memory);
         EXPECT_EQ(fs::hard_link_count(dir + "/sub/real.bin"), 2u);
         EXPECT_EQ(fs::status(dir + "/sub/real.bin").permissions(),
                   fs::perms::owner_read | fs::perms::owner_write);
         EXPECT_TRUE(ReadFileBytes(dir + "/back.bin.part") == std::vector<std::uint8_t>({'m', 'i', 'n', 'e'}));
         EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/sub"), fs::directory_iterator()), 2);
       }},
  };
  for (const IntoCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    SimProcess sim(root.path(), {"--state", "os", "--os-checksum", "0x1A2B", "--capacity-mask", "0"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    c.make(root.path());
    const std::string file = root.path() + "/back.bin";
    const RunResult run = RunProgram(UKAVLEN_PATH, {"--read", file}, root.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, kUkavlenBanner + kOsRunning64K + " \nRead Back FileName = " + file + " \n" + c.tail);
    c.check(root.path());
  }
}

struct DoctorCase {
  const char* name;
  std::vector<std::string> sim;  // empty: no simulator
  bool killed;                   // the simulator dies, leaving its socket
  bool locked;                   // the test holds the emulator
  bool deviceOsFile;
  int status;
  std::string out;  // after the banner; {root}, {prog} and {sock} replaced
};

const std::string kNoOsFile =
    "ok   device OS file: none in {prog}, /usr/share/kavlen, {root}/config/kavlen "
    "(needed only by an emulator in its boot code)\n";
const std::string kSettings = "ok   settings: kavlen reads and writes {prog}/kavlen.ini\n";
const std::string kOneFound = "ok   emulators: 1 found (simulators in {root})\n";
const std::string kNoneFound =
    "FAIL emulators: none found (simulators in {root})\n"
    "     start a simulator (kavlen-sim --state os &) or plug an emulator in\n";

TEST(UkavlenDoctorTest, EachCheckOkOrWhatToDo) {
  const DoctorCase cases[] = {
      {"all ok", {"--state", "os", "--os-checksum", "0x1A2B"}, false, false, false, 0,
       kOneFound + "ok   emulator 1: {sock}: Kavlen II Ver: 1.2, device OS running, OS checksum 0x1A2B, "
                   "capacity 4 MBytes\n" + kNoOsFile + kSettings},
      {"boot code without a device OS file", {"--version", "0x21"}, false, false, false, 1,
       kOneFound + "ok   emulator 1: {sock}: Kavlen II Ver: 2.1, boot code only (device OS not loaded); "
                   "a run loads the device OS first\n"
                   "FAIL device OS file: no TPROMOS.USB in {prog}, /usr/share/kavlen, {root}/config/kavlen\n"
                   "     put the maker's TPROMOS.USB beside ukavlen ({prog}/TPROMOS.USB)\n" + kSettings},
      {"boot code with its device OS file", {"--version", "0x21"}, false, false, true, 0,
       kOneFound + "ok   emulator 1: {sock}: Kavlen II Ver: 2.1, boot code only (device OS not loaded); "
                   "a run loads the device OS first\n"
                   "ok   device OS file: {prog}/TPROMOS.USB (searched in order: {prog}, /usr/share/kavlen, "
                   "{root}/config/kavlen)\n" + kSettings},
      {"no emulator", {}, false, false, false, 1, kNoneFound + kNoOsFile + kSettings},
      {"stale socket", {"--state", "os"}, true, false, false, 1,
       kNoneFound + "FAIL stale simulator {sock}: no simulator answers on it\n"
                    "     remove it, or start kavlen-sim again\n" + kNoOsFile + kSettings},
      {"held by another program", {"--state", "os"}, false, true, false, 1,
       kOneFound + "FAIL emulator 1: {sock}: in use by another program"},
      {"refuses to open", {"--refuse-open"}, false, false, false, 1,
       kOneFound + "FAILED to open {sock}\nFAIL emulator 1: {sock}: cannot be opened\n"
                   "     unplug the emulator and plug it in again (its driver must be installed)\n" +
           kNoOsFile + kSettings},
  };
  for (const DoctorCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    const std::string prog = root.path() + "/program";
    fs::create_directory(prog);
    fs::copy_file(UKAVLEN_PATH, prog + "/ukavlen");
    if (c.deviceOsFile) root.Write("program/TPROMOS.USB", {1, 2, 3});
    std::unique_ptr<SimProcess> sim;
    if (!c.sim.empty()) {
      sim = std::make_unique<SimProcess>(root.path(), c.sim);
      ASSERT_TRUE(sim->ready()) << sim->output();
      if (c.killed) sim->Stop(SIGKILL);
    }
    DeviceLock held;
    if (c.locked) held = DeviceLock::Acquire(sim->socketPath(), std::chrono::milliseconds(0));
    const RunResult run = RunProgram(prog + "/ukavlen", {"--doctor"}, root.path(),
                                     {"XDG_CONFIG_HOME=" + root.path() + "/config"});
    std::string want = kUkavlenBanner + c.out;
    ReplaceAll(want, "{prog}", prog);
    ReplaceAll(want, "{root}", root.path());
    if (sim) ReplaceAll(want, "{sock}", sim->socketPath());
    // the holder's process, where the system tells it, and the lines after it
    EXPECT_EQ(c.locked ? run.out.substr(0, want.size()) : run.out, want);
    EXPECT_EQ(run.status, c.status);
  }
}

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
