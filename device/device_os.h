#pragma once
// Loading the device OS (the file TPROMOS.USB, see DeviceOsPath) into an
// emulator that runs only its boot code: IOCTL_LOAD_DEVICE_OS with the whole
// file, then CMD_START_OS.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "device/trace_sink.h"
#include "platform/driver_api.h"

namespace kavlen {

inline constexpr const char* kDeviceOsFileName = "TPROMOS.USB";

// The first of dirs that holds an entry named TPROMOS.USB, joined with that
// name; the first folder's when none does (so the missing file is reported
// where the user expects it first).
std::string FindDeviceOsFile(const std::vector<std::string>& dirs);

// The device OS file both programs load, from the first of
// DeviceOsSearchDirs() that holds it; when none does, the path it should be
// put at (beside the program, or in the user's folder when the program's
// folder cannot take it).
std::string DeviceOsPath(const std::string& moduleDir);

enum class DeviceOsRead {
  Ok,
  Missing,     // there is no such file
  Unopenable,  // the file is there but cannot be opened (no permission, a link loop)
  ShortRead,   // fewer bytes arrived than the file holds, or no memory for them
};

struct DeviceOsImage {
  DeviceOsRead outcome = DeviceOsRead::Missing;
  std::unique_ptr<std::uint8_t[]> bytes;
  std::uint32_t length = 0;
};

// Reads the whole file; an empty file is Ok with length 0.
DeviceOsImage ReadDeviceOsFile(const std::string& path);

// IOCTL_LOAD_DEVICE_OS with the image as input and output; its result is
// not tested.
void SendDeviceOs(DriverApi& api, Handle device, DeviceOsImage& image);

// CMD_START_OS with HeadExchange; the reply stays in the block (byte 0 is
// 0 when the device acknowledged the start).
void StartDeviceOs(DriverApi& api, Handle device, CommandBlock& block);

// GUI device side: what the window then shows depends on the outcome.
enum class GuiOsLoad {
  MissingFile,  // the file is missing or cannot be opened: nothing was sent
  ShortRead,    // fewer bytes than the file holds: nothing was sent
  StartFailed,  // sent, but reply byte 0 of CMD_START_OS was not 0
  Started,      // sent and acknowledged
};
// Reads the whole file (an empty one is sent as zero bytes), sends it and
// starts it. The caller asks the device information itself after Started.
GuiOsLoad LoadDeviceOsForGui(DriverApi& api, Handle device, CommandBlock& block,
                             const std::string& moduleDir);

}  // namespace kavlen
