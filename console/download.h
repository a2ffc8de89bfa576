#pragma once
// The download step of ukavlen: the image file into the image buffer, the
// capacity check, the download request with its ready poll, and the blocks
// written to the OUT pipe.

#include <cstdint>

#include "console/options.h"
#include "console/run_events.h"
#include "device/device_link.h"
#include "device/image_buffer.h"

namespace kavlen::console {

// Runs on the device the run sequence opened and closes it once the download
// request has gone out. 1 when every block was written whole; 0 after printing
// why, with the image buffer released again. Nothing at all reaches the
// device when the file cannot be loaded or does not fit supportedCode.
int DownloadImage(DeviceLink& link, const ConsoleSettings& settings, std::uint8_t supportedCode,
                  ImageBuffer& buffer, LoadedImage& image, RunEvents& events);

// The file into the buffer and the capacity check, with their lines (from
// the size and checksum line to "Load Binary File is OK! ..." or the line
// that refuses the image); OnImage once it loaded. False with the buffer
// released.
bool LoadForDownload(const ConsoleSettings& settings, std::uint8_t supportedCode,
                     ImageBuffer& buffer, LoadedImage& image, TraceSink& sink, RunEvents& events);

// Writes blocks 0..blockCount-1 of the buffer to an open OUT pipe, a dot per
// block. A failed or short write stops at that block and names it. True when
// all were written.
bool WriteBlocks(DriverApi& api, Handle pipe, const std::uint8_t* image, std::uint16_t blockCount,
                 TraceSink& sink);

}  // namespace kavlen::console
