#include "device/image_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "device/str_printf.h"

namespace kavlen {

bool ImageBuffer::Allocate() {
  if (!bytes_) {
    // calloc hands out zeroed pages without touching them one by one.
    bytes_.reset(static_cast<std::uint8_t*>(std::calloc(kImageBufferSize, 1)));
  }
  return bytes_ != nullptr;
}

std::uint32_t ImageChecksum(const std::uint8_t* bytes, std::uint32_t length) {
  // Eight bytes at a time in four 16-bit lanes (the byte-wise loop costs a
  // millisecond per 4 MB image): 128 words add at most 128 x 2 x 255 to a
  // lane, which still fits, before the lanes are folded into the sum.
  constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  constexpr std::uint64_t kEvenLanes = 0x0000FFFF0000FFFFull;
  constexpr std::uint32_t kWordsPerRound = 128;
  std::uint32_t sum = 0;
  std::uint32_t i = 0;
  while (length - i >= 8) {
    std::uint64_t lanes = 0;
    for (std::uint32_t w = 0; w < kWordsPerRound && length - i >= 8; ++w, i += 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes + i, sizeof word);
      lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
    }
    lanes = (lanes & kEvenLanes) + ((lanes >> 16) & kEvenLanes);
    sum += static_cast<std::uint32_t>(lanes) + static_cast<std::uint32_t>(lanes >> 32);
  }
  for (; i < length; ++i) sum += bytes[i];
  return sum;
}

void FillPastImage(std::uint8_t* buffer, std::uint32_t length, std::uint8_t sizeCode,
                   std::uint8_t value) {
  const std::uint32_t capacity = IsTransferSizeCode(sizeCode) ? CapacityBytes(sizeCode) : 0;
  if (length < capacity) std::memset(buffer + length, value, capacity - length);
}

bool NamesNonRegularFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_type type = std::filesystem::status(path, error).type();
  return type != std::filesystem::file_type::regular && type != std::filesystem::file_type::not_found &&
         type != std::filesystem::file_type::none;
}

ImageFileRead ReadImageFile(const std::string& path, std::uint8_t* dest) {
  if (NamesNonRegularFile(path)) return {false, false, 0, 0, 0};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {false, false, 0, 0, 0};
  ImageFileRead read{true, false, 0, 0, 0};
  read.length = static_cast<std::uint32_t>(std::fread(dest, 1, kImageBufferSize, file));
  read.fileLength = read.length;
  // The rest is read rather than sized, so that pipes and devices are
  // measured too; the bound keeps an endless one from holding the run.
  std::uint8_t rest[16384];
  while (read.length == kImageBufferSize && read.fileLength < kLongestMeasuredFile) {
    const std::uint32_t want = std::min<std::uint32_t>(sizeof rest, kLongestMeasuredFile - read.fileLength);
    const std::size_t got = std::fread(rest, 1, want, file);
    if (got == 0) break;
    read.fileLength += static_cast<std::uint32_t>(got);
    read.restChecksum += ImageChecksum(rest, static_cast<std::uint32_t>(got));
  }
  read.readFailed = std::ferror(file) != 0;
  std::fclose(file);
  return read;
}

int LoadImageFile(const std::string& path, std::uint8_t fillCode, ImageBuffer& buffer,
                  LoadedImage& image, TraceSink& sink) {
  image = LoadedImage{};
  if (!buffer.Allocate()) {
    sink.Print("Allocate Image Buffer Fail! ...\n");
    return 0;
  }
  const ImageFileRead read = ReadImageFile(path, buffer.data());
  if (!read.opened) {
    sink.Print("Open Binary file Fail! ...\n");
    sink.Print("Please Check the Path ...\n");
    buffer.Release();
    return 0;
  }
  if (read.readFailed) {
    sink.Print("Read Binary file Fail! ...\n");
    buffer.Release();
    return 0;
  }
  if (read.length == 0) {
    sink.Print("The Binary File is empty... Fail\n");
    buffer.Release();
    return 0;
  }
  image.length = read.fileLength;
  image.sizeCode = ImageSizeCode(read.length);
  image.checksum = ImageChecksum(buffer.data(), read.length) + read.restChecksum;
  sink.Print(StrPrintf("Binary File size = %u Bytes, CheckSum = 0x%X\n",
                       static_cast<unsigned>(image.length), static_cast<unsigned>(image.checksum)));
  if (fillCode == kFillZeros) FillPastImage(buffer.data(), image.length, image.sizeCode, 0x00);
  if (fillCode == kFillOnes) FillPastImage(buffer.data(), image.length, image.sizeCode, 0xFF);
  return 1;
}

GuiLoadedImage LoadImageForGui(const std::string& path, std::uint8_t selectedCode,
                               ImageBuffer& buffer) {
  GuiLoadedImage loaded;
  if (!buffer.allocated()) return loaded;
  const ImageFileRead read = ReadImageFile(path, buffer.data());
  if (!read.opened) {
    loaded.outcome = GuiImageLoad::OpenFailed;
    return loaded;
  }
  loaded.outcome = read.readFailed ? GuiImageLoad::ReadFailed : GuiImageLoad::Loaded;
  loaded.length = read.length;
  loaded.fileLength = read.fileLength;
  loaded.checksum = ImageChecksum(buffer.data(), read.length);
  FillPastImage(buffer.data(), read.length, selectedCode, 0x00);
  return loaded;
}

}  // namespace kavlen
