#pragma once
// The POSIX driver backend: each kavlen-sim process listening in the device
// root is one attached emulator.

#include <memory>
#include <string>

#include "platform/driver_api.h"

namespace kavlen {

// rootDir empty: DeviceRootDir() is looked up afresh at each enumeration.
std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir = {});

}  // namespace kavlen
