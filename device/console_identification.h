#pragma once
// The console program's identification: the exchanges of identification.h
// with the lines ukavlen prints, written through the sink.

#include "device/identification.h"
#include "device/trace_sink.h"

namespace kavlen {

// Prints the "Device Info" line when the device OS runs and the boot error
// line when the boot code reports an error; nothing otherwise.
BootStatus ConsoleQueryBootStatus(DriverApi& api, Handle device, CommandBlock& block,
                                  TraceSink& sink);

// Prints the checksum and capacity line when the reply was received.
DeviceInfo ConsoleQueryDeviceInfo(DriverApi& api, Handle device, CommandBlock& block,
                                  TraceSink& sink);

}  // namespace kavlen
