#include "device/hex_dump.h"

namespace kavlen {

std::string HexDumpText(std::span<const std::uint8_t, kHexDumpBytes> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kHexDumpBytes * 6 + 16);
  for (std::size_t i = 0; i < kHexDumpBytes; ++i) {
    text += "0x";
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    text += ' ';
    if (i % 16 == 15) {
      text += '\n';
    } else if (i % 8 == 7) {
      text += " - ";
    }
  }
  return text;
}

}  // namespace kavlen
