#include "device/identification.h"

#include "device/protocol.h"
#include "device/rom_capacity.h"

namespace kavlen {

BootStatus DecodeBootStatus(const CommandBlock& reply) {
  BootStatus status{0, DEV_STATE_BAD_REPLY, reply[0], reply[2], reply[3]};
  switch (reply[0]) {
    case BOOT_STATUS_ERROR:
      status.stateCode = DEV_STATE_BOOT_ERROR;
      break;
    case BOOT_STATUS_BOOT_CODE:
      status.stateCode = DEV_STATE_OK;
      status.needsOsLoad = 1;
      break;
    case BOOT_STATUS_OS_RUNNING:
      status.stateCode = DEV_STATE_OS_RUNNING;
      break;
    default:
      break;
  }
  return status;
}

DeviceInfo DecodeDeviceInfo(const CommandBlock& reply) {
  const auto checksum = static_cast<std::uint16_t>(reply[2] * 256 + reply[3]);
  return {true, checksum, reply[5], SizeCodeFromMask(reply[5])};
}

BootStatus QueryBootStatus(DriverApi& api, Handle device, CommandBlock& block) {
  BuildHeadCommand(block, CMD_BOOT_STATUS);
  HeadExchange(api, device, block);
  return DecodeBootStatus(block);
}

DeviceInfo QueryDeviceInfo(DriverApi& api, Handle device, CommandBlock& block) {
  BuildHeadCommand(block, CMD_QUERY_INFO);
  if (!HeadExchange(api, device, block)) return {false, 0, 0, kUnknownRomSizeCode};
  return DecodeDeviceInfo(block);
}

}  // namespace kavlen
