#pragma once
// The host copy of a ROM image: the 4,194,304-byte image buffer, reading an
// image file into it, its checksum and the fill of the rest of a capacity.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "device/rom_capacity.h"
#include "device/trace_sink.h"

namespace kavlen {

// Owns the image buffer. Allocation is checked and never throws; a fresh
// buffer is all 0x00, so bytes that no fill touches read as 0x00.
class ImageBuffer {
 public:
  // Allocates the cleared buffer unless it is held already (then it is kept
  // as it is). False when the memory cannot be had.
  bool Allocate();
  void Release() { bytes_.reset(); }
  bool allocated() const { return bytes_ != nullptr; }
  std::uint8_t* data() { return bytes_.get(); }
  const std::uint8_t* data() const { return bytes_.get(); }
  static constexpr std::uint32_t size() { return kImageBufferSize; }

 private:
  struct FreeBytes {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
  };
  std::unique_ptr<std::uint8_t, FreeBytes> bytes_;
};

// Unsigned 32-bit sum of the bytes; 4 MB of 0xFF still fits.
std::uint32_t ImageChecksum(const std::uint8_t* bytes, std::uint32_t length);

// Writes `value` from `length` through the last byte of the capacity of
// `sizeCode` when the image is shorter than that capacity. Codes above 6 are
// beyond the buffer and fill nothing.
void FillPastImage(std::uint8_t* buffer, std::uint32_t length, std::uint8_t sizeCode,
                   std::uint8_t value);

// Files are measured up to this length; a longer one counts as this long.
inline constexpr std::uint32_t kLongestMeasuredFile = 0xFFFFFFFF;

// True when path names something that is not a regular file (a FIFO, a
// device, a folder; through symbolic links): its open or its read may block
// for ever or never end, so the image loaders refuse it as a file that
// cannot be opened, without opening it. A path that names nothing is not
// one: its open fails by itself.
bool NamesNonRegularFile(const std::string& path);

struct ImageFileRead {
  bool opened;
  bool readFailed;            // the read stopped on an error, not at the end of the file
  std::uint32_t length;       // bytes read into dest: the file's first bytes, at most one image buffer
  std::uint32_t fileLength;   // the whole file's length; more than `length` when the
                              // file is longer than the image buffer
  std::uint32_t restChecksum; // sum of the bytes past the image buffer
};
// Reads up to one image buffer of the file into dest in one request, then
// reads on through the rest only to measure and sum it; a path that
// NamesNonRegularFile is not opened. Callers decide what a file longer than
// the buffer means.
ImageFileRead ReadImageFile(const std::string& path, std::uint8_t* dest);

// Console fill codes.
inline constexpr std::uint8_t kFillZeros = 0;
inline constexpr std::uint8_t kFillOnes = 1;
inline constexpr std::uint8_t kFillNone = 2;  // any code other than 0 and 1

struct LoadedImage {
  std::uint32_t length = 0;  // the whole file's; the buffer holds at most its first 4 MB
  std::uint8_t sizeCode = 0;
  std::uint32_t checksum = 0;  // of the whole file
};

// Console: allocates the buffer, reads the file, derives the image size code,
// prints the size and checksum line and fills past the file as the fill code
// says. 1 on success; 0 after printing why, with the buffer released again.
// A file longer than the buffer loads with its real length, which no
// capacity check lets through.
int LoadImageFile(const std::string& path, std::uint8_t fillCode, ImageBuffer& buffer,
                  LoadedImage& image, TraceSink& sink);

// GUI: reads the file into an allocated buffer, accepts an empty file and
// fills 0x00 over the selected capacity. Prints nothing.
enum class GuiImageLoad { Loaded, OpenFailed, ReadFailed, NoBuffer };
struct GuiLoadedImage {
  GuiImageLoad outcome = GuiImageLoad::NoBuffer;
  std::uint32_t length = 0;      // bytes in the buffer, at most its size
  std::uint32_t checksum = 0;    // of those bytes
  std::uint32_t fileLength = 0;  // the whole file's
};
GuiLoadedImage LoadImageForGui(const std::string& path, std::uint8_t selectedCode,
                               ImageBuffer& buffer);

}  // namespace kavlen
