#include "device/transfer_engine.h"

#include "device/device_os.h"
#include "device/protocol.h"

namespace kavlen {

namespace {

TransferResult Failed(TransferStatus status, TransferFault fault) { return {status, fault, {}, {}}; }

TransferFault FaultOf(const BlockRun& run) {
  switch (run.end) {
    case BlockEnd::Done: return TransferFault::None;
    case BlockEnd::Failed: return TransferFault::BlockFailed;
    case BlockEnd::Cancelled: return TransferFault::Cancelled;
    case BlockEnd::NoMemory: return TransferFault::NoMemory;
  }
  return TransferFault::BlockFailed;
}

TransferStatus StatusOf(const BlockRun& run, TransferStatus failed) {
  if (run.end == BlockEnd::Done) return TransferStatus::Ok;
  return run.end == BlockEnd::Cancelled ? TransferStatus::Cancelled : failed;
}

TransferFault FaultOf(DeviceOsRead read) {
  return read == DeviceOsRead::Missing ? TransferFault::OsFileMissing
                                       : TransferFault::OsFileUnreadable;
}

}  // namespace

TransferEngine::TransferEngine(DeviceLink& link, TransferObserver& observer,
                               const CancelFlag* cancel)
    : link_(link), observer_(observer), cancel_(cancel) {}

bool TransferEngine::EnsureOpen() {
  return link_.device() != kInvalidHandle || link_.OpenDevice() != kInvalidHandle;
}

Preparation TransferEngine::Prepare(const std::string& deviceOsPath) {
  Preparation prepared;
  if (link_.OpenDevice() == kInvalidHandle) {
    prepared.status = TransferStatus::NoDevice;
    prepared.fault = TransferFault::OpenFailed;
    return prepared;
  }
  prepared.boot = QueryBootStatus(link_.api(), link_.device(), link_.block());
  observer_.OnBootStatus(prepared.boot);
  if (prepared.boot.needsOsLoad == 1) {
    prepared = LoadDeviceOs(deviceOsPath, prepared);
  } else if (prepared.boot.stateCode != DEV_STATE_OS_RUNNING) {
    prepared.status = TransferStatus::PrepareFailed;
    prepared.fault = TransferFault::BootError;
  }
  if (prepared.status != TransferStatus::Ok) {
    link_.CloseDevice();
    return prepared;
  }
  prepared.info = QueryDeviceInfo(link_.api(), link_.device(), link_.block());
  observer_.OnDeviceInfo(prepared.info);
  return prepared;
}

Preparation TransferEngine::LoadDeviceOs(const std::string& deviceOsPath, Preparation prepared) {
  observer_.OnStage(TransferStage::DeviceOs, 0);
  prepared.status = TransferStatus::PrepareFailed;
  DeviceOsImage image = ReadDeviceOsFile(deviceOsPath);
  if (image.outcome != DeviceOsRead::Ok) {
    prepared.fault = FaultOf(image.outcome);
    return prepared;
  }
  if (image.length == 0) {
    prepared.fault = TransferFault::OsFileEmpty;
    return prepared;
  }
  SendDeviceOs(link_.api(), link_.device(), image);
  StartDeviceOs(link_.api(), link_.device(), link_.block());
  prepared.osLoaded = true;
  prepared.osLength = image.length;
  prepared.boot = QueryBootStatus(link_.api(), link_.device(), link_.block());
  observer_.OnBootStatus(prepared.boot);
  if (prepared.boot.stateCode != DEV_STATE_OS_RUNNING) {
    prepared.fault = TransferFault::OsNotStarted;
    return prepared;
  }
  prepared.status = TransferStatus::Ok;
  return prepared;
}

TransferResult TransferEngine::Download(const std::uint8_t* image, std::uint16_t blockCount) {
  if (!EnsureOpen()) return Failed(TransferStatus::NoDevice, TransferFault::OpenFailed);
  BuildDownload(link_.block(), blockCount);
  TailExchange(link_.api(), link_.device(), link_.block());
  const bool ready = WaitReady(link_.api(), link_.device(), link_.block());
  link_.CloseDevice();
  if (!ready) return Failed(TransferStatus::DownloadFailed, TransferFault::NotReady);

  const Handle pipe = link_.OpenPipe(kPipeOut);
  if (pipe == kInvalidHandle) return Failed(TransferStatus::DownloadFailed, TransferFault::PipeFailed);
  observer_.OnStage(TransferStage::Download, blockCount);
  const BlockRun run = WritePipeBlocks(link_.api(), pipe, image, blockCount, observer_, cancel_);
  link_.api().CloseHandle(pipe);
  return {StatusOf(run, TransferStatus::DownloadFailed), FaultOf(run), run, {}};
}

TransferResult TransferEngine::ReadBack(const ReadPlan& plan) {
  // A read cut short fails as a verify does (ukavlen --read exits 3 too).
  constexpr TransferStatus failed = TransferStatus::VerifyFailed;
  if (!EnsureOpen()) return Failed(TransferStatus::NoDevice, TransferFault::OpenFailed);
  BuildUpload(link_.block(), plan.blockCount);
  TailExchange(link_.api(), link_.device(), link_.block());
  link_.CloseDevice();

  const Handle pipe = link_.OpenPipe(kPipeIn);
  if (pipe == kInvalidHandle) return Failed(failed, TransferFault::PipeFailed);
  observer_.OnStage(plan.stage, plan.blockCount);
  const ReadOutcome read = ReadPipeBlocks(link_.api(), pipe, plan, observer_, cancel_);
  link_.api().CloseHandle(pipe);
  return {StatusOf(read.run, failed), FaultOf(read.run), read.run, read.mismatch};
}

TransferResult TransferEngine::Verify(const std::uint8_t* image, std::uint16_t blockCount) {
  TransferResult result = ReadBack({TransferStage::Verify, blockCount, nullptr, image});
  // A read-back cut short proves nothing unless it already found a difference.
  if (result.status != TransferStatus::Ok && !result.mismatch) return result;
  if (link_.OpenDevice() == kInvalidHandle) {
    return {TransferStatus::VerifyFailed, TransferFault::ReopenFailed, result.blocks, result.mismatch};
  }
  if (result.mismatch) {
    SendVerifyResult(link_.api(), link_.device(), link_.block(), kVerifyFailedFirst,
                     kVerifyFailedSecond);
    result.status = TransferStatus::VerifyFailed;
    result.fault = TransferFault::Mismatch;
  } else {
    SendVerifyResult(link_.api(), link_.device(), link_.block(), kVerifyPassedFirst,
                     kVerifyPassedSecond);
  }
  link_.CloseDevice();
  return result;
}

TransferResult TransferEngine::Read(std::uint8_t* dest, std::uint16_t blockCount) {
  return ReadBack({TransferStage::Read, blockCount, dest, nullptr});
}

ResetResult TransferEngine::EndAndReset(int resetPolls) {
  ResetResult result;
  if (!EnsureOpen()) {
    result.status = TransferStatus::NoDevice;
    return result;
  }
  result.endSent = SendEndDownload(link_.api(), link_.device(), link_.block());
  result.resetSent = SendResetTarget(link_.api(), link_.device(), link_.block());
  if (resetPolls > 0) {
    link_.block().fill(0);
    result.resetDone =
        PollUntilClear(link_.api(), link_.device(), link_.block(), CMD_RESET_POLL, resetPolls).cleared;
  }
  link_.CloseDevice();
  if (!result.endSent || !result.resetSent || (resetPolls > 0 && !result.resetDone)) {
    result.status = TransferStatus::ResetFailed;
  }
  return result;
}

}  // namespace kavlen
