#pragma once
// The console program a table runs: the native ukavlen, or the Windows
// ukavlen.exe under wine (when KAVLEN_UKAVLEN_EXE names it; scripts/test-wine.sh
// sets it), which reaches its simulators over loopback TCP and is given
// Windows paths (Z:\...) in its arguments and KAVLEN_DEVICE_DIR. With
// KAVLEN_DRIVER_SETUP naming the stand-in driver's setup tool as well
// (scripts/test-wine-driver.sh), ukavlen.exe runs with no KAVLEN_DEVICE_DIR
// and finds each simulator as a device of the stand-in driver in the wine
// prefix, through the real setup-service and file calls.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process_helpers.h"
#include "tests/windows/driver/wine_driver_limits.h"

namespace kavlen::test {

// A Windows program under wine, with a second try when wine lost it at its
// start: a failure with nothing printed, which neither ukavlen.exe (its
// banner or JSON start line comes first) nor the driver's setup tool ever
// gives. A program that timed out (-1) is not tried again.
inline RunResult RunUnderWine(const std::vector<std::string>& command, const std::string& deviceDir,
                              const std::vector<std::string>& env = {}) {
  RunResult run = RunProgram(WINE_RUN_PATH, command, deviceDir, env);
  if (run.status > 0 && run.out.empty()) run = RunProgram(WINE_RUN_PATH, command, deviceDir, env);
  return run;
}

// The stand-in driver's setup tool.
inline RunResult RunDriverSetup(const std::string& setup, const std::vector<std::string>& args) {
  std::vector<std::string> command = args;
  command.insert(command.begin(), setup);
  return RunUnderWine(command, "");
}

// A simulator as a device the program can find, for as long as this lives:
// through the driver a root device plugged in for it, otherwise the
// simulator's socket in the device root. `name` is the device as the
// program names it in its messages.
class PluggedDevice {
 public:
  PluggedDevice() = default;
  PluggedDevice(std::string name, std::string setup, int slot)
      : name(std::move(name)), setup_(std::move(setup)), slot_(slot) {}
  PluggedDevice(PluggedDevice&& other) noexcept { *this = std::move(other); }
  PluggedDevice& operator=(PluggedDevice&& other) noexcept {
    Unplug();
    name = std::move(other.name);
    setup_ = std::move(other.setup_);
    slot_ = other.slot_;
    other.slot_ = -1;
    return *this;
  }
  ~PluggedDevice() { Unplug(); }
  // Removes the driver's device; the programs no longer enumerate it.
  void Unplug() {
    if (slot_ < 0) return;
    const RunResult removed = RunDriverSetup(setup_, {"remove", std::to_string(slot_)});
    EXPECT_EQ(removed.status, 0) << "removing device " << slot_ << ": " << removed.out;
    slot_ = -1;
  }

  std::string name;

 private:
  std::string setup_;
  int slot_ = -1;
};

struct ConsoleProgram {
  std::string binary;
  bool windows = false;
  std::string driverSetup;  // the stand-in driver's setup tool; empty: KAVLEN_DEVICE_DIR
  bool bridged = false;  // reaches its simulators through a kavlen-bridge
  std::string bridgeExe = {};  // that bridge: a kavlen-bridge.exe under wine

  static ConsoleProgram Native() { return {UKAVLEN_PATH, false, ""}; }
  static ConsoleProgram ThroughBridge() { return {UKAVLEN_PATH, false, "", true}; }
  static ConsoleProgram ThroughBridgeExe() {
    const char* exe = std::getenv("KAVLEN_BRIDGE_EXE");
    return {UKAVLEN_PATH, false, "", true, exe != nullptr ? exe : ""};
  }
  static ConsoleProgram Exe() {
    const char* exe = std::getenv("KAVLEN_UKAVLEN_EXE");
    const char* setup = std::getenv("KAVLEN_DRIVER_SETUP");
    return {exe != nullptr ? exe : "", true, setup != nullptr ? setup : ""};
  }
  bool throughDriver() const { return !driverSetup.empty(); }

  std::string FileName() const { return windows ? "ukavlen.exe" : "ukavlen"; }

  // How the program names a path of this machine.
  std::string Path(const std::string& path) const {
    if (!windows) return path;
    std::string mapped = "Z:" + path;
    std::replace(mapped.begin(), mapped.end(), '/', '\\');
    return mapped;
  }

  // The switches a simulator needs to be reachable by this program.
  std::vector<std::string> SimArgs(std::vector<std::string> args) const {
    if (windows || !bridgeExe.empty()) args.push_back("--tcp");
    return args;
  }

  // The simulator (named emu<N>, listening on TCP) plugged in as driver
  // device N: the slots enumerate in the order of the simulators' names,
  // as the simulators' folder does.
  PluggedDevice Plug(const SimProcess& sim) const {
    if (!throughDriver()) return PluggedDevice(Path(sim.socketPath()), "", -1);
    const std::string path = sim.socketPath();
    const int slot = std::stoi(path.substr(path.rfind("emu") + 3));
    const RunResult added =
        RunDriverSetup(driverSetup, {"add", std::to_string(slot), Path(path + ".tcp")});
    EXPECT_EQ(added.status, 0) << "plugging in device " << slot << ": " << added.out;
    std::string name = added.out.substr(0, added.out.find_first_of("\r\n"));
    return PluggedDevice(name, driverSetup, added.status == 0 ? slot : -1);
  }

  // What starts program with args: the program itself, or the wine wrapper
  // with the program as its first argument.
  std::string Runner(const std::string& program) const {
    return windows ? WINE_RUN_PATH : program;
  }
  std::vector<std::string> RunnerArgs(const std::string& program,
                                      std::vector<std::string> args) const {
    if (windows) args.insert(args.begin(), program);
    return args;
  }

  // A Windows console program ends its lines with CR LF: each line end is
  // checked for its CR, and the text is returned with the CRs taken out.
  std::string Text(const std::string& out) const {
    if (!windows) return out;
    std::string text;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') {
        text += '\n';
        ++i;
        continue;
      }
      EXPECT_NE(out[i], '\n') << "a line end without CR at byte " << i;
      text += out[i];
    }
    return text;
  }

  // Runs program (a copy of binary, or binary itself) against the device
  // root; its output as Text() gives it.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const std::string& deviceRoot, const std::vector<std::string>& env = {}) const {
    const std::string root = throughDriver() ? std::string() : Path(deviceRoot);
    RunResult run = windows ? RunUnderWine(RunnerArgs(program, args), root, env)
                            : RunProgram(program, args, root, env);
    run.out = Text(run.out);
    return run;
  }
};

// The rows a table runs for ukavlen.exe (or kavlen-bridge.exe): all of them,
// or none when no Windows program is named.
template <typename Row, std::size_t N>
std::vector<Row> ExeRows(const Row (&rows)[N], const char* variable = "KAVLEN_UKAVLEN_EXE") {
  if (std::getenv(variable) == nullptr) return {};
  return {std::begin(rows), std::end(rows)};
}

}  // namespace kavlen::test
