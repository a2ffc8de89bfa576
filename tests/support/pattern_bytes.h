#pragma once
// Test data whose bytes differ from their neighbours and repeat only every
// 256 bytes, so a dropped, doubled or shifted byte shows in a comparison.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavlen::test {

inline std::vector<std::uint8_t> PatternBytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

}  // namespace kavlen::test
