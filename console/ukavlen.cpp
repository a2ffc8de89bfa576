#include "console/ukavlen.h"

#include <algorithm>
#include <optional>

#include "console/doctor.h"
#include "console/dry_run.h"
#include "console/emulator_list.h"
#include "console/long_options.h"
#include "console/read_back.h"
#include "console/progress_display.h"
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

bool Has(const std::vector<std::string>& args, const char* name) {
  return std::find(args.begin(), args.end(), name) != args.end();
}

// The program with its texts going to out and its events to `events`;
// readJob tells whether the command line asked for --read.
int RunJob(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
           std::chrono::milliseconds lockWait, const ProgressOutput& output, RunEvents& outer,
           bool& readJob) {
  // one line and nothing else, so that scripts can read it
  if (Has(args, "--version")) {
    out.Print(VersionLine());
    return 0;
  }
  PrintBanner(out);
  const CommandLine line = ScanCommandLine(args, out);
  readJob = line.job == Job::Read;
  if (line.job == Job::Help) {
    PrintUsage(out);
    PrintLongOptions(out);
    return 0;
  }
  if (line.job == Job::Stop || line.job == Job::Version) return kStopped;

  EventFan events;
  events.Add(outer);
  const ProgressMode mode =
      Resolve(line.more.progress.value_or(ProgressMode::None), output.errIsTerminal);
  std::optional<ProgressDisplay> progress;
  if (mode != ProgressMode::None && output.err != nullptr) {
    events.Add(progress.emplace(mode, *output.err, output.now));
  }

  DeviceLink link(api, out, Flavour::Console);
  if (line.job == Job::List) return ListEmulators(link);
  if (line.job == Job::Doctor) return RunDoctor(link);
  if (!SelectEmulator(link, line.more.device)) return kStopped;
  switch (line.job) {
    case Job::StatusCheck:
      return Held(link, lockWait, [&] { return CheckDeviceStatus(link, out); });
    case Job::Read: {
      const ReadRequest request{
          line.more.readFile,
          line.more.format ? *line.more.format : ImageFormatOfPath(line.more.readFile),
          line.more.base ? *line.more.base : 0};
      return Held(link, lockWait, [&] { return ReadEmulator(request, link, events); });
    }
    case Job::Run:
    case Job::VerifyOnly:
    case Job::DryRun: {
      ConsoleSettings settings = line.settings;
      settings.format = line.more.format;
      settings.base = line.more.base;
      if (line.job == Job::VerifyOnly) {
        return Held(link, lockWait, [&] { return VerifyOnly(settings, link, events); });
      }
      if (line.job == Job::DryRun) {
        return Held(link, lockWait, [&] { return DryRun(settings, link, events); });
      }
      auto runOnce = [&] {
        return Held(link, lockWait, [&] { return RunSequence(settings, link, events); });
      };
      // a watch holds the emulator during each run only, not while it waits
      return line.more.watch ? WatchAndRun(settings.fileName, runOnce, out) : runOnce();
    }
    default:
      return kStopped;
  }
}

}  // namespace

int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
               std::chrono::milliseconds lockWait, const ProgressOutput& progress) {
  bool readJob = false;
  if (!Has(args, "--json")) {
    RunEvents none;
    return RunJob(args, api, out, lockWait, progress, none, readJob);
  }
  // the same run, its texts as message events between the others
  JsonEvents json(out, progress.now);
  json.Start();
  JsonMessages messages(out);
  const int status = RunJob(args, api, messages, lockWait, progress, json, readJob);
  messages.Flush();
  json.Result(status, readJob);
  return status;
}

}  // namespace kavlen::console
