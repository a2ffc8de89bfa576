#pragma once
// ukavlen --list and --device N: the attached emulators, numbered from 1 in
// enumeration order.

#include <cstdint>
#include <string>

#include "device/device_link.h"

namespace kavlen::console {

// One line per emulator: number, device path and what its boot status and
// (when its device OS runs) its device information say. Opens each in turn
// and closes it again. Returns the exit status: 0 when at least one was
// found, 1 when none.
int ListEmulators(DeviceLink& link);

struct EmulatorState {
  enum Kind { Busy, Unopened, BootCode, OsRunning, Fault };
  std::string text;  // as --list words it
  Kind kind;
};
// What the selected emulator is: held by another program (then it is not
// touched), not to be opened, or what its boot status and information say.
EmulatorState DescribeEmulator(DeviceLink& link);

// Makes the link use emulator `number` (0: the last one, as always). False
// after a message when no emulator has that number.
bool SelectEmulator(DeviceLink& link, std::uint32_t number);

}  // namespace kavlen::console
