#include "device/record_lines.h"

#include "device/str_printf.h"

namespace kavlen::records {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int LineCount(std::string_view text) {
  int lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  return text.empty() || text.back() == '\n' ? lines : lines + 1;
}

std::optional<std::string> DecodeHexPairs(std::string_view digits, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (HexValue(digits[i]) < 0) {
      const unsigned char c = static_cast<unsigned char>(digits[i]);
      return c >= 0x20 && c < 0x7F ? StrPrintf("bad hex digit '%c'", c)
                                   : StrPrintf("bad hex digit (byte 0x%02X)", c);
    }
  }
  if (digits.size() % 2 != 0) return std::string("odd number of hex digits");
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
  }
  return std::nullopt;
}

void AddData(DataRecords& data, std::uint64_t address, const std::uint8_t* bytes,
             std::size_t length, int line) {
  data.records.push_back({address, static_cast<std::uint32_t>(data.bytes.size()),
                          static_cast<std::uint32_t>(length), line});
  data.bytes.insert(data.bytes.end(), bytes, bytes + length);
}

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[from + i];
  return value;
}

}  // namespace kavlen::records
