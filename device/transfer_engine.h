#pragma once
// The jobs both programs and the library share, as operations over one
// DeviceLink: getting the device ready, the download, the read-back verify
// and the read into memory, and the end of the download with the target
// reset. They report through a TransferObserver and return values; they
// never print, and hold nothing beyond the link.
//
// Each operation runs on the device as it finds it: on the open device
// handle, or on one it opens. Prepare leaves the device open when it
// succeeds, so that the next operation runs on the same handle; every other
// operation returns with the device closed. Image and destination pointers
// cover blockCount transfer blocks.

#include <cstdint>
#include <string>

#include "device/device_link.h"
#include "device/pipe_blocks.h"
#include "device/transfer_events.h"

namespace kavlen {

struct TransferResult {
  TransferStatus status = TransferStatus::Ok;
  TransferFault fault = TransferFault::None;
  BlockRun blocks;                   // how the block loop ended, when it ran
  std::optional<Mismatch> mismatch;  // a comparison's first difference
};

struct Preparation {
  TransferStatus status = TransferStatus::Ok;
  TransferFault fault = TransferFault::None;
  bool osLoaded = false;  // only the boot code ran, and the device OS went out
  std::uint32_t osLength = 0;  // bytes of the device OS file sent
  BootStatus boot{};      // the last boot status answer
  DeviceInfo info{};      // received is false when the device did not answer
};

struct ResetResult {
  TransferStatus status = TransferStatus::Ok;  // NoDevice, ResetFailed or Ok
  bool endSent = false;    // CMD_END_DOWNLOAD reached the device
  bool resetSent = false;  // CMD_RESET_TARGET reached the device
  bool resetDone = false;  // the reset poll saw the reset finish
};

// The desktop program's bound for the reset poll: 254 replies examined, and
// one more poll whose reply is not.
inline constexpr int kResetPollLimit = 255;

class TransferEngine {
 public:
  // cancel may be null (never cancelled); both must outlive the engine.
  TransferEngine(DeviceLink& link, TransferObserver& observer, const CancelFlag* cancel = nullptr);

  // Opens the device, asks its boot status, loads the device OS file at
  // deviceOsPath when only the boot code runs (and checks that it then
  // runs), and asks the device information.
  Preparation Prepare(const std::string& deviceOsPath);
  // CMD_DOWNLOAD for blockCount blocks, the ready poll, then the blocks to
  // the OUT pipe.
  TransferResult Download(const std::uint8_t* image, std::uint16_t blockCount);
  // CMD_UPLOAD for the plan's blocks, then the blocks from the IN pipe.
  // Ok when every block came back whole, whatever a comparison found;
  // nothing is told to the device about what came back.
  TransferResult ReadBack(const ReadPlan& plan);
  // ReadBack compared with image, then CMD_VERIFY_RESULT with the outcome
  // on a fresh handle; a read-back cut short is told only when it had found
  // a difference already.
  TransferResult Verify(const std::uint8_t* image, std::uint16_t blockCount);
  // ReadBack into dest.
  TransferResult Read(std::uint8_t* dest, std::uint16_t blockCount);
  // CMD_END_DOWNLOAD then CMD_RESET_TARGET, replies unread; the reset goes
  // out even when the end of the download did not. With resetPolls > 0,
  // CMD_RESET_POLL follows (the first on a cleared block) until the device
  // reports the reset done, at most resetPolls polls; ukavlen polls none.
  ResetResult EndAndReset(int resetPolls = 0);

 private:
  bool EnsureOpen();
  Preparation LoadDeviceOs(const std::string& deviceOsPath, Preparation prepared);

  DeviceLink& link_;
  TransferObserver& observer_;
  const CancelFlag* cancel_;
};

}  // namespace kavlen
