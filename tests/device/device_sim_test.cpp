// The device layer against a running kavlen-sim process, through the POSIX
// driver backend: the exchanges as a real emulator would answer them.

#include <gtest/gtest.h>

#include <memory>

#include "device/device_link.h"
#include "device/device_os.h"
#include "device/identification.h"
#include "device/protocol.h"
#include "platform/sim_driver.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

namespace kavlen {
namespace {

using test::RecordingSink;
using test::SimProcess;
using test::TempDir;

// One simulated emulator in a device root of its own, a driver that sees only
// it, and an open link.
class SimDevice {
 public:
  explicit SimDevice(const std::vector<std::string>& args)
      : sim_(root_.path(), args),
        api_(MakeSimDriver(root_.path())),
        link_(*api_, sink, Flavour::Console) {}

  bool Open() { return sim_.ready() && link_.OpenDevice() != kInvalidHandle; }
  DriverApi& api() { return *api_; }
  Handle device() const { return link_.device(); }
  CommandBlock& block() { return link_.block(); }

  RecordingSink sink;

 private:
  TempDir root_;
  SimProcess sim_;
  std::unique_ptr<DriverApi> api_;
  DeviceLink link_;
};

std::vector<std::uint8_t> DeviceOsBytes() {
  std::vector<std::uint8_t> bytes(10000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  return bytes;
}

TEST(DeviceWithSimulator, BootCodeThenOsLoadThenOsRunning) {
  SimDevice sim({"--state", "boot", "--capacity-mask", "0x1F"});
  ASSERT_TRUE(sim.Open());
  TempDir programDir;
  programDir.Write("TPROMOS.USB", DeviceOsBytes());

  const BootStatus before = QueryBootStatus(sim.api(), sim.device(), sim.block());
  EXPECT_EQ(before.needsOsLoad, 1);
  EXPECT_EQ(before.stateCode, DEV_STATE_OK);

  EXPECT_EQ(LoadDeviceOsForGui(sim.api(), sim.device(), sim.block(), programDir.path()),
            GuiOsLoad::Started);

  const DeviceInfo info = QueryDeviceInfo(sim.api(), sim.device(), sim.block());
  ASSERT_TRUE(info.received);
  // The simulator's checksum is the 16-bit sum of the whole device OS file.
  EXPECT_EQ(info.checksum, 0x0254);
  EXPECT_EQ(info.sizeCode, 5);

  const BootStatus after = QueryBootStatus(sim.api(), sim.device(), sim.block());
  EXPECT_EQ(after.stateCode, DEV_STATE_OS_RUNNING);
}

TEST(DeviceWithSimulator, RefusedStartLeavesTheBootCode) {
  SimDevice sim({"--start-os-fails"});
  ASSERT_TRUE(sim.Open());
  TempDir programDir;
  programDir.Write("TPROMOS.USB", DeviceOsBytes());

  EXPECT_EQ(LoadDeviceOsForGui(sim.api(), sim.device(), sim.block(), programDir.path()),
            GuiOsLoad::StartFailed);
  EXPECT_EQ(QueryBootStatus(sim.api(), sim.device(), sim.block()).needsOsLoad, 1);
}

TEST(DeviceWithSimulator, FailedInfoReceiveDecodesNothing) {
  SimDevice sim({"--state", "os", "--fail-receive", "0x51"});
  ASSERT_TRUE(sim.Open());
  EXPECT_FALSE(QueryDeviceInfo(sim.api(), sim.device(), sim.block()).received);
}

TEST(DeviceWithSimulator, ReadyPollCountsAgainstTheSimulator) {
  const struct {
    std::vector<std::string> args;
    bool ready;
  } cases[] = {{{"--state", "os"}, true},
               {{"--state", "os", "--ready-after", "7"}, true},
               {{"--state", "os", "--never-ready"}, false}};
  for (const auto& c : cases) {
    SimDevice sim(c.args);
    ASSERT_TRUE(sim.Open());
    BuildDownload(sim.block(), 4);
    TailExchange(sim.api(), sim.device(), sim.block());
    EXPECT_EQ(WaitReady(sim.api(), sim.device(), sim.block()), c.ready);
  }
}

TEST(DeviceWithSimulator, AddressWriteThenReadEchoesTheByte) {
  SimDevice sim({"--state", "os"});
  ASSERT_TRUE(sim.Open());
  EXPECT_TRUE(SendAddrWrite(sim.api(), sim.device(), sim.block(), 0x1FC019, 0x9C));
  const AddrReadReply read = SendAddrRead(sim.api(), sim.device(), sim.block(), 0x1FC019);
  EXPECT_TRUE(read.received);
  EXPECT_EQ(read.value, 0x9C);
}

}  // namespace
}  // namespace kavlen
