#include "console/emulator_list.h"

#include <string>
#include <vector>

#include "device/identification.h"
#include "device/identification_text.h"
#include "device/str_printf.h"

namespace kavlen::console {

EmulatorState DescribeEmulator(DeviceLink& link) {
  // an emulator another program is working with is not disturbed
  const DeviceLock hold = link.HoldDevice(std::chrono::milliseconds(0));
  if (hold.busy()) return {"in use by another program", EmulatorState::Busy};
  if (link.OpenDevice() == kInvalidHandle) return {"cannot be opened", EmulatorState::Unopened};
  const BootStatus boot = QueryBootStatus(link.api(), link.device(), link.block());
  std::string text;
  EmulatorState::Kind kind = EmulatorState::Fault;
  if (boot.needsOsLoad == 1) {
    kind = EmulatorState::BootCode;
    text = GuiBootCodeNameText(boot) + ", boot code only (device OS not loaded)";
  } else if (boot.stateCode == DEV_STATE_OS_RUNNING) {
    kind = EmulatorState::OsRunning;
    text = GuiBootCodeNameText(boot) + ", device OS running";
    const DeviceInfo info = QueryDeviceInfo(link.api(), link.device(), link.block());
    text += info.received ? StrPrintf(", OS checksum 0x%04X, capacity%s",
                                      static_cast<unsigned>(info.checksum),
                                      GuiCapacityText(info.sizeCode).c_str())
                          : ", no device information";
  } else if (boot.stateCode == DEV_STATE_BOOT_ERROR) {
    text = "boot code reports an error";
  } else {
    text = StrPrintf("unrecognised boot status 0x%02X", static_cast<unsigned>(boot.reply0));
  }
  link.CloseDevice();
  return {text, kind};
}

int ListEmulators(DeviceLink& link) {
  const std::vector<std::string> paths = link.EmulatorPaths();
  if (paths.empty()) {
    link.sink().Print("USB Device not Attached !! \n");
    return 1;
  }
  for (std::uint32_t number = 1; number <= paths.size(); ++number) {
    link.SelectEmulator(number);
    const std::string state = DescribeEmulator(link).text;
    link.sink().Print(StrPrintf("%u: %s: %s\n", number, paths[number - 1].c_str(), state.c_str()));
  }
  link.SelectEmulator(0);
  return 0;
}

bool SelectEmulator(DeviceLink& link, std::uint32_t number) {
  if (number == 0) return true;
  const std::size_t found = link.EmulatorPaths().size();
  if (number > found) {
    link.sink().Print(StrPrintf("There is no emulator number %u: %u attached (see --list) !!\n",
                                number, static_cast<unsigned>(found)));
    return false;
  }
  link.SelectEmulator(number);
  return true;
}

}  // namespace kavlen::console
