#pragma once
// A command block written out as the bytes that are not zero.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "device/command_block.h"

namespace kavlen::test {

inline CommandBlock BlockFrom(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
  CommandBlock block{};
  for (const auto& [index, value] : bytes) block[index] = value;
  return block;
}

}  // namespace kavlen::test
