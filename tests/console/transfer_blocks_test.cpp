// The block loops of the download and the verify against a scripted driver:
// where they stop, what they print, and which difference the verify keeps.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/download.h"
#include "console/verify.h"
#include "device/command_block.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/recording_sink.h"

namespace kavlen::console {
namespace {

using test::RecordingSink;

constexpr Handle kPipe = 7;

std::vector<std::uint8_t> Image(std::size_t blocks) {
  return test::PatternBytes(blocks * kTransferBlockSize);
}

// What the pipe does with one block: its result, its byte count, and the
// offsets within the block whose bytes come back inverted.
struct BlockScript {
  bool ok = true;
  std::uint32_t count = kTransferBlockSize;
  std::vector<std::uint32_t> inverted;
};

struct WriteCase {
  const char* name;
  std::vector<BlockScript> blocks;
  bool written;
  int calls;
  std::string out;
};

// The case's name, where the test listing would otherwise show raw bytes
// that differ from build to build.
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WriteBlocksTest : public testing::TestWithParam<WriteCase> {};

TEST_P(WriteBlocksTest, StopsAtTheFirstBadBlock) {
  const WriteCase& c = GetParam();
  const std::vector<std::uint8_t> image = Image(c.blocks.size());
  test::FakeDriverApi api;
  std::vector<const std::uint8_t*> sources;
  api.writeFile = [&](Handle h, const void* data, std::uint32_t length, std::uint32_t* written) {
    EXPECT_EQ(h, kPipe);
    EXPECT_EQ(length, kTransferBlockSize);
    sources.push_back(static_cast<const std::uint8_t*>(data));
    const BlockScript& s = c.blocks[sources.size() - 1];
    *written = s.count;
    return s.ok;
  };
  RecordingSink sink;
  EXPECT_EQ(WriteBlocks(api, kPipe, image.data(), static_cast<std::uint16_t>(c.blocks.size()), sink),
            c.written);
  EXPECT_EQ(api.writeCalls, c.calls);
  EXPECT_EQ(sink.text, c.out);
  for (std::size_t k = 0; k < sources.size(); ++k) {
    EXPECT_EQ(sources[k], image.data() + k * kTransferBlockSize) << "block " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, WriteBlocksTest,
    testing::Values(
        WriteCase{"AllWhole", {{}, {}, {}, {}}, true, 4, "...."},
        WriteCase{"FailedWrite", {{}, {}, {false, 0, {}}, {}}, false, 3, "..\nWrite Block 2 Fail! ...\n"},
        WriteCase{"ShortWrite", {{}, {true, 8192, {}}, {}, {}}, false, 2, ".\nWrite Block 1 Fail! ...\n"},
        WriteCase{"FirstBlockRefused", {{false, 0, {}}, {}, {}, {}}, false, 1, "\nWrite Block 0 Fail! ...\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

struct ReadCase {
  const char* name;
  std::vector<BlockScript> blocks;
  int calls;
  bool complete;
  std::optional<std::uint32_t> firstOffset;
  std::string out;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ReadAndCompareTest : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadAndCompareTest, KeepsTheFirstDifference) {
  const ReadCase& c = GetParam();
  const std::vector<std::uint8_t> image = Image(c.blocks.size());
  test::FakeDriverApi api;
  int block = 0;
  api.readFile = [&](Handle h, void* buffer, std::uint32_t length, std::uint32_t* got) {
    EXPECT_EQ(h, kPipe);
    EXPECT_EQ(length, kTransferBlockSize);
    const BlockScript& s = c.blocks[static_cast<std::size_t>(block)];
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::memcpy(bytes, image.data() + std::size_t(block) * kTransferBlockSize, kTransferBlockSize);
    for (const std::uint32_t offset : s.inverted) bytes[offset] ^= 0xFF;
    ++block;
    *got = s.count;
    return s.ok;
  };
  RecordingSink sink;
  const ReadBack back =
      ReadAndCompare(api, kPipe, image.data(), static_cast<std::uint16_t>(c.blocks.size()), sink);
  EXPECT_EQ(api.readCalls, c.calls);
  EXPECT_EQ(back.complete, c.complete);
  EXPECT_EQ(sink.text, c.out);
  ASSERT_EQ(back.first.has_value(), c.firstOffset.has_value());
  if (back.first) {
    EXPECT_EQ(back.first->offset, *c.firstOffset);
    EXPECT_EQ(back.first->original, image[*c.firstOffset]);
    EXPECT_EQ(back.first->target, static_cast<std::uint8_t>(image[*c.firstOffset] ^ 0xFF));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, ReadAndCompareTest,
    testing::Values(
        ReadCase{"AllEqual", {{}, {}, {}, {}}, 4, true, std::nullopt, "...."},
        // the later differences are neither kept nor stop the reading
        ReadCase{"FirstOfSeveralDifferences",
                 {{}, {true, kTransferBlockSize, {1, 9}}, {true, kTransferBlockSize, {0}}, {}},
                 4, true, 0x4001, "...."},
        ReadCase{"LastByteOfTheImage", {{}, {}, {}, {true, kTransferBlockSize, {0x3FFF}}}, 4, true,
                 0xFFFF, "...."},
        ReadCase{"FailedRead", {{}, {false, 0, {}}, {}, {}}, 2, false, std::nullopt,
                 ".\nRead Block 1 Fail! ...\n"},
        // a short block is not compared: its tail would be stale bytes
        ReadCase{"ShortRead", {{}, {}, {true, 100, {200}}, {}}, 3, false, std::nullopt,
                 "..\nRead Block 2 Fail! ...\n"},
        ReadCase{"DifferenceThenFailedRead",
                 {{true, kTransferBlockSize, {5}}, {}, {false, 0, {}}, {}}, 3, false, 5,
                 "..\nRead Block 2 Fail! ...\n"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kavlen::console
