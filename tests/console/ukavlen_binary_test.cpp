// The real ukavlen program against real kavlen-sim processes, each case in
// its own device root so that tests can run in parallel; natively and, for
// the Windows program, under wine (see console_program.h).

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/console/console_program.h"
#include "tests/console/console_texts.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

struct BinaryCase {
  const char* name;
  bool attached;              // false: no simulator at all
  std::vector<std::string> sim;
  bool killed;                // the simulator dies before the run, leaving its socket
  bool stopped;               // the simulator is stopped (SIGSTOP) before the run
  bool healthyAfter;          // a working simulator is enumerated after it
  std::vector<std::string> args;
  std::string out;            // after the banner; "{sock}" is the simulator's socket
  std::vector<std::string> log;
  // Through the stand-in driver, where it differs: wine cannot make the
  // open fail, so the refusal shows only in the simulator's log.
  const char* driverOut = nullptr;
};

void PrintTo(const BinaryCase& c, std::ostream* os) { *os << c.name; }

const BinaryCase kCases[] = {
    {"StatusWithoutDevice", false, {}, false, false, false, {"-u"}, "USB Device not Attached !! \n", {}},
    {"StatusWithDeviceOpensAndClosesOnce", true, {}, false, false, false, {"-u"},
     "USB Device attached ...\n",
     {R"({"op":"open","target":"interface","ok":true})", R"({"op":"close","target":"interface"})"}},
    {"StatusWithRefusedOpen", true, {"--refuse-open"}, false, false, false, {"-u"},
     "FAILED to open {sock}\nUSB Device not Attached !! \n",
     {R"({"op":"open","target":"interface","ok":false})"}, "USB Device attached ...\n"},
    {"SocketOfADeadSimulatorIsNoDevice", true, {}, true, false, false, {"-u"},
     "USB Device not Attached !! \n", {}},
    // the open gives up after KAVLEN_TIMEOUT_MS instead of hanging
    {"StoppedSimulatorIsNoDevice", true, {}, false, true, false, {"-u"},
     "FAILED to open {sock}\nUSB Device not Attached !! \n", {}},
    {"StoppedSimulatorDoesNotHideAHealthyOne", true, {}, false, true, true, {"-u"},
     "FAILED to open {sock}\nUSB Device attached ...\n", {}},
    {"MalformedCommandLineNeverReachesTheDevice", true, {}, false, false, false, {"-u", "-v"},
     kUkavlenUsage, {}},
};

void RunCase(const BinaryCase& c, const ConsoleProgram& program) {
  TempDir root;
  std::unique_ptr<SimProcess> sim;
  if (c.attached) {
    sim = std::make_unique<SimProcess>(root.path(), program.SimArgs(c.sim));
    ASSERT_TRUE(sim->ready()) << sim->output();
    if (c.killed) sim->Stop(SIGKILL);
    if (c.stopped) kill(sim->pid(), SIGSTOP);
  }
  const PluggedDevice device = sim ? program.Plug(*sim) : PluggedDevice();
  std::unique_ptr<SimProcess> healthy;
  PluggedDevice healthyDevice;
  if (c.healthyAfter) {
    healthy = std::make_unique<SimProcess>(root.path(), program.SimArgs({}), "emu1");
    ASSERT_TRUE(healthy->ready()) << healthy->output();
    healthyDevice = program.Plug(*healthy);
  }
  const RunResult run =
      program.Run(program.binary, c.args, root.path(), {"KAVLEN_TIMEOUT_MS=300"});
  std::string expected =
      kUkavlenBanner + (program.throughDriver() && c.driverOut != nullptr ? c.driverOut : c.out);
  ReplaceAll(expected, "{sock}", device.name);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
  if (sim && !c.killed && !c.stopped) {
    sim->Stop(SIGTERM);
    EXPECT_EQ(sim->LogLines(), c.log);
  }
}

class UkavlenBinaryTest : public testing::TestWithParam<BinaryCase> {};
TEST_P(UkavlenBinaryTest, OutputStatusAndWhatReachedTheDevice) {
  RunCase(GetParam(), ConsoleProgram::Native());
}

class UkavlenExeBinaryTest : public testing::TestWithParam<BinaryCase> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(UkavlenExeBinaryTest);
TEST_P(UkavlenExeBinaryTest, OutputStatusAndWhatReachedTheDevice) {
  RunCase(GetParam(), ConsoleProgram::Exe());
}

std::string CaseName(const testing::TestParamInfo<BinaryCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Status, UkavlenBinaryTest, testing::ValuesIn(kCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Status, UkavlenExeBinaryTest, testing::ValuesIn(ExeRows(kCases)), CaseName);

}  // namespace
}  // namespace kavlen::test
