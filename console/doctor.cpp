#include "console/doctor.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/emulator_list.h"
#include "device/device_os.h"
#include "device/str_printf.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/settings_location.h"
#include "platform/system.h"

#ifndef _WIN32
#include "platform/device_root.h"
#endif

namespace kavlen::console {

namespace {

class Checks {
 public:
  explicit Checks(TraceSink& sink) : sink_(sink) {}
  void Ok(const std::string& what) { sink_.Print("ok   " + what + "\n"); }
  void Fail(const std::string& what, const std::string& fix) {
    sink_.Print("FAIL " + what + "\n     " + fix + "\n");
    failed_ = true;
  }
  bool failed() const { return failed_; }

 private:
  TraceSink& sink_;
  bool failed_ = false;
};

struct SimulatorEntry {
  std::string device;  // the path the emulator would be found under
  std::string file;    // what the simulator left in the folder
};

// What simulators have left in their folder: on Linux their sockets, on
// Windows (only with KAVLEN_DEVICE_DIR) their NAME.tcp files.
std::vector<SimulatorEntry> SimulatorEntries() {
  namespace fs = std::filesystem;
  std::vector<SimulatorEntry> entries;
  std::error_code error;
#ifdef _WIN32
  const char* root = std::getenv("KAVLEN_DEVICE_DIR");
  if (root == nullptr || *root == '\0') return entries;
  const std::string dir = std::string(root) + "\\" + kDeviceInterfaceGuidText;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".tcp") != 0) continue;
    entries.push_back({dir + "\\" + name.substr(0, name.size() - 4), dir + "\\" + name});
  }
#else
  const std::string dir = DeviceClassDir(DeviceRootDir());
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
    if (entry.is_socket(error)) entries.push_back({entry.path().string(), entry.path().string()});
  }
#endif
  return entries;
}

void CheckStaleSimulators(const std::vector<std::string>& paths, Checks& checks) {
  for (const SimulatorEntry& entry : SimulatorEntries()) {
    if (std::find(paths.begin(), paths.end(), entry.device) != paths.end()) continue;
    checks.Fail("stale simulator " + entry.file + ": no simulator answers on it",
                "remove it, or start kavlen-sim again");
  }
}

}  // namespace

int RunDoctor(DeviceLink& link) {
  Checks checks(link.sink());
  const std::vector<std::string> paths = link.EmulatorPaths();
  const char* simulators = std::getenv("KAVLEN_DEVICE_DIR");
  const std::string where = simulators != nullptr && *simulators != '\0'
                                ? std::string("simulators in ") + simulators
                                : "present interfaces of the emulator's device class";
  if (paths.empty()) {
#ifdef _WIN32
    const bool simulated = simulators != nullptr && *simulators != '\0';
#else
    const bool simulated = true;
#endif
    checks.Fail("emulators: none found (" + where + ")",
                simulated ? "start a simulator (kavlen-sim --state os &) or plug an emulator in"
                          : "plug the emulator in and install its USB driver from the maker");
  } else {
    checks.Ok(StrPrintf("emulators: %u found (%s)", static_cast<unsigned>(paths.size()), where.c_str()));
  }
  CheckStaleSimulators(paths, checks);

  bool needsOs = false;
  for (std::uint32_t number = 1; number <= paths.size(); ++number) {
    link.SelectEmulator(number);
    const EmulatorState state = DescribeEmulator(link);
    const std::string what = StrPrintf("emulator %u: %s: %s", number, paths[number - 1].c_str(),
                                       state.text.c_str());
    switch (state.kind) {
      case EmulatorState::OsRunning: checks.Ok(what); break;
      case EmulatorState::BootCode:
        needsOs = true;
        checks.Ok(what + "; a run loads the device OS first");
        break;
      case EmulatorState::Busy: {
        const std::string holder = DeviceLockHolder(paths[number - 1]);
        checks.Fail(what + (holder.empty() ? "" : ": process " + holder),
                    "wait until that program ends, or end it, and try again");
        break;
      }
      case EmulatorState::Unopened:
        checks.Fail(what, "unplug the emulator and plug it in again (its driver must be installed)");
        break;
      case EmulatorState::Fault:
        checks.Fail(what, "unplug the emulator and plug it in again; if it stays so, ask its maker");
        break;
    }
  }
  link.SelectEmulator(0);

  const std::vector<std::string> dirs = DeviceOsSearchDirs(GetModuleDirectory());
  std::string searched;
  for (const std::string& dir : dirs) searched += (searched.empty() ? "" : ", ") + dir;
  const std::string osFile = FindDeviceOsFile(dirs);
  std::error_code error;
  if (std::filesystem::exists(osFile, error)) {
    checks.Ok("device OS file: " + osFile + " (searched in order: " + searched + ")");
  } else if (needsOs) {
    checks.Fail("device OS file: no TPROMOS.USB in " + searched,
                "put the maker's TPROMOS.USB beside ukavlen (" + JoinPath(dirs.front(), "TPROMOS.USB") + ")");
  } else {
    checks.Ok("device OS file: none in " + searched + " (needed only by an emulator in its boot code)");
  }

  checks.Ok("settings: kavlen reads and writes " + SettingsFilePath(GetModuleDirectory()));
  return checks.failed() ? 1 : 0;
}

}  // namespace kavlen::console
