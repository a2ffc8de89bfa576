#pragma once
// The whole ukavlen program apart from its process entry.

#include <chrono>
#include <string>
#include <vector>

#include "device/trace_sink.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"

namespace kavlen::console {

// args are the arguments after the program name; returns the exit status.
// A run (and -u) holds the emulator from its first request to its last;
// while another program holds it, the run waits up to lockWait and then
// stops with status 1 without touching it.
int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out,
               std::chrono::milliseconds lockWait = kDeviceLockWait);

}  // namespace kavlen::console
