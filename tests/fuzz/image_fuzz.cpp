// The image loaders of both programs on any file content. The first input
// byte picks the console's fill code and the window's selected ROM size, the
// rest is the file. Properties: the checksum is the sum of the loaded bytes,
// the rest of the capacity holds the fill, a raw binary loads as its bytes,
// and a failed console load leaves no buffer behind.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "device/image_buffer.h"
#include "device/rom_capacity.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

enum class Content { RawBytes, Decoded };

// Every file name the loaders tell a format by; a new format is a new row.
struct ImageFormat {
  const char* fileName;
  Content content;
} constexpr kFormats[] = {
    {"image.bin", Content::RawBytes},
};

class DiscardSink : public kavlen::TraceSink {
 public:
  void Print(std::string_view) override {}
};

// Compared a block at a time: a byte loop over 4 MB would be most of a run.
bool AllEqual(const std::uint8_t* bytes, std::uint32_t from, std::uint32_t to, std::uint8_t value) {
  static std::uint8_t block[65536];
  std::memset(block, value, sizeof block);
  for (std::uint32_t at = from; at < to; at += sizeof block) {
    const std::uint32_t length = std::min<std::uint32_t>(to - at, sizeof block);
    if (std::memcmp(bytes + at, block, length) != 0) return false;
  }
  return true;
}

void CheckConsoleLoad(const std::string& path, const ImageFormat& format, std::uint8_t fillCode,
                      const std::uint8_t* file, std::size_t fileSize) {
  static kavlen::ImageBuffer buffer;
  kavlen::LoadedImage image;
  DiscardSink sink;
  if (kavlen::LoadImageFile(path, fillCode, buffer, image, sink) != 1) {
    FUZZ_REQUIRE(!buffer.allocated());
    return;
  }
  FUZZ_REQUIRE(buffer.allocated());
  // The length and checksum are the whole file's, even past the buffer.
  const std::uint32_t loaded = std::min(image.length, kavlen::ImageBuffer::size());
  if (image.length == loaded) FUZZ_REQUIRE(image.checksum == kavlen::ImageChecksum(buffer.data(), loaded));
  if (format.content == Content::RawBytes) {
    FUZZ_REQUIRE(image.length == fileSize);
    FUZZ_REQUIRE(std::memcmp(buffer.data(), file, loaded) == 0);
  }
  const std::uint32_t capacity = kavlen::CapacityBytes(image.sizeCode);
  if (fillCode == kavlen::kFillZeros) FUZZ_REQUIRE(AllEqual(buffer.data(), loaded, std::min(capacity, kavlen::ImageBuffer::size()), 0x00));
  if (fillCode == kavlen::kFillOnes) FUZZ_REQUIRE(AllEqual(buffer.data(), loaded, std::min(capacity, kavlen::ImageBuffer::size()), 0xFF));
}

void CheckWindowLoad(const std::string& path, const ImageFormat& format, std::uint8_t selectedCode,
                     const std::uint8_t* file, std::size_t fileSize) {
  static kavlen::ImageBuffer buffer;
  FUZZ_REQUIRE(buffer.Allocate());
  const kavlen::GuiLoadedImage image = kavlen::LoadImageForGui(path, selectedCode, buffer);
  if (image.outcome != kavlen::GuiImageLoad::Loaded) return;
  const std::uint32_t loaded = image.length;
  FUZZ_REQUIRE(loaded <= kavlen::ImageBuffer::size());
  FUZZ_REQUIRE(image.checksum == kavlen::ImageChecksum(buffer.data(), loaded));
  if (format.content == Content::RawBytes) {
    FUZZ_REQUIRE(image.fileLength == fileSize);
    FUZZ_REQUIRE(loaded == std::min<std::size_t>(fileSize, kavlen::ImageBuffer::size()));
    FUZZ_REQUIRE(std::memcmp(buffer.data(), file, loaded) == 0);
  }
  if (kavlen::IsTransferSizeCode(selectedCode)) {
    FUZZ_REQUIRE(AllEqual(buffer.data(), loaded, kavlen::CapacityBytes(selectedCode), 0x00));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t fillCode = data[0] % 3;
  const std::uint8_t selectedCode = (data[0] >> 2) & 7;
  const std::uint8_t* file = data + 1;
  const std::size_t fileSize = size - 1;
  for (const ImageFormat& format : kFormats) {
    const std::string path = kavlen::fuzz::WriteFuzzFile(format.fileName, file, fileSize);
    CheckConsoleLoad(path, format, fillCode, file, fileSize);
    CheckWindowLoad(path, format, selectedCode, file, fileSize);
  }
  return 0;
}
