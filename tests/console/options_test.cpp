#include "console/options.h"

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

const std::string& kBanner = test::kUkavlenBanner;
const std::string& kUsage = test::kUkavlenUsage;

const std::string kLongPath = "/roms/" + std::string(300, 'r') + ".bin";

struct ScanCase {
  const char* name;
  std::vector<std::string> args;
  ScanOutcome outcome;
  std::string printed;
  ConsoleSettings settings = {};
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanOptionsTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanOptionsTest, PrintsAndSettlesExactly) {
  const ScanCase& c = GetParam();
  RecordingSink out;
  const ScanResult result = ScanOptions(c.args, out);
  EXPECT_EQ(out.text, c.printed);
  EXPECT_EQ(result.outcome, c.outcome);
  if (c.outcome == ScanOutcome::Run) {
    EXPECT_EQ(result.settings.fileName, c.settings.fileName);
    EXPECT_EQ(result.settings.fillCode, c.settings.fillCode);
    EXPECT_EQ(result.settings.verify, c.settings.verify);
  }
}

using enum ScanOutcome;

INSTANTIATE_TEST_SUITE_P(
    CommandLine, ScanOptionsTest,
    testing::Values(
        ScanCase{"NoArguments", {}, Stop, kUsage},
        ScanCase{"HelpAlone", {"-?"}, Stop, kUsage},
        ScanCase{"DAlone", {"-d"}, Stop, kUsage},
        ScanCase{"VAlone", {"-v"}, Stop, kUsage},
        ScanCase{"UpperUAlone", {"-U"}, Stop, kUsage},
        ScanCase{"WordAlone", {"u"}, Stop, kUsage},
        ScanCase{"UAlone", {"-u"}, StatusCheck, ""},
        ScanCase{"UWithMoreLetters", {"-ux"}, StatusCheck, ""},
        ScanCase{"UAmongOthers", {"-u", "-v"}, Stop, kUsage},
        ScanCase{"FileNameNeedsD", {"-v", "rom.bin"}, Stop, "No input filename ...\n" + kUsage},
        ScanCase{"DLast", {"-v", "-d"}, Stop, "Miss the filename ...\n" + kUsage},
        ScanCase{"DThenOption", {"-d", "-v"}, Stop, "Miss the download filename ...\n" + kUsage},
        ScanCase{"SecondDWins", {"-d", "a.bin", "-d", "b.bin"}, Run, "", {"b.bin", 0, false}},
        ScanCase{"DValueWithBlankStaysWhole", {"-d", "my rom.bin"}, Run, "", {"my rom.bin", 0, false}},
        ScanCase{"DValueLongerThan255", {"-d", kLongPath}, Run, "", {kLongPath, 0, false}},
        ScanCase{"FThenOptionUsesDefault", {"-f", "-v", "-d", "rom.bin"}, Run,
                 "Miss setting, using default ...\n", {"rom.bin", 0, true}},
        ScanCase{"FLastUsesDefault", {"-f", "1", "-d", "rom.bin", "-f"}, Run,
                 "Miss the clear buffer setting, using default ...\n", {"rom.bin", 0, false}},
        ScanCase{"FSeven", {"-f", "7", "-d", "rom.bin"}, Run, "", {"rom.bin", 2, false}},
        ScanCase{"FOne", {"-f", "1", "-d", "rom.bin"}, Run, "", {"rom.bin", 1, false}},
        ScanCase{"FZero", {"-F", "0", "-d", "rom.bin"}, Run, "", {"rom.bin", 0, false}},
        ScanCase{"FWithoutNumberIsZero", {"-f", "x", "-d", "rom.bin"}, Run, "", {"rom.bin", 0, false}},
        ScanCase{"LaterFWins", {"-f", "1", "-f", "0", "-d", "rom.bin"}, Run, "", {"rom.bin", 0, false}},
        ScanCase{"FThenNegativeIsAnOption", {"-f", "-1", "-d", "rom.bin"}, Stop,
                 "Miss setting, using default ...\n" + kUsage},
        ScanCase{"UnknownOptionAfterFile", {"-d", "rom.bin", "-x"}, Stop, kUsage},
        ScanCase{"LoneDash", {"-d", "rom.bin", "-"}, Stop, kUsage},
        ScanCase{"HelpAmongOthers", {"-f", "1", "-d", "rom.bin", "-?"}, Stop, kUsage},
        ScanCase{"UpperCaseLetters", {"-D", "rom.bin", "-V", "-F", "1"}, Run, "", {"rom.bin", 1, true}},
        ScanCase{"OnlyTwoCharactersCount", {"-verify", "-dfile", "rom.bin"}, Run, "",
                 {"rom.bin", 0, true}},
        ScanCase{"EmptyFileName", {"-d", "", "-v"}, Stop, "No input filename ...\n" + kUsage}),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(FillCodeTest, ReadsTheDecimalNumberAtTheStart) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"0", 0}, {"1", 1}, {"2", 2}, {"7", 2}, {"01", 1}, {"1x", 1}, {" 1", 1}, {"+1", 1},
      {"x", 0}, {"", 0},  {"+", 0}, {"99999999999999999999999", 2}, {"-0", 0}};
  for (const auto& [value, code] : cases) EXPECT_EQ(FillCodeOf(value), code) << value;
}

struct EntryCase {
  const char* name;
  std::vector<std::string> args;
  std::string printed;
  bool touchesDevice;
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class UkavlenEntryTest : public testing::TestWithParam<EntryCase> {};

TEST_P(UkavlenEntryTest, BannerFirstThenStatusOne) {
  const EntryCase& c = GetParam();
  test::FakeDriverApi api;
  RecordingSink out;
  EXPECT_EQ(RunUkavlen(c.args, api, out), 1);
  EXPECT_EQ(out.text, kBanner + c.printed);
  // once to find the emulator to hold, once to open it
  EXPECT_EQ(api.getClassDevsCalls, c.touchesDevice ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Entry, UkavlenEntryTest,
    testing::Values(EntryCase{"NoArguments", {}, kUsage, false},
                    EntryCase{"StatusWithoutDevice", {"-u"}, "USB Device not Attached !! \n", true},
                    EntryCase{"UnknownOptionLeavesDeviceAlone", {"-d", "rom.bin", "-x"}, kUsage, false},
                    EntryCase{"MissingFileName", {"-f", "1"}, "No input filename ...\n" + kUsage, false}),
    [](const testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavlen::console
