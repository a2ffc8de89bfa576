#pragma once
// ukavlen --read FILE: the emulator's memory back into a file.

#include <cstdint>
#include <optional>
#include <string>

#include "console/run_events.h"
#include "device/device_link.h"
#include "device/image_records.h"

namespace kavlen::console {

struct ReadRequest {
  std::string fileName;
  ImageFormat format = ImageFormat::Binary;
  std::uint32_t base = 0;  // address of the first byte in HEX and S-record files
};

// Exit statuses of a read-back.
inline constexpr int kReadOk = 0;
inline constexpr int kReadStopped = 1;  // ended before reading, as a download run would
inline constexpr int kReadFailed = 3;   // a block, or the file, could not be had whole

// Prepares the device as a download run does, then reads the supported
// capacity (4 MB when it is not recognised) with CMD_UPLOAD and the IN pipe
// and, once every block was read whole, gives FILE the memory (see
// read_back_file.h). Nothing else is sent to the device. Ctrl-C, TERM and
// HUP during the read end it after the block in flight. Returns the exit
// status; on failure FILE is left as it was.
int ReadEmulator(const ReadRequest& request, DeviceLink& link, RunEvents& events);

}  // namespace kavlen::console
