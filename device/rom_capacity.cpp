#include "device/rom_capacity.h"

namespace kavlen {

std::uint32_t CapacityBytes(std::uint8_t code) {
  return IsRomSizeCode(code) ? kLastAddressTable[code] + 1 : 0;
}

std::uint16_t TransferBlockCount(std::uint8_t code) {
  return IsTransferSizeCode(code) ? static_cast<std::uint16_t>(kBlockCountTable[code]) : 0;
}

std::uint8_t SizeCodeFromMask(std::uint8_t mask) {
  for (std::uint8_t code = 0; code <= kLargestRomSizeCode; ++code) {
    if (mask == (kLastAddressTable[code] >> 16)) return code;
  }
  return kUnknownRomSizeCode;
}

std::uint8_t ImageSizeCode(std::uint32_t length) {
  std::uint8_t code = 0;
  while (code < kLargestTransferSizeCode && length > kLastAddressTable[code] + 1) ++code;
  return code;
}

std::optional<std::uint8_t> AlignedWindowSizeCode(std::uint32_t lowest, std::uint32_t highest) {
  for (std::uint8_t code = 0; code <= kLargestTransferSizeCode; ++code) {
    const std::uint32_t capacity = CapacityBytes(code);
    if (lowest / capacity == highest / capacity) return code;
  }
  return std::nullopt;
}

bool FitsCapacity(std::uint32_t length, std::uint8_t supportedCode) {
  if (!IsRomSizeCode(supportedCode)) return length <= kImageBufferSize;
  return length <= kLastAddressTable[supportedCode] + 1;
}

}  // namespace kavlen
