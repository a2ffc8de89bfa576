// The long options beside the letters: what each command line settles on and
// prints, and the entry's exit statuses for --help and --version.

#include "console/long_options.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "console/ukavlen.h"
#include "tests/console/console_texts.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/recording_sink.h"

namespace kavlen::console {
namespace {

using test::RecordingSink;

const std::string& kUsage = test::kUkavlenUsage;

struct LongCase {
  const char* name;
  std::vector<std::string> args;
  Job job;
  std::string printed = {};
  LongOptions more = {};
  std::string fileName = {};
};

void PrintTo(const LongCase& c, std::ostream* os) { *os << c.name; }

using enum Job;

class ScanCommandLineTest : public testing::TestWithParam<LongCase> {};

TEST_P(ScanCommandLineTest, SettlesAndPrintsExactly) {
  const LongCase& c = GetParam();
  RecordingSink out;
  const CommandLine line = ScanCommandLine(c.args, out);
  EXPECT_EQ(out.text, c.printed);
  EXPECT_EQ(line.job, c.job);
  if (c.job == Stop) return;
  EXPECT_EQ(line.settings.fileName, c.fileName);
  EXPECT_EQ(line.more.format, c.more.format);
  EXPECT_EQ(line.more.base, c.more.base);
  EXPECT_EQ(line.more.readFile, c.more.readFile);
  EXPECT_EQ(line.more.list, c.more.list);
  EXPECT_EQ(line.more.device, c.more.device);
  EXPECT_EQ(line.more.watch, c.more.watch);
  EXPECT_EQ(line.more.json, c.more.json);
  EXPECT_EQ(line.more.progress, c.more.progress);
  EXPECT_EQ(line.more.remote, c.more.remote);
  EXPECT_EQ(line.more.tokenFile, c.more.tokenFile);
}

LongOptions Device(std::uint32_t n) { LongOptions m; m.device = n; return m; }

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ScanCommandLineTest,
    testing::Values(
        LongCase{"HelpWinsAnywhere", {"-d", "x", "--help"}, Help},
        LongCase{"UnknownLongAloneIsUsage", {"--lsit"}, Stop, kUsage},
        LongCase{"UnknownLongAfterDIsTheClassicComplaint", {"-d", "--lsit"}, Stop,
                 "Miss the download filename ...\n" + kUsage},
        LongCase{"UnknownLongBesideAKnownOne", {"--list", "--bogus"}, Stop, kUsage},
        LongCase{"ShortRIsStillUsage", {"-d", "x", "-r"}, Stop, kUsage},
        LongCase{"List", {"--list"}, List, "", {.list = true}},
        LongCase{"ListWithLettersIsUsage", {"--list", "-v"}, Stop, kUsage},
        LongCase{"ReadWithFormatAndBase", {"--base", "0xF0000", "--read", "r.bin", "--format", "srec"},
                 Read, "", {.format = ImageFormat::Srecord, .base = 0xF0000, .readFile = "r.bin"}},
        LongCase{"ReadBesideDIsUsage", {"--read", "r.bin", "-d", "x"}, Stop, kUsage},
        LongCase{"LongOptionsStandAnywhere", {"--watch", "-d", "rom.hex", "--device", "2", "-v"}, Run,
                 "", {.device = 2, .watch = true}, "rom.hex"},
        LongCase{"StatusOfOneEmulator", {"--device", "2", "-u"}, StatusCheck, "", Device(2)},
        LongCase{"StatusCannotBeWatched", {"-u", "--watch"}, Stop, kUsage},
        LongCase{"DecimalBase", {"--base", "65536", "-d", "x"}, Run, "", {.base = 65536}, "x"},
        LongCase{"WatchWithoutFile", {"--watch", "-f", "1"}, Stop, "No input filename ...\n" + kUsage},
        LongCase{"MissingValue", {"-d", "x", "--base"}, Stop, "Miss the value of --base ...\n" + kUsage},
        LongCase{"OptionForAValue", {"--read", "-v"}, Stop, "Miss the value of --read ...\n" + kUsage},
        LongCase{"UnknownFormat", {"--format", "hex", "-d", "x"}, Stop,
                 "Unknown format hex, use bin, ihex or srec ...\n" + kUsage},
        LongCase{"BaseOver4GB", {"--base", "0x100000000", "-d", "x"}, Stop,
                 "Bad base address 0x100000000 ...\n" + kUsage},
        LongCase{"BaseWithJunk", {"--base", "12k", "-d", "x"}, Stop, "Bad base address 12k ...\n" + kUsage},
        LongCase{"DeviceZero", {"--device", "0", "-u"}, Stop, "Bad device number 0 ...\n" + kUsage},
        LongCase{"JsonBesideAnyJob", {"-u", "--json"}, StatusCheck, "", {.json = true}},
        LongCase{"VerifyOnlyNeedsAFile", {"--verify-only", "-v", "-f", "1"}, Stop, "No input filename ...\n" + kUsage},
        LongCase{"VerifyOnly", {"-d", "x", "--verify-only"}, VerifyOnly, "", {.verifyOnly = true}, "x"},
        LongCase{"DryRunOnceOnly", {"-d", "x", "--dry-run", "--watch"}, Stop, kUsage},
        LongCase{"DryRunOrVerifyOnly", {"-d", "x", "--dry-run", "--verify-only"}, Stop, kUsage},
        LongCase{"DoctorAlone", {"--doctor", "--progress", "bar"}, Doctor, "",
                 {.progress = ProgressMode::Bar, .doctor = true}},
        LongCase{"DoctorWithLettersIsUsage", {"--doctor", "-u"}, Stop, kUsage},
        LongCase{"UnknownProgress", {"--progress", "dots", "-d", "x"}, Stop,
                 "Unknown progress dots, use auto, bar, plain or none ...\n" + kUsage},
        LongCase{"ThroughABridge", {"--remote", "h:7362", "--token-file", "t", "-u"}, StatusCheck, "",
                 {.remote = "h:7362", .tokenFile = "t"}},
        LongCase{"RemoteWithoutItsAddress", {"-u", "--remote"}, Stop,
                 "Miss the value of --remote ...\n" + kUsage}),
    [](const testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });

TEST(UkavlenEntryLongTest, VersionIsOneLineAndHelpEndsWithTheLongOptions) {
  test::FakeDriverApi api;
  RecordingSink version;
  EXPECT_EQ(RunUkavlen({"-v", "--version"}, api, version), 0);
  EXPECT_EQ(version.text.rfind("ukavlen ", 0), 0u);
  EXPECT_EQ(version.text.find('\n'), version.text.size() - 1);

  RecordingSink help;
  EXPECT_EQ(RunUkavlen({"--help"}, api, help), 0);
  RecordingSink longOptions;
  PrintLongOptions(longOptions);
  EXPECT_EQ(help.text, test::kUkavlenBanner + kUsage + longOptions.text);
  EXPECT_EQ(api.getClassDevsCalls, 0);
}

}  // namespace
}  // namespace kavlen::console
