#include <algorithm>
#include <cstdint>

#include "device/image_records.h"
#include "device/record_lines.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

enum : std::uint8_t {
  kData = 0x00,
  kEndOfFile = 0x01,
  kExtendedSegment = 0x02,
  kStartSegment = 0x03,
  kExtendedLinear = 0x04,
  kStartLinear = 0x05,
};

// Data bytes each record type other than data must carry.
int FixedLength(std::uint8_t type) {
  switch (type) {
    case kEndOfFile: return 0;
    case kExtendedSegment:
    case kExtendedLinear: return 2;
    case kStartSegment:
    case kStartLinear: return 4;
    default: return -1;
  }
}

}  // namespace

ParsedRecords ParseIntelHex(std::string_view text) {
  ParsedRecords parsed;
  DataRecords& data = parsed.data;
  std::uint64_t upper = 0;  // from the last extended address record
  bool segmented = false;   // that record was a segment address (type 02)
  bool ended = false;
  std::vector<std::uint8_t> bytes;
  auto fail = [&](int line, std::string what) {
    parsed.error = RecordError{line, std::move(what)};
    return false;
  };

  records::ForEachLine(text, [&](int line, std::string_view record) {
    if (record[0] != ':') return fail(line, "line does not begin with ':'");
    if (auto bad = records::DecodeHexPairs(record.substr(1), bytes)) return fail(line, *bad);
    if (bytes.size() < 5) return fail(line, "short record");
    const std::size_t count = bytes[0];
    if (bytes.size() < count + 5) {
      return fail(line, StrPrintf("short record: %u data bytes announced, %u present",
                                  static_cast<unsigned>(count), static_cast<unsigned>(bytes.size() - 5)));
    }
    if (bytes.size() > count + 5) {
      return fail(line, StrPrintf("record longer than its count of %u data bytes", static_cast<unsigned>(count)));
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    const std::uint8_t expected = static_cast<std::uint8_t>(0x100 - sum);
    if (bytes.back() != expected) {
      return fail(line, StrPrintf("bad checksum 0x%02X, expected 0x%02X", bytes.back(), expected));
    }

    const std::uint8_t type = bytes[3];
    const std::uint32_t address = records::BigEndian(bytes, 1, 2);
    if (type == kData) {
      const std::uint8_t* payload = bytes.data() + 4;
      // A segment's offset wraps at 64 KB: what runs past 0xFFFF goes on at
      // the segment's start. Linear addresses run on.
      const std::size_t first = segmented ? std::min<std::size_t>(count, 0x10000 - address) : count;
      records::AddData(data, upper + address, payload, first, line);
      if (first < count) records::AddData(data, upper, payload + first, count - first, line);
      return true;
    }
    const int fixed = FixedLength(type);
    if (fixed < 0) return fail(line, StrPrintf("unknown record type %02X", type));
    if (count != static_cast<std::size_t>(fixed)) {
      return fail(line, StrPrintf("record type %02X must hold %d data bytes, not %u", type, fixed,
                                  static_cast<unsigned>(count)));
    }
    if (type == kExtendedSegment || type == kExtendedLinear) {
      segmented = type == kExtendedSegment;
      upper = std::uint64_t{records::BigEndian(bytes, 4, 2)} << (segmented ? 4 : 16);
    }
    if (type == kEndOfFile) {
      ended = true;
      data.endLine = line;
      return false;
    }
    return true;  // start addresses: the image does not need them
  });

  if (!parsed.error && !ended) {
    parsed.error = RecordError{records::LineCount(text) + 1, "no end-of-file record (type 01)"};
  }
  return parsed;
}

}  // namespace kavlen
