// The real ukavlen program against real kavlen-sim processes, each case in
// its own device root so that tests can run in parallel.

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/console/console_texts.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

struct BinaryCase {
  const char* name;
  bool attached;              // false: no simulator at all
  std::vector<std::string> sim;
  bool killed;                // the simulator dies before the run, leaving its socket
  std::vector<std::string> args;
  std::string out;            // after the banner; "{sock}" is the simulator's socket
  std::vector<std::string> log;
};

void PrintTo(const BinaryCase& c, std::ostream* os) { *os << c.name; }

const BinaryCase kCases[] = {
    {"StatusWithoutDevice", false, {}, false, {"-u"}, "USB Device not Attached !! \n", {}},
    {"StatusWithDeviceOpensAndClosesOnce", true, {}, false, {"-u"}, "USB Device attached ...\n",
     {R"({"op":"open","target":"interface","ok":true})", R"({"op":"close","target":"interface"})"}},
    {"StatusWithRefusedOpen", true, {"--refuse-open"}, false, {"-u"},
     "FAILED to open {sock}\nUSB Device not Attached !! \n",
     {R"({"op":"open","target":"interface","ok":false})"}},
    {"SocketOfADeadSimulatorIsNoDevice", true, {}, true, {"-u"}, "USB Device not Attached !! \n", {}},
    {"MalformedCommandLineNeverReachesTheDevice", true, {}, false, {"-u", "-v"}, kUkavlenUsage, {}},
};

class UkavlenBinaryTest : public testing::TestWithParam<BinaryCase> {};

TEST_P(UkavlenBinaryTest, OutputStatusAndWhatReachedTheDevice) {
  const BinaryCase& c = GetParam();
  TempDir root;
  std::unique_ptr<SimProcess> sim;
  if (c.attached) {
    sim = std::make_unique<SimProcess>(root.path(), c.sim);
    ASSERT_TRUE(sim->ready()) << sim->output();
    if (c.killed) sim->Stop(SIGKILL);
  }
  const RunResult run = RunProgram(UKAVLEN_PATH, c.args, root.path());
  std::string expected = kUkavlenBanner + c.out;
  if (sim) ReplaceAll(expected, "{sock}", sim->socketPath());
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
  if (sim && !c.killed) {
    sim->Stop(SIGTERM);
    EXPECT_EQ(sim->LogLines(), c.log);
  }
}

INSTANTIATE_TEST_SUITE_P(Status, UkavlenBinaryTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BinaryCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kavlen::test
