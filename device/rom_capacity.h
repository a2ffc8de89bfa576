#pragma once
// ROM size codes and the two per-code tables both programs carry. Code c
// stands for a capacity of 64 KB x 2^c; code 7 (8 MB) is only ever reported
// by a device, and code 255 means the device reported a capacity mask that is
// none of the eight known ones. Neither table is ever indexed with a code
// outside 0..7, and no transfer uses a code above 6.

#include <array>
#include <cstdint>
#include <optional>

namespace kavlen {

inline constexpr std::uint8_t kLargestRomSizeCode = 7;
inline constexpr std::uint8_t kLargestTransferSizeCode = 6;
inline constexpr std::uint8_t kUnknownRomSizeCode = 255;

// Highest byte address of each capacity (capacity - 1).
inline constexpr std::array<std::uint32_t, 8> kLastAddressTable = {
    0x00FFFF, 0x01FFFF, 0x03FFFF, 0x07FFFF, 0x0FFFFF, 0x1FFFFF, 0x3FFFFF, 0x7FFFFF};
// Number of 16 KB transfer blocks in each capacity.
inline constexpr std::array<std::uint32_t, 8> kBlockCountTable = {4, 8, 16, 32, 64, 128, 256, 512};

// The image buffer holds the capacity of code 6.
inline constexpr std::uint32_t kImageBufferSize = 0x400000;

constexpr bool IsRomSizeCode(std::uint8_t code) { return code <= kLargestRomSizeCode; }
constexpr bool IsTransferSizeCode(std::uint8_t code) { return code <= kLargestTransferSizeCode; }

// Capacity in bytes of a code 0..7; 0 for any other code.
std::uint32_t CapacityBytes(std::uint8_t code);

// Number of transfer blocks for a code 0..6; 0 for any other code, so that
// nothing is ever transferred with code 7 or 255.
std::uint16_t TransferBlockCount(std::uint8_t code);

// The device's capacity mask (2^code - 1) to a code; 255 for any other value.
std::uint8_t SizeCodeFromMask(std::uint8_t mask);

// Smallest code whose capacity holds `length` bytes; lengths beyond the
// image buffer count as code 6 (only that much is ever read).
std::uint8_t ImageSizeCode(std::uint32_t length);

// Smallest code 0..6 whose capacity, laid on a boundary of that capacity,
// holds both addresses (lowest <= highest): the ROM a target decodes on its
// own size sees both where they are. nullopt when no 4 MB window holds them.
std::optional<std::uint8_t> AlignedWindowSizeCode(std::uint32_t lowest, std::uint32_t highest);

// An image fits when its length is at most the capacity of the supported
// code. A code outside 0..7 (255: mask not recognised) has no known limit:
// anything the image buffer can hold fits.
bool FitsCapacity(std::uint32_t length, std::uint8_t supportedCode);

}  // namespace kavlen
