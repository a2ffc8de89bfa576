// The Intel HEX and S-record parsers and the placement of their records on
// any text. Properties:
// - a refusal names a line of the text, or the one after it for a missing
//   end record;
// - a placed image holds every record's bytes at its address less the base;
// - writing the placed image back out in either form and reading that text
//   again gives the same bytes, length and base.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "device/image_records.h"
#include "device/rom_capacity.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

using kavlen::DataRecords;
using kavlen::ParsedRecords;
using kavlen::PlacedImage;
using kavlen::PlacementRule;

constexpr std::uint8_t kGap = 0xA5;

int LineCount(std::string_view text) {
  int lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

PlacedImage Place(const DataRecords& data, std::optional<std::uint32_t> base, std::vector<std::uint8_t>& buffer) {
  std::memset(buffer.data(), 0, buffer.size());
  return kavlen::PlaceRecords(data, PlacementRule{base, std::nullopt, kavlen::kImageBufferSize, kGap},
                              buffer.data());
}

void CheckRoundTrip(ParsedRecords (*parse)(std::string_view), const std::string& text,
                    const PlacedImage& first, const std::vector<std::uint8_t>& image) {
  static std::vector<std::uint8_t> again(kavlen::kImageBufferSize);
  const ParsedRecords reparsed = parse(text);
  FUZZ_REQUIRE(!reparsed.error);
  const PlacedImage second = Place(reparsed.data, first.base, again);
  FUZZ_REQUIRE(!second.error);
  FUZZ_REQUIRE(second.base == first.base && second.length == first.length);
  FUZZ_REQUIRE(std::memcmp(again.data(), image.data(), first.length) == 0);
}

void Check(ParsedRecords (*parse)(std::string_view), std::string_view text) {
  static std::vector<std::uint8_t> image(kavlen::kImageBufferSize);
  const ParsedRecords parsed = parse(text);
  if (parsed.error) {
    FUZZ_REQUIRE(parsed.error->line >= 1 && parsed.error->line <= LineCount(text) + 1);
    FUZZ_REQUIRE(!parsed.error->what.empty());
    return;
  }
  const PlacedImage placed = Place(parsed.data, std::nullopt, image);
  if (placed.error) return;
  for (const DataRecords::Record& r : parsed.data.records) {
    if (r.length == 0) continue;
    FUZZ_REQUIRE(r.address >= placed.base && r.address - placed.base + r.length <= placed.length);
    FUZZ_REQUIRE(std::memcmp(image.data() + (r.address - placed.base),
                             parsed.data.bytes.data() + r.offset, r.length) == 0);
  }
  CheckRoundTrip(kavlen::ParseIntelHex, kavlen::FormatIntelHex(image.data(), placed.length, placed.base),
                 placed, image);
  CheckRoundTrip(kavlen::ParseSrecord, kavlen::FormatSrecord(image.data(), placed.length, placed.base),
                 placed, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Check(kavlen::ParseIntelHex, text);
  Check(kavlen::ParseSrecord, text);
  return 0;
}
