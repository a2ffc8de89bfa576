#pragma once
// The whole ukavlen program apart from its process entry.

#include <string>
#include <vector>

#include "device/trace_sink.h"
#include "platform/driver_api.h"

namespace kavlen::console {

// args are the arguments after the program name; returns the exit status.
int RunUkavlen(const std::vector<std::string>& args, DriverApi& api, TraceSink& out);

}  // namespace kavlen::console
