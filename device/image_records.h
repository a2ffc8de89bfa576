#pragma once
// ROM images written as text records (Intel HEX, Motorola S-records): what
// the parsers make of the text, and placing those records into the image
// buffer as offsets from a base address.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavlen {

enum class ImageFormat { Binary, IntelHex, Srecord };

// By extension, case ignored: .hex .ihx .ihex are Intel HEX; .s19 .s28 .s37
// .srec .mot are S-records; anything else is binary.
ImageFormat ImageFormatOfPath(const std::string& path);
// "bin", "ihex" or "srec"; nullopt for any other name.
std::optional<ImageFormat> ImageFormatNamed(std::string_view name);

// What is wrong with a text image, and on which line (counting from 1).
struct RecordError {
  int line = 0;
  std::string what;
};

// The data records of a text image, in file order. Addresses are 64-bit so
// that a record running past 4 GB is still seen as such.
struct DataRecords {
  struct Record {
    std::uint64_t address;
    std::uint32_t offset;  // into bytes
    std::uint32_t length;
    int line;
  };
  std::vector<Record> records;
  std::vector<std::uint8_t> bytes;  // the data of every record, one after another
  int endLine = 0;                  // line of the end record
};

struct ParsedRecords {
  DataRecords data;
  std::optional<RecordError> error;  // set: nothing else is valid
};

// Record types 00 to 05; a data record under a segment address (type 02)
// wraps at the end of its 64 KB segment. Lines after the end-of-file record
// are not read; a file without one is refused (it may have been cut short).
ParsedRecords ParseIntelHex(std::string_view text);
// S0 to S3, S5/S6 (their count must match the data records before them) and
// S7 to S9, which end the file; a file without an end record is refused.
ParsedRecords ParseSrecord(std::string_view text);

struct PlacementRule {
  std::optional<std::uint32_t> base;      // given by the user; otherwise chosen
  std::optional<std::uint8_t> sizeCode;   // capacity to round the base to; otherwise the
                                          // smallest whose aligned window holds the records
  std::uint32_t supportedBytes;           // records must end within this many bytes of the base
  std::optional<std::uint8_t> gapFill;    // byte for addresses no record writes; nullopt: left as is
};

struct PlacedImage {
  std::uint32_t base = 0;
  std::uint32_t length = 0;  // highest offset written + 1
  std::optional<RecordError> error;
};

// Writes the records into buffer (kImageBufferSize bytes) at address - base.
// Refuses a record past 0xFFFFFFFF, below the base, past 4 MB or past
// supportedBytes, and one that gives a different byte to an address an
// earlier record wrote.
PlacedImage PlaceRecords(const DataRecords& data, const PlacementRule& rule, std::uint8_t* buffer);

// The text forms of an image whose first byte sits at base: 16 data bytes a
// record, with the end record (and, for HEX, extended linear addresses).
std::string FormatIntelHex(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t base);
std::string FormatSrecord(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t base);

}  // namespace kavlen
