#include "device/pipe_blocks.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace kavlen {

namespace {

bool CancelAfter(std::uint32_t block, std::uint16_t blockCount, const CancelFlag* cancel) {
  return block + 1 < blockCount && cancel != nullptr && cancel->load();
}

// Adds the block's differences to `mismatch`, keeping the first one.
void Compare(const std::uint8_t* expected, const std::uint8_t* read, std::uint32_t offset,
             std::optional<Mismatch>& mismatch) {
  if (std::memcmp(expected, read, kTransferBlockSize) == 0) return;
  for (std::uint32_t i = 0; i < kTransferBlockSize; ++i) {
    if (expected[i] == read[i]) continue;
    if (!mismatch) {
      mismatch.emplace();
      mismatch->offset = offset + i;
      mismatch->expected = expected[i];
      mismatch->found = read[i];
    }
    if (mismatch->count < mismatch->firstOffsets.size()) mismatch->firstOffsets[mismatch->count] = offset + i;
    ++mismatch->count;
  }
}

// Which blocks' requests are out. A driver that pipelines gets each block's
// Begin up to depth - 1 blocks ahead of the one whose End is awaited; for
// one that does not, the whole call is made when the block's turn comes.
class RequestsAhead {
 public:
  RequestsAhead(DriverApi& api, std::uint32_t count)
      : depth_(std::max<std::uint32_t>(1, api.PipeDepth())), count_(count) {}
  bool pipelined() const { return depth_ > 1; }
  // Begins what may be begun by block k's turn; whether k's request is out.
  template <class Begin>
  bool Out(std::uint32_t k, Begin begin) {
    while (pipelined() && !stopped_ && begun_ < count_ && begun_ < k + depth_) {
      if (begin(begun_)) {
        ++begun_;
      } else {
        stopped_ = true;
      }
    }
    return !pipelined() || k < begun_;
  }

 private:
  const std::uint32_t depth_;
  const std::uint32_t count_;
  std::uint32_t begun_ = 0;
  bool stopped_ = false;
};

}  // namespace

BlockRun WritePipeBlocks(DriverApi& api, Handle pipe, const std::uint8_t* image,
                         std::uint16_t blockCount, TransferObserver& observer,
                         const CancelFlag* cancel) {
  BlockRun run;
  RequestsAhead ahead(api, blockCount);
  const auto block = [image](std::uint32_t k) { return image + k * kTransferBlockSize; };
  for (std::uint32_t k = 0; k < blockCount; ++k) {
    std::uint32_t written = 0;
    const bool out = ahead.Out(
        k, [&](std::uint32_t j) { return api.BeginWriteFile(pipe, block(j), kTransferBlockSize); });
    const bool done = out && (ahead.pipelined()
                                  ? api.EndWriteFile(pipe, &written)
                                  : api.WriteFile(pipe, block(k), kTransferBlockSize, &written));
    if (!done || written != kTransferBlockSize) {
      run.end = BlockEnd::Failed;
      break;
    }
    run.blocksDone = k + 1;
    observer.OnBlock(TransferStage::Download, run.blocksDone, blockCount);
    if (CancelAfter(k, blockCount, cancel)) {
      run.end = BlockEnd::Cancelled;
      break;
    }
  }
  observer.OnBlocksEnd(TransferStage::Download, run);
  return run;
}

ReadOutcome ReadPipeBlocks(DriverApi& api, Handle pipe, const ReadPlan& plan,
                           TransferObserver& observer, const CancelFlag* cancel) {
  ReadOutcome outcome;
  std::unique_ptr<std::uint8_t[]> readBlock;
  if (plan.dest == nullptr) {
    readBlock.reset(new (std::nothrow) std::uint8_t[kTransferBlockSize]);
    if (readBlock == nullptr) {
      outcome.run.end = BlockEnd::NoMemory;
      observer.OnBlocksEnd(plan.stage, outcome.run);
      return outcome;
    }
  }
  RequestsAhead ahead(api, plan.blockCount);
  for (std::uint32_t k = 0; k < plan.blockCount; ++k) {
    const std::uint32_t offset = k * kTransferBlockSize;
    std::uint8_t* into = plan.dest != nullptr ? plan.dest + offset : readBlock.get();
    std::uint32_t got = 0;
    const bool out =
        ahead.Out(k, [&](std::uint32_t) { return api.BeginReadFile(pipe, kTransferBlockSize); });
    const bool done = out && (ahead.pipelined()
                                  ? api.EndReadFile(pipe, into, kTransferBlockSize, &got)
                                  : api.ReadFile(pipe, into, kTransferBlockSize, &got));
    if (!done || got != kTransferBlockSize) {
      outcome.run.end = BlockEnd::Failed;
      break;
    }
    outcome.run.blocksDone = k + 1;
    observer.OnBlock(plan.stage, outcome.run.blocksDone, plan.blockCount);
    if (plan.expected != nullptr) {
      const bool before = outcome.mismatch.has_value();
      Compare(plan.expected + offset, into, offset, outcome.mismatch);
      if (!before && outcome.mismatch) observer.OnFirstMismatch(*outcome.mismatch);
    }
    if (CancelAfter(k, plan.blockCount, cancel)) {
      outcome.run.end = BlockEnd::Cancelled;
      break;
    }
  }
  observer.OnBlocksEnd(plan.stage, outcome.run);
  return outcome;
}

}  // namespace kavlen
