#include "console/ukavlen.h"

#include "console/options.h"
#include "console/run_sequence.h"
#include "device/device_link.h"

namespace kavlen::console {

namespace {

constexpr int kStopped = 1;

int CheckDeviceStatus(DeviceLink& link, TraceSink& out) {
  if (link.OpenDevice() == kInvalidHandle) {
    out.Print("USB Device not Attached !! \n");
  } else {
    out.Print("USB Device attached ...\n");
    link.CloseDevice();
  }
  return kStopped;
}

}  // namespace

int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out) {
  PrintBanner(out);
  const ScanResult scan = ScanOptions(args, out);
  DeviceLink link(api, out, Flavour::Console);
  switch (scan.outcome) {
    case ScanOutcome::StatusCheck:
      return CheckDeviceStatus(link, out);
    case ScanOutcome::Run:
      return RunSequence(scan.settings, link);
    case ScanOutcome::Stop:
      break;
  }
  return kStopped;
}

}  // namespace kavlen::console
