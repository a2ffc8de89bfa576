#pragma once
// What the transfer engine reports while it works, as values: the stage
// under way, each block done, the device's answers and the first byte that
// differs. Each program words these events its own way; the engine never
// prints (the device layer's trace lines still go through the link's sink).

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "device/identification.h"

namespace kavlen {

// 0..4 are ukavlen's exit statuses for the same outcomes.
enum class TransferStatus : int {
  Ok = 0,
  PrepareFailed = 1,   // the device OS does not run and could not be made to run
  DownloadFailed = 2,
  VerifyFailed = 3,    // a byte differed, or the read-back could not be done whole
  ResetFailed = 4,
  NoDevice = 5,        // the emulator could not be opened
  Busy = 6,            // another program holds the emulator
  Cancelled = 7,       // the cancel flag was up after a block
};

// Why an operation ended as it did, for the caller's wording.
enum class TransferFault {
  None,
  OpenFailed,        // no emulator could be opened
  BootError,         // the boot code reported an error, or an unknown boot status
  OsFileMissing,     // the device OS file is not there
  OsFileUnreadable,  // it is there but could not be read whole
  OsFileEmpty,
  OsNotStarted,      // the device OS went out but the device does not report it running
  NotReady,          // the ready poll gave up
  PipeFailed,        // the bulk pipe could not be opened
  BlockFailed,       // a block write or read failed or moved less than a block
  NoMemory,          // no room for the read block
  Cancelled,
  Mismatch,
  ReopenFailed,      // the device could not be opened again after the data
  EndDownloadFailed, // CMD_END_DOWNLOAD did not reach the device (the reset still went out)
  ResetFailed,       // CMD_RESET_TARGET did not reach the device
};

enum class TransferStage { DeviceOs, Download, Verify, Read };

// How a block loop ended.
enum class BlockEnd { Done, Failed, Cancelled, NoMemory };
struct BlockRun {
  BlockEnd end = BlockEnd::Done;
  // Blocks moved whole: on Failed also the number of the block that failed,
  // on Cancelled one more than the last block done.
  std::uint32_t blocksDone = 0;
};

struct Mismatch {
  std::uint32_t offset = 0;  // from the start of the image
  std::uint8_t expected = 0; // the image's byte
  std::uint8_t found = 0;    // the device's byte
  std::uint32_t count = 0;   // differing bytes in the blocks compared
  // The offsets of the first differing bytes, as many as count, at most 16.
  std::array<std::uint32_t, 16> firstOffsets{};
};

// Set from any thread or a signal handler; honoured after the block in flight.
using CancelFlag = std::atomic<bool>;
static_assert(CancelFlag::is_always_lock_free, "a signal handler must be able to raise it");

// Every event has an empty default, so an observer words only what it shows.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // Each boot status answer: the first, and the check after a device OS load.
  virtual void OnBootStatus(const BootStatus& /*status*/) {}
  virtual void OnDeviceInfo(const DeviceInfo& /*info*/) {}
  // A stage begins: DeviceOs before the device OS file is read (blocks 0),
  // the transfers once their pipe is open.
  virtual void OnStage(TransferStage /*stage*/, std::uint32_t /*blocks*/) {}
  virtual void OnBlock(TransferStage /*stage*/, std::uint32_t /*done*/, std::uint32_t /*total*/) {}
  // Once per comparison, right after the block that holds the first
  // difference; count covers the blocks compared so far.
  virtual void OnFirstMismatch(const Mismatch& /*first*/) {}
  // The block loop has ended; its pipe is still open.
  virtual void OnBlocksEnd(TransferStage /*stage*/, const BlockRun& /*run*/) {}
};

}  // namespace kavlen
