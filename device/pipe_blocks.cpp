#include "device/pipe_blocks.h"

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

}  // namespace

BlockRun WritePipeBlocks(DriverApi& api, Handle pipe, const std::uint8_t* image,
                         std::uint16_t blockCount, TransferObserver& observer,
                         const CancelFlag* cancel) {
  BlockRun run;
  for (std::uint32_t k = 0; k < blockCount; ++k) {
    std::uint32_t written = 0;
    if (!api.WriteFile(pipe, image + k * kTransferBlockSize, kTransferBlockSize, &written) ||
        written != kTransferBlockSize) {
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
  for (std::uint32_t k = 0; k < plan.blockCount; ++k) {
    const std::uint32_t offset = k * kTransferBlockSize;
    std::uint8_t* into = plan.dest != nullptr ? plan.dest + offset : readBlock.get();
    std::uint32_t got = 0;
    if (!api.ReadFile(pipe, into, kTransferBlockSize, &got) || got != kTransferBlockSize) {
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
