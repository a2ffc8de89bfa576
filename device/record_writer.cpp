#include <algorithm>
#include <cstdint>
#include <string>

#include "device/image_records.h"

namespace kavlen {

namespace {

constexpr std::uint32_t kRecordData = 16;

class RecordText {
 public:
  explicit RecordText(std::string& out) : out_(out) {}
  void Byte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out_ += kDigits[value >> 4];
    out_ += kDigits[value & 0xF];
    sum_ = static_cast<std::uint8_t>(sum_ + value);
  }
  void Number(std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Start(char mark) {
    out_ += mark;
    sum_ = 0;
  }
  std::uint8_t sum() const { return sum_; }
  void End(std::uint8_t checksum) {
    const std::uint8_t keep = sum_;
    Byte(checksum);
    sum_ = keep;
    out_ += '\n';
  }

 private:
  std::string& out_;
  std::uint8_t sum_ = 0;
};

}  // namespace

std::string FormatIntelHex(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t base) {
  std::string out;
  out.reserve(length / kRecordData * 44 + 64);
  RecordText text(out);
  auto record = [&](std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
                    std::uint32_t count) {
    text.Start(':');
    text.Byte(static_cast<std::uint8_t>(count));
    text.Number(address, 2);
    text.Byte(type);
    for (std::uint32_t i = 0; i < count; ++i) text.Byte(data[i]);
    text.End(static_cast<std::uint8_t>(0x100 - text.sum()));
  };
  std::uint32_t upper = 0;
  for (std::uint32_t offset = 0; offset < length;) {
    const std::uint32_t address = base + offset;
    if ((address >> 16) != upper) {
      upper = address >> 16;
      const std::uint8_t value[2] = {static_cast<std::uint8_t>(upper >> 8),
                                     static_cast<std::uint8_t>(upper)};
      record(0x04, 0, value, 2);
    }
    // A record never crosses a 64 KB boundary: its address is 16 bits.
    const std::uint32_t count =
        std::min({kRecordData, length - offset, 0x10000 - (address & 0xFFFF)});
    record(0x00, static_cast<std::uint16_t>(address), bytes + offset, count);
    offset += count;
  }
  record(0x01, 0, nullptr, 0);
  return out;
}

std::string FormatSrecord(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t base) {
  std::string out;
  out.reserve(length / kRecordData * 48 + 64);
  RecordText text(out);
  const std::uint64_t last = std::uint64_t{base} + (length > 0 ? length - 1 : 0);
  const int addressBytes = last <= 0xFFFF ? 2 : last <= 0xFFFFFF ? 3 : 4;
  const char dataType = static_cast<char>('0' + addressBytes - 1);  // S1, S2, S3
  const char endType = static_cast<char>('0' + 11 - addressBytes);  // S9, S8, S7
  auto record = [&](char type, int width, std::uint32_t address, const std::uint8_t* data,
                    std::uint32_t count) {
    text.Start('S');
    out += type;
    text.Byte(static_cast<std::uint8_t>(width + count + 1));
    text.Number(address, width);
    for (std::uint32_t i = 0; i < count; ++i) text.Byte(data[i]);
    text.End(static_cast<std::uint8_t>(~text.sum()));
  };
  record('0', 2, 0, nullptr, 0);
  for (std::uint32_t offset = 0; offset < length; offset += kRecordData) {
    record(dataType, addressBytes, base + offset, bytes + offset,
           std::min(kRecordData, length - offset));
  }
  record(endType, addressBytes, 0, nullptr, 0);
  return out;
}

}  // namespace kavlen
