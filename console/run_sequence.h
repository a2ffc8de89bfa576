#pragma once
// The download run of ukavlen once the command line has been accepted:
// device check and device OS load, download, optional verify, end of
// download and target reset.

#include "console/options.h"
#include "console/run_events.h"
#include "device/device_link.h"

namespace kavlen::console {

// Exit statuses of a run. Success only when everything asked for was done.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStopped = 1;         // ended before the download step
inline constexpr int kExitDownloadFailed = 2;  // file, capacity, readiness, pipe or block write
inline constexpr int kExitVerifyFailed = 3;    // a byte differed or the read-back was cut short
inline constexpr int kExitResetFailed = 4;     // all else done, the reset commands not sent

// Open device, boot status, device OS load when only the boot code runs, and
// the device information. True with the device still open and the supported
// code set; false after printing why, with the device closed.
// The events go to `events` as well, and then OnDevice and, when the device
// answered, OnDeviceOs.
bool PrepareDevice(DeviceLink& link, std::uint8_t& supportedCode, RunEvents& events);

// Returns the exit status. Nothing stays open on the device when it returns.
int RunSequence(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events);

// --verify-only: prepares the device and loads the image as RunSequence
// does, then reads back the blocks the image covers and compares them: 0
// equal, 3 not (or the read-back cut short), 1 and 2 as RunSequence stops.
// Only CMD_UPLOAD follows the preparation: nothing is downloaded, nothing
// told to the device, no reset.
int VerifyOnly(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events);

// The number of the emulator the link opened last, counting from 1 in
// enumeration order; 0 when it is not among those attached.
std::uint32_t EmulatorNumber(DeviceLink& link);

}  // namespace kavlen::console
