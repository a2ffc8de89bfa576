// Placing the records of any HEX or S-record text into the image buffer,
// under the rules both programs use, against a model of those rules:
// - a record past 0xFFFFFFFF is refused on its line, and a text without data
//   on its end line;
// - the base is the given one, or the lowest address rounded down to the
//   selected ROM size, or to the smallest size whose window, on a boundary
//   of that size, holds the lowest and the highest address (4 MB when none);
// - the first record below the base, past the limit or giving an address a
//   second value is the line refused;
// - a placed image holds each record's bytes at its address less the base
//   and the gap byte where no record wrote below its length, and nothing is
//   written anywhere else in the buffer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "device/image_records.h"
#include "device/rom_capacity.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using kavlen::DataRecords;
using kavlen::PlacedImage;
using kavlen::PlacementRule;

constexpr std::uint32_t kBufferSize = kavlen::kImageBufferSize;
constexpr std::uint64_t kAddressSpace = 0x100000000ull;
constexpr std::uint8_t kUntouched = 0xCC;

std::uint32_t ModelBase(std::uint64_t lowest, std::uint64_t highest, const PlacementRule& rule) {
  if (rule.base) return *rule.base;
  std::uint64_t capacity = kBufferSize;
  if (rule.sizeCode) {
    capacity = std::uint64_t{0x10000} << *rule.sizeCode;
  } else {
    for (std::uint64_t size = 0x10000; size <= kBufferSize; size <<= 1) {
      if (lowest / size == highest / size) {
        capacity = size;
        break;
      }
    }
  }
  return static_cast<std::uint32_t>(lowest - lowest % capacity);
}

void CheckPlacement(const DataRecords& data, const PlacementRule& rule) {
  static std::vector<std::uint8_t> buffer(kBufferSize, kUntouched);
  static std::vector<std::uint8_t> model(kBufferSize, kUntouched);
  const PlacedImage placed = kavlen::PlaceRecords(data, rule, buffer.data());

  std::optional<int> refused;
  bool past4G = false;
  std::uint64_t lowest = UINT64_MAX, highest = 0;
  for (const DataRecords::Record& r : data.records) {
    if (r.length == 0) continue;
    if (r.address + r.length > kAddressSpace) {
      refused = r.line;
      past4G = true;
      break;
    }
    lowest = std::min(lowest, r.address);
    highest = std::max(highest, r.address + r.length - 1);
  }
  if (!refused && lowest == UINT64_MAX) refused = data.endLine;

  const std::uint64_t limit = std::min<std::uint64_t>(rule.supportedBytes, kBufferSize);
  const std::uint32_t base = refused ? 0 : ModelBase(lowest, highest, rule);
  std::vector<bool> written(kBufferSize);
  std::uint64_t length = 0;
  for (const DataRecords::Record& r : data.records) {
    if (refused) break;
    if (r.length == 0) continue;
    const std::uint64_t start = r.address - base;
    if (r.address < base || start + r.length > limit) {
      refused = r.line;
      break;
    }
    for (std::uint32_t i = 0; i < r.length && !refused; ++i) {
      const std::uint8_t byte = data.bytes[r.offset + i];
      if (written[start + i] && model[start + i] != byte) refused = r.line;
      model[start + i] = byte;
      written[start + i] = true;
    }
    length = std::max(length, start + r.length);
  }

  if (refused) {
    FUZZ_REQUIRE(placed.error && placed.error->line == *refused);
    if (past4G) FUZZ_REQUIRE(placed.error->what == "record runs past 0xFFFFFFFF");
  } else {
    FUZZ_REQUIRE(!placed.error);
    FUZZ_REQUIRE(placed.base == base && placed.length == length);
    if (rule.gapFill) {
      for (std::uint32_t at = 0; at < length; ++at) {
        if (!written[at]) model[at] = *rule.gapFill;
      }
    }
    FUZZ_REQUIRE(std::memcmp(buffer.data(), model.data(), kBufferSize) == 0);
  }
  // Both wrote below the limit only (anything else failed the compare).
  std::memset(buffer.data(), kUntouched, limit);
  std::memset(model.data(), kUntouched, limit);
}

void CheckRules(const DataRecords& data) {
  std::uint64_t lowest = kAddressSpace - 1;
  for (const DataRecords::Record& r : data.records) {
    if (r.length != 0) lowest = std::min(lowest, r.address);
  }
  // a base at or a little below the lowest address, as a user would give it
  const std::uint32_t given = static_cast<std::uint32_t>(lowest) & ~0xFFFu;
  const PlacementRule rules[] = {
      {std::nullopt, std::nullopt, kBufferSize, std::uint8_t{0xFF}},  // ukavlen, base chosen
      {std::nullopt, std::nullopt, 0x20000, std::nullopt},            // a 128 KB emulator, -f 2
      {std::nullopt, std::uint8_t{1}, kBufferSize, std::uint8_t{0x00}},  // kavlen at 128 KBytes
      {given, std::nullopt, kBufferSize, std::uint8_t{0x5A}},         // --base
  };
  for (const PlacementRule& rule : rules) CheckPlacement(data, rule);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (auto parse : {kavlen::ParseIntelHex, kavlen::ParseSrecord}) {
    const kavlen::ParsedRecords parsed = parse(text);
    if (!parsed.error) CheckRules(parsed.data);
  }
  return 0;
}
