#include "device/image_buffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "tests/device/scripted_device.h"

namespace kavlen {
namespace {

using test::RecordingSink;
using test::TempDir;

bool AllEqual(const std::uint8_t* begin, std::size_t count, std::uint8_t value) {
  return std::all_of(begin, begin + count, [=](std::uint8_t b) { return b == value; });
}

struct LoadCase {
  const char* name;
  std::size_t fileSize;
  std::uint8_t fileByte;
  std::uint8_t fillCode;
  std::uint32_t length;
  std::uint8_t sizeCode;
  std::uint32_t checksum;
  std::uint32_t fillBytes;  // bytes from the end of the data to the end of the capacity
  std::uint8_t fillValue;
  const char* printed;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

class LoadImageFileCases : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadImageFileCases, LengthCodeChecksumFillAndMessage) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const auto path = dir.Write("image.bin", std::vector<std::uint8_t>(c.fileSize, c.fileByte));
  ImageBuffer buffer;
  LoadedImage image;
  RecordingSink sink;

  ASSERT_EQ(LoadImageFile(path, c.fillCode, buffer, image, sink), 1);

  EXPECT_EQ(image.length, c.length);
  EXPECT_EQ(image.sizeCode, c.sizeCode);
  EXPECT_EQ(image.checksum, c.checksum);
  EXPECT_EQ(sink.text, c.printed);
  ASSERT_TRUE(buffer.allocated());
  const std::uint32_t held = std::min(c.length, ImageBuffer::size());
  EXPECT_TRUE(AllEqual(buffer.data(), held, c.fileByte));
  EXPECT_TRUE(AllEqual(buffer.data() + held, c.fillBytes, c.fillValue));
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LoadImageFileCases,
    testing::Values(
        LoadCase{"OneByte", 1, 0x5A, kFillZeros, 1, 0, 0x5A, 65535, 0x00,
                 "Binary File size = 1 Bytes, CheckSum = 0x5A\n"},
        LoadCase{"OneByteFillOnes", 1, 0x5A, kFillOnes, 1, 0, 0x5A, 65535, 0xFF,
                 "Binary File size = 1 Bytes, CheckSum = 0x5A\n"},
        LoadCase{"Exactly64K", 65536, 0x01, kFillOnes, 65536, 0, 65536, 0, 0xFF,
                 "Binary File size = 65536 Bytes, CheckSum = 0x10000\n"},
        LoadCase{"OneOver64K", 65537, 0x01, kFillOnes, 65537, 1, 65537, 65535, 0xFF,
                 "Binary File size = 65537 Bytes, CheckSum = 0x10001\n"},
        LoadCase{"Full4MOfFF", 4194304, 0xFF, kFillZeros, 4194304, 6, 1069547520u, 0, 0,
                 "Binary File size = 4194304 Bytes, CheckSum = 0x3FC00000\n"},
        // the buffer holds the first 4 MB; length and checksum are the whole file's
        LoadCase{"LongerThanTheBuffer", 4194305 + 100, 0x02, kFillZeros, 4194405, 6, 8388810, 0, 0,
                 "Binary File size = 4194405 Bytes, CheckSum = 0x8000CA\n"},
        LoadCase{"NoFillLeavesTheClearedBuffer", 100, 0x77, kFillNone, 100, 0, 11900, 65436,
                 0x00, "Binary File size = 100 Bytes, CheckSum = 0x2E7C\n"}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

// The checksum adds eight bytes at a time: every length and alignment, and
// long runs of 0xFF that would overflow a narrow lane, give the plain sum.
TEST(ImageChecksum, EqualsTheByteSumForAnyLengthAndAlignment) {
  std::vector<std::uint8_t> bytes(kImageBufferSize + 8);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = i % 3 == 0 ? 0xFF : static_cast<std::uint8_t>(i * 37 + 11);
  }
  for (const std::uint32_t length : {0u, 1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 2049u, kImageBufferSize}) {
    for (const std::size_t offset : {std::size_t{0}, std::size_t{3}}) {
      std::uint32_t expected = 0;
      for (std::uint32_t i = 0; i < length; ++i) expected += bytes[offset + i];
      EXPECT_EQ(ImageChecksum(bytes.data() + offset, length), expected)
          << "length " << length << " offset " << offset;
    }
  }
  const std::vector<std::uint8_t> ones(kImageBufferSize, 0xFF);
  EXPECT_EQ(ImageChecksum(ones.data(), kImageBufferSize), 1069547520u);
}

TEST(LoadImageFile, LastByteOfTheCapacityFollowsTheFillCode) {
  TempDir dir;
  const auto path = dir.Write("image.bin", std::vector<std::uint8_t>(70000, 0x11));
  const struct {
    std::uint8_t fillCode;
    std::uint8_t last;
  } cases[] = {{kFillZeros, 0x00}, {kFillOnes, 0xFF}};
  for (const auto& c : cases) {
    ImageBuffer buffer;
    LoadedImage image;
    RecordingSink sink;
    ASSERT_EQ(LoadImageFile(path, c.fillCode, buffer, image, sink), 1);
    EXPECT_EQ(buffer.data()[131071], c.last);
    EXPECT_EQ(buffer.data()[131072], 0x00);  // beyond the capacity nothing is written
  }
}

TEST(LoadImageFile, FailuresPrintWhyAndReleaseTheBuffer) {
  TempDir dir;
  const auto empty = dir.Write("empty.bin", {});
  const std::string fifo = dir.path() + "/fifo.bin";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    const char* printed;
  } cases[] = {{dir.path() + "/missing.bin", "Open Binary file Fail! ...\nPlease Check the Path ...\n"},
               {empty, "The Binary File is empty... Fail\n"},
               // neither is opened: a read could block or never end
               {dir.path(), "Open Binary file Fail! ...\nPlease Check the Path ...\n"},
               {fifo, "Open Binary file Fail! ...\nPlease Check the Path ...\n"}};
  for (const auto& c : cases) {
    ImageBuffer buffer;
    LoadedImage image;
    RecordingSink sink;
    EXPECT_EQ(LoadImageFile(c.path, kFillZeros, buffer, image, sink), 0) << c.path;
    EXPECT_EQ(sink.text, c.printed) << c.path;
    EXPECT_FALSE(buffer.allocated());
  }
}

TEST(FillPastImage, NeverBeyondTheBuffer) {
  ImageBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  FillPastImage(buffer.data(), 10, 7, 0xFF);
  FillPastImage(buffer.data(), 10, kUnknownRomSizeCode, 0xFF);
  EXPECT_TRUE(AllEqual(buffer.data(), ImageBuffer::size(), 0x00));
  FillPastImage(buffer.data(), 10, 6, 0xFF);
  EXPECT_TRUE(AllEqual(buffer.data() + 10, ImageBuffer::size() - 10, 0xFF));
}

struct GuiCase {
  const char* name;
  std::size_t fileSize;
  std::uint8_t selectedCode;
  std::uint32_t zeroFill;
};

TEST(LoadImageForGui, FillsZerosOverTheSelectedCapacityOnly) {
  const GuiCase cases[] = {{"ThousandBytesIn64K", 1000, 0, 64536},
                           {"EmptyFileFillsAll", 0, 1, 131072},
                           {"CapacityMinusOne", 65535, 0, 1},
                           {"ExactlyTheCapacity", 65536, 0, 0},
                           {"LongerThanSelected", 200000, 1, 0}};
  TempDir dir;
  for (const auto& c : cases) {
    const auto path = dir.Write("image.bin", std::vector<std::uint8_t>(c.fileSize, 0xFF));
    ImageBuffer buffer;
    ASSERT_TRUE(buffer.Allocate());
    std::fill_n(buffer.data(), ImageBuffer::size(), 0xEE);  // an earlier image

    const GuiLoadedImage loaded = LoadImageForGui(path, c.selectedCode, buffer);

    EXPECT_EQ(loaded.outcome, GuiImageLoad::Loaded) << c.name;
    EXPECT_EQ(loaded.length, c.fileSize) << c.name;
    EXPECT_EQ(loaded.checksum, 255u * c.fileSize) << c.name;
    EXPECT_TRUE(AllEqual(buffer.data(), c.fileSize, 0xFF)) << c.name;
    EXPECT_TRUE(AllEqual(buffer.data() + c.fileSize, c.zeroFill, 0x00)) << c.name;
    EXPECT_EQ(buffer.data()[c.fileSize + c.zeroFill], 0xEE) << c.name;
  }
}

TEST(LoadImageForGui, OpenFailureAndMissingBufferChangeNothing) {
  TempDir dir;
  ImageBuffer none;
  EXPECT_EQ(LoadImageForGui(dir.path() + "/x.bin", 0, none).outcome, GuiImageLoad::NoBuffer);
  ImageBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  buffer.data()[0] = 0x42;
  EXPECT_EQ(LoadImageForGui(dir.path() + "/x.bin", 0, buffer).outcome, GuiImageLoad::OpenFailed);
  EXPECT_EQ(buffer.data()[0], 0x42);
}

}  // namespace
}  // namespace kavlen
