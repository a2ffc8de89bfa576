#pragma once
// ukavlen --doctor: the set-up checked one line per check, "ok" or "FAIL"
// with what to do about it.

#include "device/device_link.h"

namespace kavlen::console {

// The emulators found (and, on Linux, simulator sockets whose simulator is
// gone), what each is and whether another program holds it, which device OS
// file a run would send (every folder searched, in order) and where kavlen
// keeps its settings. Returns 0 when every check is ok, else 1.
int RunDoctor(DeviceLink& link);

}  // namespace kavlen::console
