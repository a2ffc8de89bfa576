// The real ukavlen program against real kavlen-sim processes, each test in
// its own device root so that tests can run in parallel.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

const std::string kBanner =
    "********************************************\n"
    "*     --- UKAVLEN II Tools V2.2 ---        *\n"
    "********************************************\n";

RunResult Ukavlen(const std::vector<std::string>& args, const std::string& root) {
  return RunProgram(UKAVLEN_PATH, args, root);
}

TEST(UkavlenBinaryTest, StatusWithoutDevice) {
  TempDir root;
  const RunResult run = Ukavlen({"-u"}, root.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + "USB Device not Attached !! \n");
  EXPECT_EQ(run.err, "");
}

TEST(UkavlenBinaryTest, StatusWithDeviceOpensAndClosesOnce) {
  TempDir root;
  SimProcess sim(root.path(), {});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const RunResult run = Ukavlen({"-u"}, root.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + "USB Device attached ...\n");
  EXPECT_EQ(run.err, "");
  sim.Stop(SIGTERM);
  EXPECT_EQ(sim.LogLines(), (std::vector<std::string>{
                                R"({"op":"open","target":"interface","ok":true})",
                                R"({"op":"close","target":"interface"})"}));
}

TEST(UkavlenBinaryTest, StatusWithRefusedOpen) {
  TempDir root;
  SimProcess sim(root.path(), {"--refuse-open"});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const RunResult run = Ukavlen({"-u"}, root.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            kBanner + "FAILED to open " + sim.socketPath() + "\nUSB Device not Attached !! \n");
}

TEST(UkavlenBinaryTest, SocketOfADeadSimulatorIsNoDevice) {
  TempDir root;
  SimProcess sim(root.path(), {});
  ASSERT_TRUE(sim.ready()) << sim.output();
  sim.Stop(SIGKILL);  // leaves its socket behind with no listener
  const RunResult run = Ukavlen({"-u"}, root.path());
  EXPECT_EQ(run.out, kBanner + "USB Device not Attached !! \n");
}

TEST(UkavlenBinaryTest, MalformedCommandLineNeverReachesTheDevice) {
  TempDir root;
  SimProcess sim(root.path(), {});
  ASSERT_TRUE(sim.ready()) << sim.output();
  const RunResult run = Ukavlen({"-u", "-v"}, root.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.substr(0, kBanner.size()), kBanner);
  EXPECT_NE(run.out.find("Usage : UKAVLEN -f [0,1,x] -d [filename] ...\n"), std::string::npos);
  sim.Stop(SIGTERM);
  EXPECT_TRUE(sim.LogLines().empty());
}

}  // namespace
}  // namespace kavlen::test
