#include "device/device_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fake_driver_api.h"
#include "tests/support/recording_sink.h"

namespace kavlen {
namespace {

using test::FakeDriverApi;
using test::RecordingSink;

// Interfaces as the driver lists them. An entry is an emulator, an index that
// fails with another error than the end of the list, or an emulator whose
// detail cannot be fetched.
struct Entry {
  enum Kind { kEmulator, kBrokenIndex, kNoDetail } kind = kEmulator;
  std::string path;
};

struct CreateCall {
  std::string path;
  std::uint32_t access, share, disposition, attributes;
};

class Bus {
 public:
  explicit Bus(std::vector<Entry> entries) : entries_(std::move(entries)) {}

  void Install(FakeDriverApi& api) {
    api.enumInterfaces = [this, &api](DevInfoSet, const Guid&, std::uint32_t index,
                                      DeviceInterfaceData* data) {
      if (index >= entries_.size()) {
        api.lastError = kErrorNoMoreItems;
        return false;
      }
      if (entries_[index].kind == Entry::kBrokenIndex) {
        api.lastError = kErrorGenFailure;
        return false;
      }
      data->reserved = index;
      return true;
    };
    api.getDetail = [this, &api](DevInfoSet, DeviceInterfaceData* data, void* detail,
                                 std::uint32_t size, std::uint32_t* required) {
      const Entry& entry = entries_.at(data->reserved);
      const std::uint32_t need = 4 + static_cast<std::uint32_t>(entry.path.size()) + 1;
      if (required != nullptr) *required = need;
      if (detail == nullptr || size < need) {
        api.lastError = kErrorInsufficientBuffer;
        return false;
      }
      std::memcpy(&sizeFields_.emplace_back(), detail, 4);
      if (entry.kind == Entry::kNoDetail) {
        api.lastError = kErrorInvalidParameter;
        return false;
      }
      std::memcpy(static_cast<char*>(detail) + 4, entry.path.c_str(), entry.path.size() + 1);
      return true;
    };
    api.createFile = [this, &api](const std::string& path, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t disposition,
                                  std::uint32_t attributes) {
      creates_.push_back({path, access, share, disposition, attributes});
      if (refused_.count(path) != 0) {
        api.lastError = refused_[path];
        return kInvalidHandle;
      }
      const Handle handle = nextHandle_++;
      open_[handle] = path;
      return handle;
    };
    api.closeHandle = [this](Handle handle) { return open_.erase(handle) == 1; };
  }

  void Refuse(const std::string& path, std::uint32_t error) { refused_[path] = error; }

  std::vector<Entry> entries_;
  std::map<std::string, std::uint32_t> refused_;
  std::map<Handle, std::string> open_;
  std::vector<CreateCall> creates_;
  std::vector<std::uint32_t> sizeFields_;
  Handle nextHandle_ = 100;
};

struct Rig {
  explicit Rig(std::vector<Entry> entries, Flavour flavour = Flavour::Console)
      : bus(std::move(entries)), link(api, sink, flavour) {
    bus.Install(api);
  }
  FakeDriverApi api;
  RecordingSink sink;
  Bus bus;
  DeviceLink link;
};

const Entry kEmu0{Entry::kEmulator, "/dev/emu0"};
const Entry kEmu1{Entry::kEmulator, "/dev/emu1"};

TEST(DeviceLinkTest, NoEmulatorEndsAtIndexZeroWithoutOpening) {
  Rig rig({});
  EXPECT_EQ(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.link.device(), kInvalidHandle);
  EXPECT_EQ(rig.api.enumCalls, 1);
  EXPECT_EQ(rig.api.createCalls, 0);
  EXPECT_EQ(rig.api.destroyCalls, 1);
  EXPECT_EQ(rig.link.GetUsbDeviceFileName(kDeviceInterfaceGuid), 0);
}

TEST(DeviceLinkTest, OneEmulatorOpensItsInterfacePathForCommands) {
  Rig rig({kEmu0});
  const Handle handle = rig.link.OpenDevice();
  ASSERT_NE(handle, kInvalidHandle);
  EXPECT_EQ(rig.link.device(), handle);
  EXPECT_EQ(rig.link.path(), "/dev/emu0");
  ASSERT_EQ(rig.bus.creates_.size(), 1u);
  const CreateCall& call = rig.bus.creates_[0];
  EXPECT_EQ(call.path, "/dev/emu0");
  EXPECT_EQ(call.access, 0xC0000000u);
  EXPECT_EQ(call.share, 3u);
  EXPECT_EQ(call.disposition, 1u);  // CREATE_NEW
  EXPECT_EQ(call.attributes, 0u);
  EXPECT_EQ(rig.bus.sizeFields_, std::vector<std::uint32_t>{kInterfaceDetailFixedSize});
  rig.link.CloseDevice();
  EXPECT_EQ(rig.link.device(), kInvalidHandle);
  EXPECT_TRUE(rig.bus.open_.empty());
}

TEST(DeviceLinkTest, TwoEmulatorsUseTheLastAndLeaveNoOtherHandleOpen) {
  Rig rig({kEmu0, kEmu1});
  const Handle handle = rig.link.OpenDevice();
  ASSERT_NE(handle, kInvalidHandle);
  EXPECT_EQ(rig.link.path(), "/dev/emu1");
  ASSERT_EQ(rig.bus.open_.size(), 1u);
  EXPECT_EQ(rig.bus.open_.at(handle), "/dev/emu1");
  EXPECT_EQ(rig.api.destroyCalls, 1);
}

TEST(DeviceLinkTest, LastInterfaceFailingGivesNoHandleEvenIfAnEarlierOneOpened) {
  Rig rig({kEmu0, kEmu1});
  rig.bus.Refuse("/dev/emu1", kErrorAccessDenied);
  EXPECT_EQ(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_TRUE(rig.bus.open_.empty());
}

TEST(DeviceLinkTest, IndexFailingWithAnotherErrorIsSkipped) {
  Rig rig({{Entry::kBrokenIndex, ""}, kEmu1});
  EXPECT_NE(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.link.path(), "/dev/emu1");
  EXPECT_EQ(rig.api.enumCalls, 3);
}

TEST(DeviceLinkTest, DriverThatNeverEndsTheListIsGivenUpOn) {
  Rig rig({});
  rig.api.enumInterfaces = [&](DevInfoSet, const Guid&, std::uint32_t, DeviceInterfaceData*) {
    rig.api.lastError = kErrorGenFailure;
    return false;
  };
  EXPECT_EQ(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.api.enumCalls, 1024);
  EXPECT_EQ(rig.api.destroyCalls, 1);
}

TEST(DeviceLinkTest, UnobtainableDeviceSetEndsAtOnce) {
  Rig rig({kEmu0});
  rig.api.getClassDevs = [](const Guid&, std::uint32_t flags) {
    EXPECT_EQ(flags, 0x12u);
    return DevInfoSet{kInvalidHandle};
  };
  EXPECT_EQ(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.api.enumCalls, 0);
  EXPECT_EQ(rig.api.destroyCalls, 0);
}

TEST(DeviceLinkTest, DetailFailureOpensNothingAndKeepsThePathBuffer) {
  Rig rig({kEmu0});
  ASSERT_NE(rig.link.OpenDevice(), kInvalidHandle);
  rig.link.CloseDevice();
  rig.bus.entries_ = {{Entry::kNoDetail, "/dev/other"}};
  EXPECT_EQ(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.link.path(), "/dev/emu0");
  EXPECT_EQ(rig.bus.creates_.size(), 1u);
  EXPECT_EQ(rig.sink.text, "");
}

TEST(DeviceLinkTest, PathBufferAfterOpenPipeAndAfterTheNextOpenDevice) {
  Rig rig({kEmu0});
  ASSERT_NE(rig.link.OpenDevice(), kInvalidHandle);
  rig.link.CloseDevice();

  const Handle pipe = rig.link.OpenPipe(kPipeOut);
  ASSERT_NE(pipe, kInvalidHandle);
  EXPECT_EQ(rig.link.path(), "/dev/emu0\\PIPE01");
  ASSERT_EQ(rig.bus.creates_.size(), 3u);
  EXPECT_EQ(rig.bus.creates_[1].path, "/dev/emu0");  // the probe, closed again
  EXPECT_EQ(rig.bus.creates_[2].path, "/dev/emu0\\PIPE01");
  EXPECT_EQ(rig.bus.creates_[2].disposition, 3u);  // OPEN_EXISTING
  EXPECT_EQ(rig.bus.creates_[2].access, 0xC0000000u);
  EXPECT_EQ(rig.bus.creates_[2].share, 3u);
  ASSERT_EQ(rig.bus.open_.size(), 1u);
  EXPECT_EQ(rig.bus.open_.at(pipe), "/dev/emu0\\PIPE01");
  rig.api.CloseHandle(pipe);

  ASSERT_NE(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.link.path(), "/dev/emu0");
}

TEST(DeviceLinkTest, OpenDeviceNeverHoldsTwoHandles) {
  Rig rig({kEmu0});
  ASSERT_NE(rig.link.OpenDevice(), kInvalidHandle);
  ASSERT_NE(rig.link.OpenDevice(), kInvalidHandle);
  EXPECT_EQ(rig.bus.open_.size(), 1u);
}

// The trace lines of both programs, step by step.
struct TraceCase {
  const char* name;
  std::vector<Entry> entries;
  std::vector<std::pair<std::string, std::uint32_t>> refused;
  std::function<void(DeviceLink&)> action;
  const char* console;
  const char* gui;
};

// CTest lists the case by its name, not by its bytes.
void PrintTo(const TraceCase& c, std::ostream* os) { *os << c.name; }

void OpenAndClose(DeviceLink& link) {
  link.OpenDevice();
  link.CloseDevice();
}

void OpenPipeIn(DeviceLink& link) { link.OpenPipe(kPipeIn); }

class DeviceLinkTraceTest : public testing::TestWithParam<TraceCase> {};

TEST_P(DeviceLinkTraceTest, PrintsExactLines) {
  const TraceCase& c = GetParam();
  for (const Flavour flavour : {Flavour::Console, Flavour::Gui}) {
    Rig rig(c.entries, flavour);
    for (const auto& [path, error] : c.refused) rig.bus.Refuse(path, error);
    c.action(rig.link);
    EXPECT_EQ(rig.sink.text, flavour == Flavour::Console ? c.console : c.gui)
        << (flavour == Flavour::Console ? "console" : "gui");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Transport, DeviceLinkTraceTest,
    testing::Values(
        TraceCase{"OpenDeviceNoEmulator", {}, {}, OpenAndClose, "", "Failed to open () = 259"},
        TraceCase{"OpenDeviceOne", {kEmu0}, {}, OpenAndClose, "",
                  "Attempting to open /dev/emu0\nDeviceName = (/dev/emu0)\n"},
        TraceCase{"OpenDeviceTwo", {kEmu0, kEmu1}, {}, OpenAndClose, "",
                  "Attempting to open /dev/emu0\nAttempting to open /dev/emu1\n"
                  "DeviceName = (/dev/emu1)\n"},
        TraceCase{"OpenDeviceRefused", {kEmu0}, {{"/dev/emu0", kErrorAccessDenied}}, OpenAndClose,
                  "FAILED to open /dev/emu0\n",
                  "Attempting to open /dev/emu0\nFAILED to open /dev/emu0\n"
                  // the last error is the end of the list, not the refused open
                  "Failed to open (/dev/emu0) = 259"},
        TraceCase{"OpenPipeNoEmulator", {}, {}, OpenPipeIn, "Cannot Find USB Device... Fail !! \n",
                  "Failed to GetUsbDeviceFileName\n"},
        TraceCase{"OpenPipeOpened", {kEmu0}, {}, OpenPipeIn, "",
                  "Attempting to open /dev/emu0\ncompleteDeviceName = (/dev/emu0\\PIPE00)\n"
                  "Opened successfully.\n"},
        TraceCase{"OpenPipeRefused", {kEmu0}, {{"/dev/emu0\\PIPE00", kErrorFileNotFound}},
                  OpenPipeIn, "Failed to open (/dev/emu0\\PIPE00) = 2",
                  "Attempting to open /dev/emu0\ncompleteDeviceName = (/dev/emu0\\PIPE00)\n"
                  "Failed to open (/dev/emu0\\PIPE00) = 2"}),
    [](const testing::TestParamInfo<TraceCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavlen
