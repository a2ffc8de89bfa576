#pragma once
// The block loops on an open bulk pipe: one write or read request per
// 16 KB transfer block, an event per block, the cancel flag looked at
// between blocks. The pipe is the caller's to open and close. With a driver
// that pipelines, the next blocks' requests are out while a block's result
// is awaited; a block counts only once its own result has come, and the
// results still owed when a loop stops early are the driver's to drop.

#include <cstdint>
#include <optional>

#include "device/command_block.h"
#include "device/transfer_events.h"
#include "platform/driver_api.h"

namespace kavlen {

// Writes blocks 0..blockCount-1 of image; stops at the first write that
// fails or moves less than a block.
BlockRun WritePipeBlocks(DriverApi& api, Handle pipe, const std::uint8_t* image,
                         std::uint16_t blockCount, TransferObserver& observer,
                         const CancelFlag* cancel);

struct ReadPlan {
  TransferStage stage = TransferStage::Read;
  std::uint16_t blockCount = 0;
  // Block k goes to dest + k * 16 KB; null: every block into one read block.
  std::uint8_t* dest = nullptr;
  // When set, each whole block is compared with the same offset of it.
  const std::uint8_t* expected = nullptr;
};

struct ReadOutcome {
  BlockRun run;
  std::optional<Mismatch> mismatch;  // the first difference, counted over all compared
};

// Reads the plan's blocks; stops at the first read that fails or comes back
// short (that block is not compared).
ReadOutcome ReadPipeBlocks(DriverApi& api, Handle pipe, const ReadPlan& plan,
                           TransferObserver& observer, const CancelFlag* cancel);

}  // namespace kavlen
