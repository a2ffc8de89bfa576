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

int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
               std::chrono::milliseconds lockWait) {
  PrintBanner(out);
  const ScanResult scan = ScanOptions(args, out);
  if (scan.outcome == ScanOutcome::Stop) return kStopped;
  DeviceLink link(api, out, Flavour::Console);
  // Held until the run returns. A lock that cannot be made does not stop
  // the run; only another holder does.
  const DeviceLock hold = link.HoldDevice(lockWait);
  if (hold.busy()) {
    out.Print("USB Device is in use by another program ...try it again later !\n");
    return kStopped;
  }
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
