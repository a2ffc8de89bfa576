#include "device/device_os.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/device/scripted_device.h"

namespace kavlen {
namespace {

using test::ScriptedDevice;
using test::TempDir;

constexpr Handle kDevice = ScriptedDevice::kHandle;

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

// A device in its boot code: it answers CMD_START_OS with `startReply` and
// the boot status with `afterStart` once the OS was started.
void ScriptBootDevice(ScriptedDevice& device, std::uint8_t startReply, std::uint8_t afterStart) {
  device.reply = [=](CommandBlock& b) {
    if (b[0] == CMD_START_OS) {
      b.fill(0);
      b[0] = startReply;
    } else if (b[0] == CMD_BOOT_STATUS) {
      b.fill(0);
      b[0] = afterStart;
      b[2] = 0x12;
      b[3] = 2;
    }
    return true;
  };
}

// The first folder holding the file wins; with none, the program's folder
// is named. A folder entry of that name is found (and then fails to read).
TEST(FindDeviceOsFile, FirstFolderHoldingItWins) {
  const struct {
    const char* name;
    std::vector<int> holding;  // which of the three folders hold TPROMOS.USB
    bool asFolder;
    int found;
  } cases[] = {
      {"BesideTheProgram", {0, 1, 2}, false, 0},
      {"SharedData", {1, 2}, false, 1},
      {"UserConfig", {2}, false, 2},
      {"Nowhere", {}, false, 0},
      {"FolderOfThatName", {1}, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dirs[3];
    for (const int i : c.holding) {
      if (c.asFolder) std::filesystem::create_directory(dirs[i].path() + "/TPROMOS.USB");
      else dirs[i].Write("TPROMOS.USB", Pattern(1));
    }
    EXPECT_EQ(FindDeviceOsFile({dirs[0].path(), dirs[1].path(), dirs[2].path()}),
              dirs[c.found].path() + "/TPROMOS.USB");
  }
}

// A file that is there but cannot be read is not reported as missing, not
// even to root: a directory of that name (it opens on POSIX but reads fail)
// and a link to itself (it cannot be opened at all).
TEST(LoadDeviceOs, UnreadableFileIsReportedAndNothingIsSent) {
  namespace fs = std::filesystem;
  const struct {
    const char* name;
    void (*make)(const fs::path& file);
    DeviceOsRead console;  // both are "read Device OS File fail" to ukavlen
    GuiOsLoad gui;  // the desktop program's own messages tell these apart later
  } cases[] = {
      {"Directory", [](const fs::path& file) { fs::create_directory(file); }, DeviceOsRead::ShortRead,
       GuiOsLoad::ShortRead},
      {"LinkToItself", [](const fs::path& file) { fs::create_symlink(file.filename(), file); },
       DeviceOsRead::Unopenable, GuiOsLoad::MissingFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    c.make(fs::path(dir.path()) / "TPROMOS.USB");
    ScriptedDevice device;
    CommandBlock block{};

    EXPECT_EQ(ReadDeviceOsFile((fs::path(dir.path()) / "TPROMOS.USB").string()).outcome,
              c.console);
    EXPECT_EQ(LoadDeviceOsForGui(device.api, kDevice, block, dir.path()), c.gui);
    EXPECT_TRUE(device.calls.empty());
  }
}

TEST(GuiLoadDeviceOs, OutcomeByFileAndStartReply) {
  const struct {
    const char* name;
    bool writeFile;
    std::size_t size;
    std::uint8_t startReply;
    GuiOsLoad outcome;
    std::size_t ioctls;
  } cases[] = {{"Missing", false, 0, 0, GuiOsLoad::MissingFile, 0},
               {"Started", true, 10000, 0, GuiOsLoad::Started, 3},
               {"NotAcknowledged", true, 10000, 1, GuiOsLoad::StartFailed, 3},
               {"EmptySentAsZeroBytes", true, 0, 0, GuiOsLoad::Started, 3}};
  for (const auto& c : cases) {
    TempDir dir;
    const auto os = Pattern(c.size);
    if (c.writeFile) dir.Write("TPROMOS.USB", os);
    ScriptedDevice device;
    ScriptBootDevice(device, c.startReply, BOOT_STATUS_OS_RUNNING);
    CommandBlock block{};

    EXPECT_EQ(LoadDeviceOsForGui(device.api, kDevice, block, dir.path()), c.outcome) << c.name;
    ASSERT_EQ(device.calls.size(), c.ioctls) << c.name;
    if (c.ioctls > 0) {
      EXPECT_EQ(device.calls[0].code, IOCTL_LOAD_DEVICE_OS);
      EXPECT_EQ(device.calls[0].inLen, c.size);
      EXPECT_EQ(device.calls[0].in, os);
      EXPECT_EQ(device.calls[1].in[0], CMD_START_OS);
    }
  }
}

TEST(GuiLoadDeviceOs, SilentDriverReadsTheRequestAsAFailedStart) {
  TempDir dir;
  dir.Write("TPROMOS.USB", Pattern(10));
  ScriptedDevice device;
  CommandBlock block{};
  EXPECT_EQ(LoadDeviceOsForGui(device.api, kDevice, block, dir.path()), GuiOsLoad::StartFailed);
}

}  // namespace
}  // namespace kavlen
