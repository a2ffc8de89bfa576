#pragma once
// A ROM image as the library holds it: the bytes of its ROM size, ready to
// be sent in whole transfer blocks, with the length and checksum of what
// the file or the caller gave.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "include/kavlen/kavlen.h"

struct kv_image {
  std::vector<std::uint8_t> bytes;  // the capacity of sizeCode
  std::uint32_t length = 0;
  std::uint32_t checksum = 0;
  std::uint32_t base = 0;
  std::uint8_t sizeCode = 0;
};

namespace kavlen::lib {

struct ImageLoad {
  kv_status status = KV_OK;
  std::string error;  // the message for kv_last_error
  std::optional<kv_image> image;
};

// format: nullptr (by extension), "bin", "ihex" or "srec"; base < 0: chosen
// from the records; fill: 0 (0x00), 1 (0xFF) or 2 (left as it is).
ImageLoad LoadImage(const std::string& path, const char* format, std::int64_t base, int fill);
ImageLoad ImageFromBytes(const std::uint8_t* data, std::size_t length, int fill);

}  // namespace kavlen::lib
