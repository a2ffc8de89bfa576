#pragma once
// Reading an Intel HEX or S-record file into the image buffer.

#include <cstdint>
#include <string>

#include "device/image_records.h"

namespace kavlen {

// A text image of a full 4 MB ROM with one data byte a record is about
// 50 MB; anything much larger is not an image.
inline constexpr std::uint64_t kMaxRecordFileBytes = 64ull * 1024 * 1024;

enum class RecordLoad { Loaded, OpenFailed, Refused };

struct RecordImage {
  RecordLoad outcome = RecordLoad::Refused;
  std::uint32_t base = 0;
  std::uint32_t length = 0;
  RecordError error;  // Refused: line 0 when the fault is the file as a whole
};

// Parses the file as `format` (IntelHex or Srecord) and places its records
// into buffer (kImageBufferSize bytes) as PlaceRecords does.
RecordImage LoadRecordImageFile(const std::string& path, ImageFormat format,
                                const PlacementRule& rule, std::uint8_t* buffer);

// "<path>:<line>: <what>\n", or "<path>: <what>\n" for line 0.
std::string RecordErrorLine(const std::string& path, const RecordError& error);

}  // namespace kavlen
