#pragma once
// Asking the emulator what runs (CMD_BOOT_STATUS) and what it holds
// (CMD_QUERY_INFO). The exchanges return decoded results; what to show is
// each program's business (texts in identification_text.h).

#include <cstdint>

#include "device/command_block.h"
#include "platform/driver_api.h"

namespace kavlen {

struct BootStatus {
  int needsOsLoad;        // 1 when only the boot code runs
  std::uint8_t stateCode; // DEV_STATE_OK, _OS_RUNNING, _BOOT_ERROR or _BAD_REPLY
  std::uint8_t reply0;    // status byte as received
  std::uint8_t version;   // major number in the high nibble, minor in the low
  std::uint8_t model;     // 1 or 2 on a sound device
};

struct DeviceInfo {
  bool received;          // false: nothing decoded, keep the supported code
  std::uint16_t checksum; // device OS checksum
  std::uint8_t mask;      // capacity mask as received
  std::uint8_t sizeCode;  // supported ROM size code (255: mask not recognised)
};

BootStatus DecodeBootStatus(const CommandBlock& reply);
DeviceInfo DecodeDeviceInfo(const CommandBlock& reply);

// CMD_BOOT_STATUS; the exchange's results are not tested: a RECEIVE that
// fails leaves 0x48 in byte 0, which decodes as an unrecognised reply.
BootStatus QueryBootStatus(DriverApi& api, Handle device, CommandBlock& block);
// CMD_QUERY_INFO; received is false when its RECEIVE failed.
DeviceInfo QueryDeviceInfo(DriverApi& api, Handle device, CommandBlock& block);

}  // namespace kavlen
