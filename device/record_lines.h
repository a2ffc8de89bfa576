#pragma once
// What the Intel HEX and S-record parsers share: walking the text line by
// line, turning a line's hex digits into bytes and keeping a data record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/image_records.h"

namespace kavlen::records {

// Appends one data record of `length` bytes at `address`.
void AddData(DataRecords& data, std::uint64_t address, const std::uint8_t* bytes,
             std::size_t length, int line);

// Calls visit(lineNumber, line) for each line that is not blank, trailing
// blanks and the carriage return of a CR LF line removed; stops when visit
// returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    if (line.empty()) continue;
    if (!visit(number, line)) return;
  }
}

// The number of the last line of the text (a final line feed ends a line
// without starting one).
int LineCount(std::string_view text);

// Pairs of hex digits to bytes; a complaint when a character is not a hex
// digit or a digit is left over.
std::optional<std::string> DecodeHexPairs(std::string_view digits, std::vector<std::uint8_t>& bytes);

// Big-endian number of `count` bytes starting at `from`.
std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count);

}  // namespace kavlen::records
