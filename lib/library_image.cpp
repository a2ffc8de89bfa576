#include "lib/library_image.h"

#include "device/image_buffer.h"
#include "device/record_image_file.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"

namespace kavlen::lib {

namespace {

constexpr int kFillLeft = 2;

ImageLoad Refused(kv_status status, std::string error) { return {status, std::move(error), {}}; }

std::optional<std::uint8_t> FillByte(int fill) {
  if (fill == kFillZeros) return std::uint8_t{0x00};
  if (fill == kFillOnes) return std::uint8_t{0xFF};
  return std::nullopt;
}

// Cuts the bytes to the image's ROM size and fills past the image.
ImageLoad Finish(kv_image image, int fill) {
  image.sizeCode = ImageSizeCode(image.length);
  image.checksum = ImageChecksum(image.bytes.data(), image.length);
  if (const auto value = FillByte(fill)) {
    FillPastImage(image.bytes.data(), image.length, image.sizeCode, *value);
  }
  image.bytes.resize(CapacityBytes(image.sizeCode));
  return {KV_OK, {}, std::move(image)};
}

}  // namespace

ImageLoad LoadImage(const std::string& path, const char* format, std::int64_t base, int fill) {
  if (fill < 0 || fill > kFillLeft) return Refused(KV_BAD_ARGUMENT, StrPrintf("fill %d is not 0, 1 or 2", fill));
  if (base < -1 || base > 0xFFFFFFFF) return Refused(KV_BAD_ARGUMENT, "the base is not -1 or a 32-bit address");
  ImageFormat chosen = ImageFormatOfPath(path);
  if (format != nullptr) {
    const auto named = ImageFormatNamed(format);
    if (!named) return Refused(KV_BAD_ARGUMENT, std::string("unknown image format \"") + format + "\"");
    chosen = *named;
  }
  kv_image image;
  image.bytes.assign(kImageBufferSize, 0);
  if (chosen == ImageFormat::Binary) {
    const ImageFileRead read = ReadImageFile(path, image.bytes.data());
    if (!read.opened) return Refused(KV_BAD_IMAGE, path + ": cannot be opened");
    if (read.readFailed) return Refused(KV_BAD_IMAGE, path + ": read error");
    if (read.fileLength > kImageBufferSize) {
      return Refused(KV_BAD_IMAGE, StrPrintf("%s: %u bytes, more than the %u an image can hold", path.c_str(),
                                             read.fileLength, kImageBufferSize));
    }
    image.length = read.length;
    return Finish(std::move(image), fill);
  }
  PlacementRule rule;
  if (base >= 0) rule.base = static_cast<std::uint32_t>(base);
  rule.supportedBytes = kImageBufferSize;
  rule.gapFill = FillByte(fill);
  const RecordImage loaded = LoadRecordImageFile(path, chosen, rule, image.bytes.data());
  if (loaded.outcome == RecordLoad::OpenFailed) return Refused(KV_BAD_IMAGE, path + ": cannot be opened");
  if (loaded.outcome != RecordLoad::Loaded) {
    std::string line = RecordErrorLine(path, loaded.error);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return Refused(KV_BAD_IMAGE, std::move(line));
  }
  image.length = loaded.length;
  image.base = loaded.base;
  return Finish(std::move(image), fill);
}

ImageLoad ImageFromBytes(const std::uint8_t* data, std::size_t length, int fill) {
  if (fill < 0 || fill > kFillLeft) return Refused(KV_BAD_ARGUMENT, StrPrintf("fill %d is not 0, 1 or 2", fill));
  if (data == nullptr && length > 0) return Refused(KV_BAD_ARGUMENT, "no bytes");
  if (length > kImageBufferSize) {
    return Refused(KV_BAD_IMAGE, std::to_string(length) + StrPrintf(" bytes, more than the %u an image can hold", kImageBufferSize));
  }
  kv_image image;
  image.bytes.assign(kImageBufferSize, 0);
  if (length > 0) std::copy(data, data + length, image.bytes.begin());
  image.length = static_cast<std::uint32_t>(length);
  return Finish(std::move(image), fill);
}

}  // namespace kavlen::lib
