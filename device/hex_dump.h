#pragma once
// Text form of 64 bytes as the GUI shows replies and buffer contents: four
// lines of sixteen "0xHH" texts, a dash between the two halves of each line.

#include <cstdint>
#include <span>
#include <string>

#include "device/command_block.h"

namespace kavlen {

inline constexpr std::size_t kHexDumpBytes = 64;

std::string HexDumpText(std::span<const std::uint8_t, kHexDumpBytes> bytes);

}  // namespace kavlen
