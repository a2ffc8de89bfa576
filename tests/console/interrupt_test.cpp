// Ctrl-C under --watch stops the block loops after the block in flight; so
// do Ctrl-C, TERM and HUP during --read. A program of its own: once raised,
// the flag stays raised for the process until CatchInterrupts lowers it.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/download.h"
#include "console/interrupt.h"
#include "console/ukavlen.h"
#include "console/verify.h"
#include "platform/sim_driver.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

namespace kavlen::console {
namespace {

TEST(InterruptTest, BlockLoopsStopAfterTheBlockInFlight) {
  CatchInterrupts();
  const std::vector<std::uint8_t> image(4 * kTransferBlockSize, 0x5A);
  test::FakeDriverApi api;
  auto block = [&](std::uint32_t* count) {
    *count = kTransferBlockSize;
    if (api.writeCalls + api.readCalls == 2) std::raise(SIGINT);  // during the second block
    return true;
  };
  api.writeFile = [&](Handle, const void*, std::uint32_t, std::uint32_t* n) { return block(n); };
  test::RecordingSink written;
  EXPECT_FALSE(WriteBlocks(api, 7, image.data(), 4, written));
  EXPECT_EQ(written.text, "..\nInterrupted after block 1 ...\n");
  EXPECT_EQ(api.writeCalls, 2);

  api.writeCalls = 0;
  api.readFile = [&](Handle, void* data, std::uint32_t, std::uint32_t* n) {
    std::memset(data, 0x5A, kTransferBlockSize);
    return block(n);
  };
  // the flag is still up: the read-back stops after its first block
  test::RecordingSink read;
  const ReadBack back = ReadAndCompare(api, 7, image.data(), 4, read);
  EXPECT_FALSE(back.complete);
  EXPECT_EQ(read.text, ".\nInterrupted after block 0 ...\n");
  EXPECT_EQ(api.readCalls, 1);
}

// A simulator's driver that raises a signal while the second block of a
// read is on its way.
class SignalDuringRead : public DriverApi {
 public:
  SignalDuringRead(DriverApi& driver, int signal) : driver_(driver), signal_(signal) {}
  DevInfoSet SetupDiGetClassDevsA(const Guid& g, std::uint32_t flags) override {
    return driver_.SetupDiGetClassDevsA(g, flags);
  }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const Guid& g, std::uint32_t index,
                                   DeviceInterfaceData* data) override {
    return driver_.SetupDiEnumDeviceInterfaces(set, g, index, data);
  }
  bool SetupDiGetDeviceInterfaceDetailA(DevInfoSet set, DeviceInterfaceData* data, void* detail,
                                        std::uint32_t size, std::uint32_t* required) override {
    return driver_.SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, required);
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override {
    return driver_.SetupDiDestroyDeviceInfoList(set);
  }
  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                     std::uint32_t attributes) override {
    return driver_.CreateFileA(path, access, share, disposition, attributes);
  }
  bool DeviceIoControl(Handle h, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) override {
    return driver_.DeviceIoControl(h, code, in, inLen, out, outLen, returned);
  }
  bool ReadFile(Handle h, void* buffer, std::uint32_t length, std::uint32_t* got) override {
    if (++reads_ == 2) std::raise(signal_);
    return driver_.ReadFile(h, buffer, length, got);
  }
  bool WriteFile(Handle h, const void* buffer, std::uint32_t length, std::uint32_t* written) override {
    return driver_.WriteFile(h, buffer, length, written);
  }
  bool CloseHandle(Handle h) override { return driver_.CloseHandle(h); }
  std::uint32_t GetLastError() override { return driver_.GetLastError(); }

 private:
  DriverApi& driver_;
  int signal_;
  int reads_ = 0;
};

// Each signal ends the read the same way: nothing under the file's name or
// beside it (the simulator's socket and log are all there is), and the
// emulator's lock file gone.
TEST(InterruptTest, SignalsEndTheReadAndLeaveNothing) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    test::TempDir root;
    test::SimProcess sim(root.path(), {"--state", "os", "--capacity-mask", "0"});
    ASSERT_TRUE(sim.ready()) << sim.output();
    const std::unique_ptr<DriverApi> driver = MakeSimDriver(root.path());
    SignalDuringRead api(*driver, signal);
    test::RecordingSink out;
    const std::string file = root.path() + "/back.bin";
    EXPECT_EQ(RunUkavlen({"--read", file}, api, out, {}), 3) << signal;
    const std::string end = "Read..\nInterrupted after block 1 ...\n";
    EXPECT_EQ(out.text.substr(out.text.size() - end.size()), end) << signal;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
      left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"emu0", "emu0.log", kDeviceInterfaceGuidText})) << signal;
  }
}

}  // namespace
}  // namespace kavlen::console
