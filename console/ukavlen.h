#pragma once
// The whole ukavlen program apart from its process entry.

#include <chrono>
#include <string>
#include <vector>

#include "console/json_lines.h"
#include "device/trace_sink.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"

namespace kavlen::console {

// Where --progress draws, and the clock --json and --progress pace by.
struct ProgressOutput {
  TraceSink* err = nullptr;  // null: no progress display
  bool errIsTerminal = false;
  ClockNow now = [] { return std::chrono::steady_clock::now(); };
};

// args are the arguments after the program name; returns the exit status.
// A run (and -u) holds the emulator from its first request to its last;
// while another program holds it, the run waits up to lockWait and then
// stops with status 1 without touching it.
int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
               std::chrono::milliseconds lockWait = kDeviceLockWait,
               const ProgressOutput& progress = {});

}  // namespace kavlen::console
