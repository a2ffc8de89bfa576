#include "device/record_image_file.h"

#include <cstdio>

#include "device/image_buffer.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

enum class TextRead { Ok, OpenFailed, ReadFailed, TooLarge };

TextRead ReadText(const std::string& path, std::string& text) {
  if (NamesNonRegularFile(path)) return TextRead::OpenFailed;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return TextRead::OpenFailed;
  char chunk[65536];
  TextRead result = TextRead::Ok;
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (text.size() + got > kMaxRecordFileBytes) {
      result = TextRead::TooLarge;
      break;
    }
    text.append(chunk, got);
    if (got < sizeof chunk) {
      if (std::ferror(file) != 0) result = TextRead::ReadFailed;
      break;
    }
  }
  std::fclose(file);
  return result;
}

}  // namespace

RecordImage LoadRecordImageFile(const std::string& path, ImageFormat format,
                                const PlacementRule& rule, std::uint8_t* buffer) {
  RecordImage image;
  std::string text;
  switch (ReadText(path, text)) {
    case TextRead::OpenFailed:
      image.outcome = RecordLoad::OpenFailed;
      return image;
    case TextRead::ReadFailed:
      image.error = {0, "the file could not be read to its end"};
      return image;
    case TextRead::TooLarge:
      image.error = {0, StrPrintf("larger than %u MB, not a ROM image",
                                  static_cast<unsigned>(kMaxRecordFileBytes >> 20))};
      return image;
    case TextRead::Ok:
      break;
  }
  const ParsedRecords parsed =
      format == ImageFormat::Srecord ? ParseSrecord(text) : ParseIntelHex(text);
  if (parsed.error) {
    image.error = *parsed.error;
    return image;
  }
  const PlacedImage placed = PlaceRecords(parsed.data, rule, buffer);
  if (placed.error) {
    image.error = *placed.error;
    return image;
  }
  image.outcome = RecordLoad::Loaded;
  image.base = placed.base;
  image.length = placed.length;
  return image;
}

std::string RecordErrorLine(const std::string& path, const RecordError& error) {
  if (error.line == 0) return path + ": " + error.what + "\n";
  return StrPrintf("%s:%d: %s\n", path.c_str(), error.line, error.what.c_str());
}

}  // namespace kavlen
