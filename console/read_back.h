#pragma once
// ukavlen --read FILE: the emulator's memory back into a file.

#include <cstdint>
#include <optional>
#include <string>

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
// and writes it to a temporary file beside FILE, renamed to FILE once every
// block was read whole. Nothing else is sent to the device. Returns the exit
// status; on failure no file is left behind.
int ReadEmulator(const ReadRequest& request, DeviceLink& link);

}  // namespace kavlen::console
