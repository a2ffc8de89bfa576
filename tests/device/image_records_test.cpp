// Intel HEX and S-record images: every refusal with its exact line, where
// good files land in the image buffer, and the text forms written back.

#include "device/image_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/image_buffer.h"
#include "device/record_image_file.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"

namespace kavlen {
namespace {

const std::string kHexEnd = ":00000001FF\n";
const std::string kSrecEnd = "S9030000FC\n";
// 00..0F at offset 0xFFF8
const std::string kHexSixteen = ":10FFF800000102030405060708090A0B0C0D0E0F81\n";
// 00..0F at 0x1FFF0 and 10..1F at 0x20000
const std::string kHexStraddle =
    ":020000040001F9\n:10FFF000000102030405060708090A0B0C0D0E0F89\n:020000040002F8\n"
    ":10000000101112131415161718191A1B1C1D1E1F78\n" + kHexEnd;
constexpr std::uint32_t k4M = kImageBufferSize;

// The base chosen, 4 MB supported, gaps 0xFF.
const PlacementRule kAuto = {std::nullopt, std::nullopt, k4M, std::uint8_t{0xFF}};

struct LoadCase {
  const char* name;
  const char* file;  // the extension picks the format
  std::string text;
  PlacementRule rule;
  std::string error = {};  // the refusal line; empty when the file loads
  std::uint32_t base = 0;
  std::vector<std::uint8_t> image = {};  // the first bytes of the buffer
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

// seg.hex: 08..0F at the segment's start, gap, 00..07 at its end.
std::vector<std::uint8_t> SegmentWrapImage() {
  std::vector<std::uint8_t> image(0x10000, 0xFF);
  for (std::uint8_t i = 0; i < 8; ++i) {
    image[i] = static_cast<std::uint8_t>(8 + i);
    image[0xFFF8 + i] = i;
  }
  return image;
}

PlacementRule Base(std::uint32_t base, std::uint32_t supported = k4M) {
  return {base, std::nullopt, supported, std::uint8_t{0xFF}};
}

const LoadCase kLoadCases[] = {
    // Intel HEX refusals
    {"HexBadChecksum", "a.hex", ":03000000010203F8\n" + kHexEnd, kAuto,
     "a.hex:1: bad checksum 0xF8, expected 0xF7\n"},
    {"HexBadDigit", "a.hex", ":0100000001FE\n:03000000010G03F7\n" + kHexEnd,
     kAuto, "a.hex:2: bad hex digit 'G'\n"},
    {"HexOddDigits", "a.hex", ":03000000010203F\n", kAuto, "a.hex:1: odd number of hex digits\n"},
    {"HexShortRecord", "a.hex", ":0300000001F7\n", kAuto,
     "a.hex:1: short record: 3 data bytes announced, 1 present\n"},
    {"HexTooShortForAHeader", "a.hex", ":0000\n", kAuto, "a.hex:1: short record\n"},
    {"HexLongerThanItsCount", "a.hex", ":010000000102FC\n", kAuto,
     "a.hex:1: record longer than its count of 1 data bytes\n"},
    {"HexNoColon", "a.hex", "\n03000000010203F7\n", kAuto, "a.hex:2: line does not begin with ':'\n"},
    {"HexUnknownType", "a.hex", ":00000006FA\n", kAuto, "a.hex:1: unknown record type 06\n"},
    {"HexExtendedAddressOfOneByte", "a.hex", ":0100000401FA\n", kAuto,
     "a.hex:1: record type 04 must hold 2 data bytes, not 1\n"},
    {"HexCutShort", "a.hex", ":0100000001FE\r\n", kAuto, "a.hex:2: no end-of-file record (type 01)\n"},
    {"HexNoData", "a.hex", ":02000004000FEB\n" + kHexEnd, kAuto, "a.hex:2: no data records\n"},
    {"HexBelowTheBase", "a.hex", ":0100000001FE\n" + kHexEnd, Base(0x1000),
     "a.hex:1: address 0x0 below the base 0x1000\n"},
    {"HexPast4MB", "a.hex", ":020000040040BA\n:0100000055AA\n" + kHexEnd, Base(0),
     "a.hex:2: address 0x400000 past 4 MB from the base 0x0\n"},
    {"HexPastTheSupportedCapacity", "a.hex", ":02000004000FEB\n:0200000000AA54\n" + kHexEnd,
     Base(0xE0000, 0x10000), "a.hex:2: address 0xF0000 past the supported capacity of 64 KBytes\n"},
    {"HexTwoBytesForOneAddress", "a.hex", ":0200000000AA54\n:0200000000AB53\n" + kHexEnd, kAuto,
     "a.hex:2: address 0x1 gets 0xAB here but 0xAA from an earlier record\n"},
    // S-record refusals
    {"SrecBadChecksum", "a.s19", "S107000001020304EF\n" + kSrecEnd, kAuto,
     "a.s19:1: bad checksum 0xEF, expected 0xEE\n"},
    {"SrecBadDigit", "a.srec", "S10700000102030Z\n", kAuto, "a.srec:1: bad hex digit 'Z'\n"},
    {"SrecUndefinedType", "a.mot", "S4030000FC\n", kAuto, "a.mot:1: unknown record type S4\n"},
    {"SrecNoType", "a.mot", "S\n", kAuto, "a.mot:1: short record\n"},
    {"SrecEndWithoutAddress", "a.s19", "S104000001FA\nS901FE\n", kAuto, "a.s19:2: short record\n"},
    {"SrecShortRecord", "a.s28", "S2080100AABB93\n", kAuto,
     "a.s28:1: short record: 8 bytes announced, 5 present\n"},
    {"SrecCountDisagrees", "a.s19", "S104000001FA\nS5030002FA\n" + kSrecEnd, kAuto,
     "a.s19:2: record count 2, but 1 data records precede it\n"},
    {"SrecCutShort", "a.s19", "S104000001FA\n", kAuto, "a.s19:2: no end record (S7, S8 or S9)\n"},
    {"SrecPast4GB", "a.s37", "S307FFFFFFFF0102F9\nS70500000000FA\n", Base(0),
     "a.s37:1: record runs past 0xFFFFFFFF\n"},
    {"SrecS3Past4GB", "top.s37", "S315FFFFFFF8000102030405060708090A0B0C0D0E0F7D\nS70500000000FA\n",
     kAuto, "top.s37:1: record runs past 0xFFFFFFFF\n"},
    {"HexLinearPast4GB", "top.hex", ":02000004FFFFFC\n" + kHexSixteen + kHexEnd, kAuto,
     "top.hex:2: record runs past 0xFFFFFFFF\n"},
    {"HexStraddleNeedsMoreThan128K", "a.hex", kHexStraddle,
     {std::nullopt, std::nullopt, 0x20000, std::uint8_t{0xFF}},
     "a.hex:4: address 0x20000 past the supported capacity of 128 KBytes\n"},
    // good files
    {"HexBiosAtTheTopOfOneMegabyte", "a.HEX",
     ":02000004000FEB\n:0200000000AA54\n:0400000300001234B3\n:04000005000F0000E8\n" + kHexEnd, kAuto,
     "", 0xF0000, {0x00, 0xAA}},
    {"HexSegmentAddress", "a.ihx", ":02000002F0000C\n:01FFFF00CC35\n" + kHexEnd, kAuto, "", 0xF0000,
     std::vector<std::uint8_t>(0xFFFF, 0xFF)},
    // a segment's offset wraps to the segment's start
    {"HexSegmentOffsetWraps", "seg.hex", ":02000002F0000C\n" + kHexSixteen + kHexEnd, kAuto, "",
     0xF0000, SegmentWrapImage()},
    {"HexSameByteTwiceAndAGap", "a.ihex",
     ":0200000000AA54\n:0100000000FF\n:01000300BB41\n" + kHexEnd, kAuto, "", 0,
     {0x00, 0xAA, 0xFF, 0xBB}},
    {"HexGivenBase", "a.hex", ":02000004000FEB\n:0200000000AA54\n" + kHexEnd, Base(0xEFFFE), "",
     0xEFFFE, {0xFF, 0xFF, 0x00, 0xAA}},
    {"SrecWithHeaderAndCount", "a.s19", "S0030000FC\nS104000001FA\nS5030001FB\n" + kSrecEnd, kAuto,
     "", 0, {0x01}},
    {"Srec24BitAddress", "a.s28", "S206010000AABB93\nS804000000FB\n", kAuto, "", 0x10000,
     {0xAA, 0xBB}},
    // the base: a multiple of the smallest capacity whose aligned window
    // holds the lowest and the highest address
    {"TwoBytesAcrossA64KBoundary", "a.s28", "S205E1FFFF1209\nS205E2000034E4\nS804000000FB\n",
     kAuto, "", 0xE00000},
    {"SpanAcrossA128KBoundary", "a.hex", kHexStraddle, kAuto, "", 0},
    {"SpanOf128KOffA128KBoundary", "a.s28", "S205E100001207\nS205E2FFFF34E6\nS804000000FB\n",
     kAuto, "", 0xE00000},
    {"KavlenRoundsToTheSelectedSize", "a.s28", "S206030000AABB91\nS804000000FB\n",
     {std::nullopt, std::uint8_t{1}, k4M, std::uint8_t{0}}, "", 0x20000},
};

class RecordImageLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(RecordImageLoadTest, RefusalLineOrPlacement) {
  const LoadCase& c = GetParam();
  test::TempDir dir;
  const std::string path = dir.Write(c.file, std::vector<std::uint8_t>(c.text.begin(), c.text.end()));
  ImageBuffer buffer;
  ASSERT_TRUE(buffer.Allocate());
  const RecordImage image = LoadRecordImageFile(path, ImageFormatOfPath(c.file), c.rule, buffer.data());
  if (!c.error.empty()) {
    EXPECT_EQ(image.outcome, RecordLoad::Refused);
    EXPECT_EQ(RecordErrorLine(c.file, image.error), c.error);
    return;
  }
  ASSERT_EQ(image.outcome, RecordLoad::Loaded) << RecordErrorLine(c.file, image.error);
  EXPECT_EQ(image.base, c.base);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer.data(), buffer.data() + c.image.size()), c.image);
}

INSTANTIATE_TEST_SUITE_P(Files, RecordImageLoadTest, testing::ValuesIn(kLoadCases),
                         [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(ImageFormatTest, ExtensionsAndNames) {
  EXPECT_EQ(ImageFormatOfPath("C:\\ROMS\\BIOS.IHX"), ImageFormat::IntelHex);
  EXPECT_EQ(ImageFormatOfPath("rom.S37"), ImageFormat::Srecord);
  EXPECT_EQ(ImageFormatOfPath("dir.hex/rom"), ImageFormat::Binary);
  EXPECT_EQ(ImageFormatOfPath("rom.hexx"), ImageFormat::Binary);
  EXPECT_EQ(ImageFormatNamed("srec"), ImageFormat::Srecord);
  EXPECT_EQ(ImageFormatNamed("hex"), std::nullopt);
}

// What the --read writer produces parses back to the same bytes at the same
// base, across a 64 KB boundary and in each S-record address width.
TEST(RecordWriterTest, TextFormsReadBackToTheSameBytes) {
  const std::vector<std::uint8_t> bytes = test::PatternBytes(0x20011);
  struct Case { ImageFormat format; std::uint32_t base; const char* firstLines; };
  const Case cases[] = {
      {ImageFormat::IntelHex, 0xFFF8, ":08FFF800030A11181F262D3425\n:020000040001F9\n"},
      {ImageFormat::Srecord, 0x0, "S0030000FC\nS214000000"},
      {ImageFormat::Srecord, 0xFF0000, "S0030000FC\nS315"},
  };
  for (const Case& c : cases) {
    const std::string text = c.format == ImageFormat::IntelHex
                                 ? FormatIntelHex(bytes.data(), 0x20011, c.base)
                                 : FormatSrecord(bytes.data(), 0x20011, c.base);
    EXPECT_EQ(text.substr(0, std::string(c.firstLines).size()), c.firstLines) << c.base;
    const ParsedRecords parsed =
        c.format == ImageFormat::IntelHex ? ParseIntelHex(text) : ParseSrecord(text);
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->what;
    ImageBuffer buffer;
    ASSERT_TRUE(buffer.Allocate());
    const PlacedImage placed = PlaceRecords(parsed.data, Base(c.base), buffer.data());
    ASSERT_FALSE(placed.error);
    EXPECT_EQ(placed.length, 0x20011u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.data())) << c.base;
  }
}

}  // namespace
}  // namespace kavlen
