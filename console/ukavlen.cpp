#include "console/ukavlen.h"

#include <algorithm>

#include "console/emulator_list.h"
#include "console/long_options.h"
#include "console/read_back.h"
#include "console/run_sequence.h"
#include "console/version_text.h"
#include "console/watch.h"
#include "device/device_link.h"

namespace kavlen::console {

namespace {

constexpr int kStopped = 1;
constexpr const char* kDeviceBusy = "USB Device is in use by another program ...try it again later !\n";

int CheckDeviceStatus(DeviceLink& link, TraceSink& out) {
  if (link.OpenDevice() == kInvalidHandle) {
    out.Print("USB Device not Attached !! \n");
  } else {
    out.Print("USB Device attached ...\n");
    link.CloseDevice();
  }
  return kStopped;
}

// One job on the selected emulator, held against other programs from its
// first request to its last.
template <typename Job>
int Held(DeviceLink& link, std::chrono::milliseconds lockWait, Job job) {
  const DeviceLock hold = link.HoldDevice(lockWait);
  if (hold.busy()) {
    link.sink().Print(kDeviceBusy);
    return kStopped;
  }
  return job();
}

}  // namespace

int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
               std::chrono::milliseconds lockWait) {
  // one line and nothing else, so that scripts can read it
  if (std::find(args.begin(), args.end(), "--version") != args.end()) {
    out.Print(VersionLine());
    return 0;
  }
  PrintBanner(out);
  const CommandLine line = ScanCommandLine(args, out);
  if (line.job == Job::Help) {
    PrintUsage(out);
    PrintLongOptions(out);
    return 0;
  }
  if (line.job == Job::Stop || line.job == Job::Version) return kStopped;

  DeviceLink link(api, out, Flavour::Console);
  if (line.job == Job::List) return ListEmulators(link);
  if (!SelectEmulator(link, line.more.device)) return kStopped;
  switch (line.job) {
    case Job::StatusCheck:
      return Held(link, lockWait, [&] { return CheckDeviceStatus(link, out); });
    case Job::Read: {
      const ReadRequest request{
          line.more.readFile,
          line.more.format ? *line.more.format : ImageFormatOfPath(line.more.readFile),
          line.more.base ? *line.more.base : 0};
      return Held(link, lockWait, [&] { return ReadEmulator(request, link); });
    }
    case Job::Run: {
      ConsoleSettings settings = line.settings;
      settings.format = line.more.format;
      settings.base = line.more.base;
      auto runOnce = [&] { return Held(link, lockWait, [&] { return RunSequence(settings, link); }); };
      // a watch holds the emulator during each run only, not while it waits
      return line.more.watch ? WatchAndRun(settings.fileName, runOnce, out) : runOnce();
    }
    default:
      return kStopped;
  }
}

}  // namespace kavlen::console
