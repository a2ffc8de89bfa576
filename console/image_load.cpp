#include "console/image_load.h"

#include <algorithm>

#include "device/record_image_file.h"
#include "device/str_printf.h"

namespace kavlen::console {

ImageFormat FormatOf(const ConsoleSettings& settings) {
  return settings.format ? *settings.format : ImageFormatOfPath(settings.fileName);
}

int LoadConsoleImage(const ConsoleSettings& settings, std::uint8_t supportedCode,
                     ImageBuffer& buffer, LoadedImage& image, TraceSink& sink,
                     std::uint32_t* placedBase) {
  if (placedBase != nullptr) *placedBase = 0;
  const ImageFormat format = FormatOf(settings);
  if (format == ImageFormat::Binary) {
    return LoadImageFile(settings.fileName, settings.fillCode, buffer, image, sink);
  }
  image = LoadedImage{};
  if (!buffer.Allocate()) {
    sink.Print("Allocate Image Buffer Fail! ...\n");
    return 0;
  }
  PlacementRule rule;
  rule.base = settings.base;
  // an unrecognised capacity has no known limit, as for binary images
  rule.supportedBytes = IsRomSizeCode(supportedCode)
                            ? std::min(CapacityBytes(supportedCode), kImageBufferSize)
                            : kImageBufferSize;
  if (settings.fillCode == kFillZeros) rule.gapFill = 0x00;
  if (settings.fillCode == kFillOnes) rule.gapFill = 0xFF;

  const RecordImage loaded = LoadRecordImageFile(settings.fileName, format, rule, buffer.data());
  if (loaded.outcome != RecordLoad::Loaded) {
    if (loaded.outcome == RecordLoad::OpenFailed) {
      sink.Print("Open Binary file Fail! ...\n");
      sink.Print("Please Check the Path ...\n");
    } else {
      sink.Print(RecordErrorLine(settings.fileName, loaded.error));
    }
    buffer.Release();
    return 0;
  }
  if (placedBase != nullptr) *placedBase = loaded.base;
  image.length = loaded.length;
  image.sizeCode = ImageSizeCode(loaded.length);
  image.checksum = ImageChecksum(buffer.data(), loaded.length);
  sink.Print(StrPrintf("Binary File size = %d Bytes, CheckSum = 0x%X\n",
                       static_cast<int>(image.length), static_cast<unsigned>(image.checksum)));
  if (!settings.base) {
    sink.Print(StrPrintf("Base Address = 0x%X (lowest address rounded down to the ROM size)\n",
                         loaded.base));
  }
  if (settings.fillCode == kFillZeros) FillPastImage(buffer.data(), image.length, image.sizeCode, 0x00);
  if (settings.fillCode == kFillOnes) FillPastImage(buffer.data(), image.length, image.sizeCode, 0xFF);
  return 1;
}

}  // namespace kavlen::console
