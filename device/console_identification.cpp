#include "device/console_identification.h"

#include "device/identification_text.h"

namespace kavlen {

BootStatus ConsoleQueryBootStatus(DriverApi& api, Handle device, CommandBlock& block,
                                  TraceSink& sink) {
  const BootStatus status = QueryBootStatus(api, device, block);
  if (status.stateCode == DEV_STATE_OS_RUNNING) sink.Print(ConsoleDeviceInfoLine(status));
  if (status.stateCode == DEV_STATE_BOOT_ERROR) sink.Print(kConsoleBootErrorLine);
  return status;
}

DeviceInfo ConsoleQueryDeviceInfo(DriverApi& api, Handle device, CommandBlock& block,
                                  TraceSink& sink) {
  const DeviceInfo info = QueryDeviceInfo(api, device, block);
  if (info.received) sink.Print(ConsoleChecksumLine(info));
  return info;
}

}  // namespace kavlen
