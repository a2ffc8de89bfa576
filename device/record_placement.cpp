#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "device/image_records.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

constexpr std::uint64_t kAddressSpace = 0x100000000ull;

// Upper-case hexadecimal of an address that may lie past 4 GB.
std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

// The lowest address rounded down to a capacity: the one of `sizeCode` when
// given, otherwise the smallest whose window, aligned to its own size, holds
// the lowest and the highest address. Addresses that share no window of up
// to 4 MB are rounded to 4 MB, and what lies past it is refused.
std::uint32_t ChooseBase(std::uint32_t lowest, std::uint32_t highest,
                         std::optional<std::uint8_t> sizeCode) {
  const std::uint8_t code = sizeCode && IsTransferSizeCode(*sizeCode)
                                ? *sizeCode
                                : AlignedWindowSizeCode(lowest, highest).value_or(kLargestTransferSizeCode);
  return lowest - lowest % CapacityBytes(code);
}

}  // namespace

PlacedImage PlaceRecords(const DataRecords& data, const PlacementRule& rule, std::uint8_t* buffer) {
  PlacedImage placed;
  std::uint64_t lowest = UINT64_MAX;
  std::uint64_t highest = 0;
  for (const DataRecords::Record& r : data.records) {
    if (r.length == 0) continue;
    if (r.address + r.length > kAddressSpace) {
      placed.error = RecordError{r.line, "record runs past 0xFFFFFFFF"};
      return placed;
    }
    lowest = std::min(lowest, r.address);
    highest = std::max(highest, r.address + r.length - 1);
  }
  if (lowest == UINT64_MAX) {
    placed.error = RecordError{data.endLine, "no data records"};
    return placed;
  }
  placed.base = rule.base ? *rule.base
                          : ChooseBase(static_cast<std::uint32_t>(lowest),
                                       static_cast<std::uint32_t>(highest), rule.sizeCode);

  const std::uint64_t base = placed.base;
  const std::uint64_t limit = std::min<std::uint64_t>(rule.supportedBytes, kImageBufferSize);
  std::vector<bool> written(kImageBufferSize);
  std::uint64_t length = 0;
  for (const DataRecords::Record& r : data.records) {
    if (r.length == 0) continue;
    auto fail = [&](std::string what) {
      placed.error = RecordError{r.line, std::move(what)};
      return placed;
    };
    if (r.address < base) {
      return fail(StrPrintf("address %s below the base 0x%X", Hex(r.address).c_str(), placed.base));
    }
    const std::uint64_t start = r.address - base;
    const std::uint64_t end = start + r.length;
    if (end > limit) {
      const std::string first = Hex(base + std::max(start, limit));
      if (end > kImageBufferSize) {
        return fail(StrPrintf("address %s past 4 MB from the base 0x%X", first.c_str(), placed.base));
      }
      return fail(StrPrintf("address %s past the supported capacity of %u KBytes", first.c_str(),
                            static_cast<unsigned>(limit / 1024)));
    }
    const std::uint8_t* bytes = data.bytes.data() + r.offset;
    for (std::uint32_t i = 0; i < r.length; ++i) {
      const std::uint64_t at = start + i;
      if (written[at] && buffer[at] != bytes[i]) {
        return fail(StrPrintf("address %s gets 0x%02X here but 0x%02X from an earlier record",
                              Hex(base + at).c_str(), bytes[i], buffer[at]));
      }
      buffer[at] = bytes[i];
      written[at] = true;
    }
    length = std::max(length, end);
  }
  placed.length = static_cast<std::uint32_t>(length);
  if (rule.gapFill) {
    for (std::uint32_t at = 0; at < placed.length; ++at) {
      if (!written[at]) buffer[at] = *rule.gapFill;
    }
  }
  return placed;
}

}  // namespace kavlen
