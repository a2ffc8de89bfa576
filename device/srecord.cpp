#include <cstdint>

#include "device/image_records.h"
#include "device/record_lines.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

// Address bytes of each record type S0..S9; 0 where the type is not defined (S4).
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

ParsedRecords ParseSrecord(std::string_view text) {
  ParsedRecords parsed;
  DataRecords& data = parsed.data;
  bool ended = false;
  std::uint32_t dataRecords = 0;
  std::vector<std::uint8_t> bytes;
  auto fail = [&](int line, std::string what) {
    parsed.error = RecordError{line, std::move(what)};
    return false;
  };

  records::ForEachLine(text, [&](int line, std::string_view record) {
    if (record[0] != 'S') return fail(line, "line does not begin with 'S'");
    if (record.size() < 2) return fail(line, "short record");
    const char typeChar = record[1];
    if (typeChar < '0' || typeChar > '9' || kAddressBytes[typeChar - '0'] == 0) {
      return fail(line, StrPrintf("unknown record type S%c", typeChar));
    }
    const int type = typeChar - '0';
    if (auto bad = records::DecodeHexPairs(record.substr(2), bytes)) return fail(line, *bad);
    const std::size_t addressBytes = static_cast<std::size_t>(kAddressBytes[type]);
    if (bytes.size() < addressBytes + 2) return fail(line, "short record");
    const std::size_t count = bytes[0];
    if (bytes.size() < count + 1) {
      return fail(line, StrPrintf("short record: %u bytes announced, %u present",
                                  static_cast<unsigned>(count), static_cast<unsigned>(bytes.size() - 1)));
    }
    if (bytes.size() > count + 1) {
      return fail(line, StrPrintf("record longer than its count of %u bytes", static_cast<unsigned>(count)));
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    const std::uint8_t expected = static_cast<std::uint8_t>(~sum);
    if (bytes.back() != expected) {
      return fail(line, StrPrintf("bad checksum 0x%02X, expected 0x%02X", bytes.back(), expected));
    }

    const std::uint32_t address = records::BigEndian(bytes, 1, addressBytes);
    const std::size_t dataBytes = count - addressBytes - 1;
    switch (type) {
      case 1:
      case 2:
      case 3:
        records::AddData(data, address, bytes.data() + 1 + addressBytes, dataBytes, line);
        ++dataRecords;
        return true;
      case 5:
      case 6:
        if (address != dataRecords) {
          return fail(line, StrPrintf("record count %u, but %u data records precede it", address,
                                      dataRecords));
        }
        return true;
      case 7:
      case 8:
      case 9:
        ended = true;
        data.endLine = line;
        return false;
      default:  // S0: the header says nothing about the image
        return true;
    }
  });

  if (!parsed.error && !ended) {
    parsed.error = RecordError{records::LineCount(text) + 1, "no end record (S7, S8 or S9)"};
  }
  return parsed;
}

}  // namespace kavlen
