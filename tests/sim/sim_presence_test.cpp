// kavlen-sim seen through the POSIX driver backend: discovery, open and
// close, the record it keeps, and what happens when it goes away.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <vector>

#include "kavlen_version.h"
#include "tests/sim/sim_rig.h"

namespace kavlen::test {
namespace {

using Lines = std::vector<std::string>;

class SimPresenceTest : public SimRig {};

TEST_F(SimPresenceTest, NoSimulatorEndsEnumerationAtIndexZero) {
  EXPECT_TRUE(Enumerate().empty());
}

TEST_F(SimPresenceTest, EnumeratesListenersInNameOrderAndSkipsDeadSockets) {
  SimProcess& second = Start({}, "emu1");
  SimProcess& first = Start({}, "emu0");
  SimProcess& dead = Start({}, "emu2");
  dead.Stop(SIGKILL);  // its socket stays, nobody listens
  EXPECT_EQ(Enumerate(), (Lines{first.socketPath(), second.socketPath()}));
  // the presence probe is not an open
  EXPECT_TRUE(first.LogLines().empty());
}

TEST_F(SimPresenceTest, DetailRecordFollowsTheSetupRules) {
  SimProcess& sim = Start();
  const DevInfoSet set = api().SetupDiGetClassDevsA(kDeviceInterfaceGuid, 0x12);
  DeviceInterfaceData data{};
  data.cbSize = sizeof data;
  ASSERT_TRUE(api().SetupDiEnumDeviceInterfaces(set, kDeviceInterfaceGuid, 0, &data));
  std::uint32_t need = 0;
  EXPECT_FALSE(api().SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need));
  EXPECT_EQ(api().GetLastError(), kErrorInsufficientBuffer);
  EXPECT_EQ(need, 4 + sim.socketPath().size() + 1);

  std::vector<char> detail(need);
  const std::uint32_t wrongSize = 6;
  std::memcpy(detail.data(), &wrongSize, 4);
  EXPECT_FALSE(api().SetupDiGetDeviceInterfaceDetailA(set, &data, detail.data(), need, nullptr));
  EXPECT_EQ(api().GetLastError(), 1784u);
  EXPECT_FALSE(api().SetupDiGetDeviceInterfaceDetailA(set, &data, detail.data(), need - 1, nullptr));
  EXPECT_EQ(api().GetLastError(), kErrorInsufficientBuffer);

  EXPECT_FALSE(api().SetupDiEnumDeviceInterfaces(set, kDeviceInterfaceGuid, 1, &data));
  EXPECT_EQ(api().GetLastError(), kErrorNoMoreItems);
  EXPECT_TRUE(api().SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(api().SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SimPresenceTest, DeviceRootOthersCanWriteToIsNotTrusted) {
  Start();
  ASSERT_EQ(chmod(root().c_str(), 0777), 0);
  EXPECT_TRUE(Enumerate().empty());
}

TEST_F(SimPresenceTest, SimulatorCreatesItsFoldersPrivate) {
  const std::string fresh = root() + "/fresh";
  SimProcess sim(fresh, {});
  ASSERT_TRUE(sim.ready()) << sim.output();
  for (const std::string& dir : {fresh, fresh + "/" + kDeviceInterfaceGuidText}) {
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
  EXPECT_EQ(sim.socketPath(), fresh + "/" + kDeviceInterfaceGuidText + "/emu0");
}

TEST_F(SimPresenceTest, SecondSimulatorRefusesATakenName) {
  SimProcess& first = Start();
  SimProcess second(root(), {});
  EXPECT_FALSE(second.ready());
  EXPECT_NE(second.output().find("another simulator is already listening on " + first.socketPath()),
            std::string::npos)
      << second.output();
  EXPECT_EQ(WEXITSTATUS(second.Wait()), 1);
  EXPECT_EQ(Enumerate(), Lines{first.socketPath()});
}

TEST_F(SimPresenceTest, TerminationRemovesTheSocket) {
  SimProcess& sim = Start();
  const int status = sim.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(status));
  struct stat st {};
  EXPECT_NE(lstat(sim.socketPath().c_str(), &st), 0);
}

TEST_F(SimPresenceTest, OpensAndClosesAreRecordedAndASecondHandleIsAViolation) {
  SimProcess& sim = Start();
  const Handle device = Open();
  ASSERT_GT(device, 0);
  EXPECT_LT(device, 16);
  const Handle pipe = Open(kPipeOut);
  ASSERT_NE(pipe, kInvalidHandle);
  EXPECT_NE(pipe, device);
  EXPECT_TRUE(api().CloseHandle(pipe));
  EXPECT_TRUE(api().CloseHandle(device));
  EXPECT_FALSE(api().CloseHandle(device));
  EXPECT_EQ(api().GetLastError(), kErrorInvalidHandle);
  // closes are confirmed before CloseHandle returns, so a reopen is no violation
  api().CloseHandle(Open(kPipeIn));
  EXPECT_EQ(sim.LogLines(), (Lines{
                                R"({"op":"open","target":"interface","ok":true})",
                                R"({"op":"violation","target":"PIPE01","reason":"second handle opened while one is open"})",
                                R"({"op":"open","target":"PIPE01","ok":true})",
                                R"({"op":"close","target":"PIPE01"})",
                                R"({"op":"close","target":"interface"})",
                                R"({"op":"open","target":"PIPE00","ok":true})",
                                R"({"op":"close","target":"PIPE00"})",
                            }));
}

TEST_F(SimPresenceTest, RefusedOpenFailsWithAccessDenied) {
  SimProcess& sim = Start({"--refuse-open"});
  EXPECT_EQ(Open(), kInvalidHandle);
  EXPECT_EQ(api().GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(sim.LogLines(), Lines{R"({"op":"open","target":"interface","ok":false})"});
}

TEST_F(SimPresenceTest, UnknownPipeAndMissingSocketAreNotFound) {
  Start();
  EXPECT_EQ(Open("PIPE07"), kInvalidHandle);
  EXPECT_EQ(api().GetLastError(), kErrorFileNotFound);
  const std::string missing = root() + "/nothing";
  EXPECT_EQ(api().CreateFileA(missing.c_str(), kGenericRead | kGenericWrite, 3, kCreateNew, 0),
            kInvalidHandle);
  EXPECT_EQ(api().GetLastError(), kErrorFileNotFound);
}

TEST_F(SimPresenceTest, VanishedSimulatorFailsCallsWithDeviceNotConnected) {
  SimProcess& sim = Start();
  const Handle device = Open();
  ASSERT_NE(device, kInvalidHandle);
  sim.Stop(SIGKILL);
  CommandBlock block = HeadBlock(CMD_BOOT_STATUS);
  const CommandBlock sent = block;
  std::uint32_t count = 7;
  EXPECT_FALSE(api().DeviceIoControl(device, IOCTL_HEAD_SEND, block.data(), 64, block.data(), 64,
                                     &count));
  EXPECT_EQ(api().GetLastError(), kErrorDeviceNotConnected);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(block, sent);
  std::vector<std::uint8_t> data(kTransferBlockSize);
  EXPECT_FALSE(api().WriteFile(device, data.data(), kTransferBlockSize, &count));
  EXPECT_EQ(api().GetLastError(), kErrorDeviceNotConnected);
  EXPECT_TRUE(api().CloseHandle(device));
}

// Roots that once hid the simulator: longer than a socket address, or with
// a backslash that was taken for the start of a pipe name.
TEST(SimRootPathTest, UnusualRootsStillReachTheDeviceAndItsPipes) {
  for (const std::string& leaf : {std::string(120, 'd'), std::string("back\\slash")}) {
    SCOPED_TRACE(leaf);
    TempDir base;
    const std::string root = base.path() + "/" + leaf;
    SimProcess sim(root, {});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const auto api = MakeSimDriver(root);
    for (const std::string& path : {sim.socketPath(), sim.socketPath() + "\\" + kPipeIn}) {
      const Handle handle =
          api->CreateFileA(path.c_str(), kGenericRead | kGenericWrite, 3, kOpenExisting, 0);
      EXPECT_NE(handle, kInvalidHandle) << path;
      EXPECT_TRUE(api->CloseHandle(handle));
    }
  }
}

// Alone, --version answers and ends; with a value it still sets the
// emulated device's version.
TEST(SimVersionTest, AloneItNamesTheReleaseAndExits) {
  TempDir base;
  const RunResult run = RunProgram(KAVLEN_SIM_PATH, {"--version"}, base.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "kavlen-sim " KAVLEN_VERSION "\n");
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace kavlen::test
