// The transfer engine's events and results: the block loops against a
// scripted pipe, and the whole operations against the simulator.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "device/str_printf.h"
#include "device/transfer_engine.h"
#include "platform/sim_driver.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

namespace kavlen {
namespace {

// Every event as one short word, so a row states the whole sequence.
struct EventLog : TransferObserver {
  std::string text;
  void OnBootStatus(const BootStatus& s) override { text += StrPrintf("boot %X;", s.reply0); }
  void OnDeviceInfo(const DeviceInfo& i) override {
    text += i.received ? StrPrintf("info %X code %u;", i.checksum, i.sizeCode) : "no info;";
  }
  void OnStage(TransferStage stage, std::uint32_t blocks) override {
    text += StrPrintf("stage %d of %u;", static_cast<int>(stage), blocks);
  }
  void OnBlock(TransferStage, std::uint32_t done, std::uint32_t total) override {
    text += StrPrintf("%u/%u;", done, total);
  }
  void OnFirstMismatch(const Mismatch& m) override {
    text += StrPrintf("first %X %X %X %u;", m.offset, m.expected, m.found, m.count);
  }
  void OnBlocksEnd(TransferStage, const BlockRun& run) override {
    text += StrPrintf("end %d after %u", static_cast<int>(run.end), run.blocksDone);
  }
};

struct Block {
  bool ok = true;
  std::uint32_t count = kTransferBlockSize;
  std::vector<std::uint32_t> inverted;  // offsets in the block the device gets wrong
};

struct LoopCase {
  const char* name;
  TransferStage stage;  // Download writes, Verify compares, Read fills dest
  std::vector<Block> blocks;
  int cancelDuring;  // the request during which the flag goes up; -1: never
  std::string events;
  std::optional<std::uint32_t> mismatchCount;
};

// A driver that keeps pipe requests in flight: each Begin is queued and
// runs the scripted call at its End; the most begun and not yet ended is kept.
struct PipeliningDriver : test::FakeDriverApi {
  std::uint32_t depth = 1;
  std::deque<const void*> writes;
  std::size_t reads = 0, mostAhead = 0;
  std::uint32_t PipeDepth() override { return depth; }
  bool BeginWriteFile(Handle, const void* buffer, std::uint32_t) override {
    writes.push_back(buffer);
    mostAhead = std::max(mostAhead, writes.size());
    return true;
  }
  bool EndWriteFile(Handle h, std::uint32_t* n) override {
    const void* buffer = writes.front();
    writes.pop_front();
    return writeFile(h, buffer, kTransferBlockSize, n);
  }
  bool BeginReadFile(Handle, std::uint32_t) override {
    mostAhead = std::max(mostAhead, ++reads);
    return true;
  }
  bool EndReadFile(Handle h, void* into, std::uint32_t length, std::uint32_t* n) override {
    --reads;
    return readFile(h, into, length, n);
  }
};

// Each row once with a driver that does not pipeline and once with one that
// keeps up to 3 requests in flight: the events are the same.
class PipeBlocksTest : public testing::TestWithParam<std::tuple<LoopCase, std::uint32_t>> {};

TEST_P(PipeBlocksTest, EventsAndEnd) {
  const LoopCase& c = std::get<0>(GetParam());
  const std::uint32_t depth = std::get<1>(GetParam());
  const auto count = static_cast<std::uint16_t>(c.blocks.size());
  const std::vector<std::uint8_t> image = test::PatternBytes(count * kTransferBlockSize);
  std::vector<std::uint8_t> dest(image.size(), 0xCC);
  CancelFlag cancel{false};
  int request = 0;
  auto script = [&](std::uint8_t* into, std::uint32_t* moved) {
    const Block& b = c.blocks[static_cast<std::size_t>(request)];
    if (into != nullptr) {
      std::memcpy(into, image.data() + request * kTransferBlockSize, kTransferBlockSize);
      for (const std::uint32_t offset : b.inverted) into[offset] ^= 0xFF;
    }
    if (request++ == c.cancelDuring) cancel = true;
    *moved = b.count;
    return b.ok;
  };
  PipeliningDriver api;
  api.depth = depth;
  api.writeFile = [&](Handle, const void* block, std::uint32_t, std::uint32_t* n) {
    EXPECT_EQ(block, image.data() + request * kTransferBlockSize);
    return script(nullptr, n);
  };
  api.readFile = [&](Handle, void* into, std::uint32_t, std::uint32_t* n) {
    return script(static_cast<std::uint8_t*>(into), n);
  };
  EventLog log;
  std::optional<Mismatch> mismatch;
  if (c.stage == TransferStage::Download) {
    WritePipeBlocks(api, 7, image.data(), count, log, &cancel);
  } else {
    const bool compare = c.stage == TransferStage::Verify;
    const ReadPlan plan{c.stage, count, compare ? nullptr : dest.data(), compare ? image.data() : nullptr};
    mismatch = ReadPipeBlocks(api, 7, plan, log, &cancel).mismatch;
    if (!compare) {
      EXPECT_EQ(std::memcmp(dest.data(), image.data(), request * kTransferBlockSize), 0);
    }
  }
  EXPECT_EQ(log.text, c.events);
  EXPECT_EQ(mismatch ? std::optional(mismatch->count) : std::nullopt, c.mismatchCount);
  EXPECT_EQ(api.mostAhead, depth > 1 ? std::min<std::size_t>(depth, count) : 0);
  EXPECT_EQ(api.readCalls + api.writeCalls, depth > 1 ? 0 : request);
}

const std::vector<std::uint32_t> kTwoBad = {1, 9};

INSTANTIATE_TEST_SUITE_P(
    Loops, PipeBlocksTest,
    testing::Combine(testing::Values(
        LoopCase{"WriteAll", TransferStage::Download, {{}, {}, {}}, -1, "1/3;2/3;3/3;end 0 after 3", {}},
        LoopCase{"WriteShort", TransferStage::Download, {{}, {true, 100, {}}, {}}, -1, "1/3;end 1 after 1", {}},
        LoopCase{"WriteCancelled", TransferStage::Download, {{}, {}, {}, {}}, 1, "1/4;2/4;end 2 after 2", {}},
        // a flag raised during the last block finds nothing left to cancel
        LoopCase{"CancelAtTheEnd", TransferStage::Download, {{}, {}}, 1, "1/2;2/2;end 0 after 2", {}},
        // the first difference is told once, after its block; all are counted
        LoopCase{"VerifyCounts", TransferStage::Verify,
                 {{}, {true, kTransferBlockSize, kTwoBad}, {true, kTransferBlockSize, {0}}}, -1,
                 "1/3;2/3;first 4001 A F5 2;3/3;end 0 after 3", 3},
        LoopCase{"ShortReadNotCompared", TransferStage::Verify, {{}, {true, 100, {5}}, {}}, -1,
                 "1/3;end 1 after 1", {}},
        LoopCase{"ReadFailed", TransferStage::Read, {{}, {false, 0, {}}}, -1, "1/2;end 1 after 1", {}},
        LoopCase{"ReadCancelled", TransferStage::Read, {{}, {}, {}}, 0, "1/3;end 2 after 1", {}}),
        testing::Values(1u, 3u)),
    [](const testing::TestParamInfo<std::tuple<LoopCase, std::uint32_t>>& info) {
      return std::string(std::get<0>(info.param).name) + "Depth" +
             std::to_string(std::get<1>(info.param));
    });

// One simulator, a link on it and the engine over the link.
struct SimRig {
  explicit SimRig(const std::vector<std::string>& args)
      : sim(root.path(), args), api(MakeSimDriver(root.path())), link(*api, sink, Flavour::Console),
        engine(link, log) {}
  test::TempDir root;
  test::SimProcess sim;
  std::unique_ptr<DriverApi> api;
  test::RecordingSink sink;
  DeviceLink link;
  EventLog log;
  TransferEngine engine;
};

enum class OsFile { None, Bytes, Empty, Folder };

struct PrepareCase {
  std::vector<std::string> args;
  OsFile osFile;
  TransferStatus status;
  TransferFault fault;
  std::string events;
};

TEST(TransferEngineWithSimulator, Prepare) {
  const PrepareCase cases[] = {
      {{"--state", "os"}, OsFile::None, TransferStatus::Ok, TransferFault::None, "boot 2C;info 1234 code 6;"},
      {{"--state", "boot"}, OsFile::Bytes, TransferStatus::Ok, TransferFault::None,
       "boot 1;stage 0 of 0;boot 2C;info 1234 code 6;"},
      {{"--state", "boot"}, OsFile::None, TransferStatus::PrepareFailed, TransferFault::OsFileMissing,
       "boot 1;stage 0 of 0;"},
      {{"--state", "boot"}, OsFile::Empty, TransferStatus::PrepareFailed, TransferFault::OsFileEmpty,
       "boot 1;stage 0 of 0;"},
      {{"--state", "boot"}, OsFile::Folder, TransferStatus::PrepareFailed,
       TransferFault::OsFileUnreadable, "boot 1;stage 0 of 0;"},
      {{"--state", "boot", "--start-os-fails"}, OsFile::Bytes, TransferStatus::PrepareFailed,
       TransferFault::OsNotStarted, "boot 1;stage 0 of 0;boot 1;"},
      {{"--boot-reply", "0"}, OsFile::None, TransferStatus::PrepareFailed, TransferFault::BootError, "boot 0;"},
      {{"--refuse-open"}, OsFile::None, TransferStatus::NoDevice, TransferFault::OpenFailed, ""},
  };
  for (const PrepareCase& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--capacity-mask", "0x3F", "--os-checksum", "0x1234"});
    SimRig rig(args);
    ASSERT_TRUE(rig.sim.ready()) << rig.sim.output();
    test::TempDir osDir;
    if (c.osFile == OsFile::Bytes) osDir.Write("TPROMOS.USB", {1, 2, 3});
    if (c.osFile == OsFile::Empty) osDir.Write("TPROMOS.USB", {});
    if (c.osFile == OsFile::Folder) std::filesystem::create_directory(osDir.path() + "/TPROMOS.USB");
    const Preparation prepared = rig.engine.Prepare(osDir.path() + "/TPROMOS.USB");
    EXPECT_EQ(prepared.status, c.status) << c.events;
    EXPECT_EQ(prepared.fault, c.fault) << c.events;
    EXPECT_EQ(rig.log.text, c.events);
    // only a device made ready stays open for the next operation
    EXPECT_EQ(rig.link.device() != kInvalidHandle, c.status == TransferStatus::Ok) << c.events;
  }
}

TEST(TransferEngineWithSimulator, DownloadVerifyAndRead) {
  SimRig rig({"--state", "os", "--corrupt", "0x4001", "--corrupt", "0x7FFF"});
  ASSERT_TRUE(rig.sim.ready()) << rig.sim.output();
  const std::vector<std::uint8_t> image = test::PatternBytes(4 * kTransferBlockSize);
  ASSERT_EQ(rig.engine.Prepare("").status, TransferStatus::Ok);
  EXPECT_EQ(rig.engine.Download(image.data(), 4).status, TransferStatus::Ok);
  EXPECT_EQ(rig.link.device(), kInvalidHandle);

  rig.log.text.clear();
  const TransferResult verify = rig.engine.Verify(image.data(), 4);
  EXPECT_EQ(verify.status, TransferStatus::VerifyFailed);
  EXPECT_EQ(verify.fault, TransferFault::Mismatch);
  ASSERT_TRUE(verify.mismatch);
  EXPECT_EQ(verify.mismatch->offset, 0x4001u);
  EXPECT_EQ(verify.mismatch->expected, image[0x4001]);
  EXPECT_EQ(verify.mismatch->found, image[0x4001] ^ 0xFF);
  EXPECT_EQ(verify.mismatch->count, 2u);
  EXPECT_EQ(rig.log.text, "stage 2 of 4;1/4;2/4;first 4001 A F5 2;3/4;4/4;end 0 after 4");

  std::vector<std::uint8_t> dump(image.size());
  EXPECT_EQ(rig.engine.Read(dump.data(), 4).status, TransferStatus::Ok);
  std::vector<std::uint8_t> expected = image;
  expected[0x4001] ^= 0xFF;
  expected[0x7FFF] ^= 0xFF;
  EXPECT_EQ(dump, expected);
  EXPECT_EQ(rig.engine.EndAndReset().status, TransferStatus::Ok);
  EXPECT_TRUE(rig.engine.EndAndReset(kResetPollLimit).resetDone);
}

TEST(TransferEngineWithSimulator, ResetPollGivesUp) {
  SimRig rig({"--state", "os", "--reset-never"});
  ASSERT_TRUE(rig.sim.ready()) << rig.sim.output();
  EXPECT_EQ(rig.engine.EndAndReset().status, TransferStatus::Ok);
  const ResetResult reset = rig.engine.EndAndReset(kResetPollLimit);
  EXPECT_TRUE(reset.resetSent);
  EXPECT_EQ(reset.status, TransferStatus::ResetFailed);
}

}  // namespace
}  // namespace kavlen
