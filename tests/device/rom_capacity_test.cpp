#include "device/rom_capacity.h"

#include <gtest/gtest.h>

#include "device/command_block.h"

namespace kavlen {
namespace {

TEST(CapacityTables, EachRowIsSixtyFourKilobytesTimesTwoToTheCodeInSixteenKilobyteBlocks) {
  for (std::uint8_t code = 0; code <= kLargestRomSizeCode; ++code) {
    const std::uint32_t capacity = 0x10000u << code;
    SCOPED_TRACE(static_cast<int>(code));
    EXPECT_EQ(kLastAddressTable[code], capacity - 1);
    EXPECT_EQ(kBlockCountTable[code] * kTransferBlockSize, capacity);
    EXPECT_EQ(CapacityBytes(code), capacity);
  }
  EXPECT_EQ(kImageBufferSize, CapacityBytes(kLargestTransferSizeCode));
}

TEST(CapacityTables, CodesOutsideTheTablesHaveNoCapacityAndNoBlocks) {
  EXPECT_EQ(CapacityBytes(8), 0u);
  EXPECT_EQ(CapacityBytes(kUnknownRomSizeCode), 0u);
  EXPECT_EQ(TransferBlockCount(6), 256);
  EXPECT_EQ(TransferBlockCount(0), 4);
  EXPECT_EQ(TransferBlockCount(7), 0);  // 8 MB is never transferred
  EXPECT_EQ(TransferBlockCount(kUnknownRomSizeCode), 0);
}

TEST(SizeCodeFromMask, OnlyTheEightMasksAreRecognised) {
  const std::uint8_t known[] = {0, 1, 3, 7, 15, 31, 63, 127};
  for (int mask = 0; mask < 256; ++mask) {
    std::uint8_t expected = kUnknownRomSizeCode;
    for (std::uint8_t code = 0; code < 8; ++code) {
      if (known[code] == mask) expected = code;
    }
    EXPECT_EQ(SizeCodeFromMask(static_cast<std::uint8_t>(mask)), expected) << "mask " << mask;
  }
  EXPECT_EQ(SizeCodeFromMask(0x05), 255);
  EXPECT_EQ(SizeCodeFromMask(0x80), 255);
  EXPECT_EQ(SizeCodeFromMask(0xFF), 255);
  EXPECT_EQ(SizeCodeFromMask(0x7F), 7);
}

TEST(ImageSizeCode, SmallestCapacityThatHoldsTheImage) {
  const struct {
    std::uint32_t length;
    std::uint8_t code;
  } cases[] = {{1, 0},         {65536, 0},    {65537, 1},    {131072, 1},  {131073, 2},
               {262144, 2},    {262145, 3},   {524288, 3},   {524289, 4},  {1048576, 4},
               {1048577, 5},   {2097152, 5},  {2097153, 6},  {4194304, 6}, {4194305, 6},
               {0xFFFFFFFF, 6}};
  for (const auto& c : cases) EXPECT_EQ(ImageSizeCode(c.length), c.code) << c.length;
}

TEST(AlignedWindowSizeCode, SmallestWindowOnItsOwnBoundaryThatHoldsBoth) {
  const struct {
    std::uint32_t lowest, highest;
    std::optional<std::uint8_t> code;
  } cases[] = {{0x0, 0xFFFF, 0},          {0xF0000, 0xFFFFF, 0},    {0xFFFF, 0x10000, 1},
               {0x1FFF0, 0x2000F, 2},     {0x10000, 0x2FFFF, 2},    {0x3FFFFF, 0x400000, std::nullopt},
               {0xFFFF0000, 0xFFFFFFFF, 0}, {0x0, 0x3FFFFF, 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(AlignedWindowSizeCode(c.lowest, c.highest), c.code) << std::hex << c.lowest;
  }
}

TEST(FitsCapacity, ExactlyTheCapacityFitsOneByteMoreDoesNot) {
  for (std::uint8_t code = 0; code <= kLargestRomSizeCode; ++code) {
    const std::uint32_t capacity = CapacityBytes(code);
    EXPECT_TRUE(FitsCapacity(capacity, code)) << static_cast<int>(code);
    EXPECT_FALSE(FitsCapacity(capacity + 1, code)) << static_cast<int>(code);
  }
  EXPECT_TRUE(FitsCapacity(0, 0));
}

TEST(FitsCapacity, UnrecognisedCapacityLimitsOnlyToTheImageBuffer) {
  EXPECT_TRUE(FitsCapacity(1, kUnknownRomSizeCode));
  EXPECT_TRUE(FitsCapacity(4194304, kUnknownRomSizeCode));
  EXPECT_FALSE(FitsCapacity(4194305, kUnknownRomSizeCode));
  EXPECT_TRUE(FitsCapacity(4194304, 200));
}

}  // namespace
}  // namespace kavlen
