#pragma once
// The download run of ukavlen once the command line has been accepted.

#include "console/options.h"
#include "device/device_link.h"

namespace kavlen::console {

// Returns the exit status: 0 once the download step was reached, else 1.
int RunSequence(const ConsoleSettings& settings, DeviceLink& link);

}  // namespace kavlen::console
