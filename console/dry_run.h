#pragma once
// ukavlen -d FILE --dry-run: everything a run does up to the first request
// that would change the emulator, and a line saying what it would send.

#include "console/options.h"
#include "console/run_events.h"
#include "device/device_link.h"

namespace kavlen::console {

// Asks the emulator, when one answers, only what runs on it and (with its
// device OS running) its information; a device in its boot code is not
// given its device OS. The image is loaded and checked against the
// emulator's capacity, or the 4 MB buffer when that is not known. Returns
// the status the run would reach for the image: 0, or 2 for an image it
// would refuse (1 for a device in a fatal state, or in its boot code with
// no device OS file to give it).
int DryRun(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events);

}  // namespace kavlen::console
