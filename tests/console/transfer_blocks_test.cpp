// The block loops of the download and the verify against a scripted driver:
// where they stop, what they print, and which difference the verify keeps;
// the lines ukavlen gives the device's answers and a failed preparation;
// the pace of --progress and --json on a clock of the test's, and how JSON
// strings carry any bytes.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/download.h"
#include "console/json_lines.h"
#include "console/progress_display.h"
#include "console/transfer_wording.h"
#include "console/verify.h"
#include "device/command_block.h"
#include "tests/support/block_from.h"
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

using Event = std::function<void(ConsoleWording&, TraceSink&)>;

Event Boot(std::uint8_t reply0) {
  return [reply0](ConsoleWording& w, TraceSink&) {
    w.OnBootStatus(DecodeBootStatus(test::BlockFrom({{0, reply0}, {2, 0x12}, {3, 2}})));
  };
}
Event Info(bool received) {
  return [received](ConsoleWording& w, TraceSink&) {
    DeviceInfo info = DecodeDeviceInfo(test::BlockFrom({{2, 0x12}, {3, 0x34}, {5, 15}}));
    info.received = received;
    w.OnDeviceInfo(info);
  };
}
Event Failure(TransferFault fault) {
  return [fault](ConsoleWording&, TraceSink& sink) { PrintPrepareFailure(fault, sink); };
}

TEST(ConsoleWordingTest, AnswersAndFailedPreparations) {
  const std::string updateFail = "Device OS Update Fail ! ...\n";
  const struct {
    Event event;
    std::string printed;
  } cases[] = {
      {Boot(0x2C), "Device Info: Kavlen II Ver: 01.02 \n"},
      {Boot(0x00), "Device Boot OS is Error!! \n"},
      {Boot(0x01), ""},
      {Boot(0x33), ""},
      {Info(false), ""},
      {Info(true), "Device OS CheckSUM=0x1234, Support ROM Size=   1 MBytes \n"},
      {Failure(TransferFault::OsFileUnreadable),
       "read Device OS File fail. Please Re-Install system...\n" + updateFail},
      {Failure(TransferFault::OsFileEmpty), "The OS File is empty... Fail\n" + updateFail},
      {Failure(TransferFault::OsNotStarted), updateFail},
  };
  for (const auto& c : cases) {
    RecordingSink sink;
    ConsoleWording wording(sink);
    c.event(wording, sink);
    EXPECT_EQ(sink.text, c.printed);
  }
}

// Blocks at the given milliseconds after the stage began, then the loop's end.
struct PaceCase {
  const char* name;
  bool json;  // JsonEvents; otherwise a ProgressDisplay of `mode`
  ProgressMode mode;
  std::uint32_t total;
  std::vector<int> blockTimes;
  BlockEnd end;
  std::string out;
};

TEST(ProgressPaceTest, RedrawsAtMostAsOftenAsAllowedAndAlwaysShowsTheLastBlock) {
  const std::string bar1 = "\rdownload  12%  16 KB of 128 KB  400 KB/s  0:00 left";
  const std::string bar3 = "\rdownload  37%  48 KB of 128 KB  400 KB/s  0:00 left";
  const auto progress = [](int done, int total) {
    return "{\"event\":\"progress\",\"stage\":\"download\",\"done\":" + std::to_string(done) +
           ",\"total\":" + std::to_string(total) + "}\n";
  };
  const PaceCase cases[] = {
      {"bar: 10 a second, the last block always", false, ProgressMode::Bar, 8,
       {40, 80, 120, 160, 200, 240, 280, 320}, BlockEnd::Done,
       bar1 + "\rdownload  50%  64 KB of 128 KB  400 KB/s  0:00 left"
              "\rdownload  87%  112 KB of 128 KB  400 KB/s  0:00 left"
              "\rdownload 100%  128 KB of 128 KB  400 KB/s  0:00 left\n"},
      {"bar: a loop that stops shows where", false, ProgressMode::Bar, 8, {40, 80, 120},
       BlockEnd::Failed, bar1 + bar3 + "\n"},
      {"plain: a line per 10 %, and the last", false, ProgressMode::Plain, 20,
       {1000, 2000, 3000, 4000, 5000}, BlockEnd::Cancelled,
       "download  10%  32 KB of 320 KB  16 KB/s  0:18 left\n"
       "download  20%  64 KB of 320 KB  16 KB/s  0:16 left\n"
       "download  25%  80 KB of 320 KB  16 KB/s  0:15 left\n"},
      {"json: 20 a second, the last block always", true, ProgressMode::None, 6,
       {10, 40, 60, 70, 110, 120}, BlockEnd::Done,
       progress(1, 6) + progress(3, 6) + progress(5, 6) + progress(6, 6)},
      {"json: a loop that stops tells where", true, ProgressMode::None, 6, {10, 20}, BlockEnd::Failed,
       progress(1, 6) + progress(2, 6)},
  };
  for (const PaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    std::chrono::steady_clock::time_point now{};
    const ClockNow clock = [&] { return now; };
    std::optional<JsonEvents> json;
    std::optional<ProgressDisplay> display;
    RunEvents& events = c.json ? static_cast<RunEvents&>(json.emplace(sink, clock))
                               : display.emplace(c.mode, sink, clock);
    const std::chrono::steady_clock::time_point start = now;
    events.OnStage(TransferStage::Download, c.total);
    std::uint32_t done = 0;
    for (const int ms : c.blockTimes) {
      now = start + std::chrono::milliseconds(ms);
      events.OnBlock(TransferStage::Download, ++done, c.total);
    }
    events.OnBlocksEnd(TransferStage::Download, {c.end, done});
    EXPECT_EQ(sink.text, c.out);
  }
}

TEST(JsonStringTest, AnyBytesBecomeValidUtf8AndCanBeToldApart) {
  const struct {
    std::string text;
    std::string json;
    bool escaped;
  } cases[] = {
      {"rom.bin", "\"rom.bin\"", false},
      {"C:\\Rom \"1\"\n\x01", "\"C:\\\\Rom \\\"1\\\"\\n\\u0001\"", false},
      {"r\xC3\xA9\xF0\x9F\x98\x80", "\"r\xC3\xA9\xF0\x9F\x98\x80\"", false},
      // not UTF-8: the stray byte as \xNN, a backslash doubled, the valid sequence kept
      {"a\xFF\\\xC3\xA9", "\"a\\\\xFF\\\\\\\\\xC3\xA9\"", true},
      {"\xC0\xAF", "\"\\\\xC0\\\\xAF\"", true},          // overlong
      {"\xED\xA0\x80", "\"\\\\xED\\\\xA0\\\\x80\"", true},  // a surrogate
      {"\xE2\x82", "\"\\\\xE2\\\\x82\"", true},          // cut short
  };
  for (const auto& c : cases) {
    bool escaped = !c.escaped;
    EXPECT_EQ(JsonString(c.text, &escaped), c.json) << c.text;
    EXPECT_EQ(escaped, c.escaped) << c.text;
  }
  EXPECT_EQ(JsonObject("image").Text("file", "a\xFF").Line(),
            "{\"event\":\"image\",\"file\":\"a\\\\xFF\",\"file_escaped\":true}\n");
}

}  // namespace
}  // namespace kavlen::console
