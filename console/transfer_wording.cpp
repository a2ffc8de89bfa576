#include "console/transfer_wording.h"

#include "console/interrupt.h"
#include "device/identification_text.h"
#include "device/str_printf.h"

namespace kavlen::console {

void ConsoleWording::OnBootStatus(const BootStatus& status) {
  if (status.stateCode == DEV_STATE_OS_RUNNING) {
    sink_.Print(ConsoleDeviceInfoLine(status));
    if (loadingOs_) sink_.Print("Device OS Update OK ! ...\n");
  }
  if (status.stateCode == DEV_STATE_BOOT_ERROR) sink_.Print(kConsoleBootErrorLine);
  if (also_ != nullptr) also_->OnBootStatus(status);
}

void ConsoleWording::OnDeviceInfo(const DeviceInfo& info) {
  if (info.received) sink_.Print(ConsoleChecksumLine(info));
  if (also_ != nullptr) also_->OnDeviceInfo(info);
}

void ConsoleWording::OnStage(TransferStage stage, std::uint32_t blocks) {
  switch (stage) {
    case TransferStage::DeviceOs:
      loadingOs_ = true;
      sink_.Print("Device OS is not Ready!\n");
      sink_.Print("Load the device OS Now ...\n");
      if (also_ != nullptr) also_->OnStage(stage, blocks);
      return;
    case TransferStage::Download: sink_.Print("Download"); break;
    case TransferStage::Verify: sink_.Print("Verify ."); break;
    case TransferStage::Read: sink_.Print("Read"); break;
  }
  lineOpen_ = true;
  if (also_ != nullptr) also_->OnStage(stage, blocks);
}

void ConsoleWording::OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) {
  sink_.Print(".");
  if (InterruptRequested()) cancel = true;
  if (also_ != nullptr) also_->OnBlock(stage, done, total);
}

void ConsoleWording::OnFirstMismatch(const Mismatch& first) {
  if (also_ != nullptr) also_->OnFirstMismatch(first);
}

void ConsoleWording::OnBlocksEnd(TransferStage stage, const BlockRun& run) {
  switch (run.end) {
    case BlockEnd::Done:
      if (lineOpen_) sink_.Print("Done ! \n");
      break;
    case BlockEnd::Failed:
      sink_.Print(StrPrintf(stage == TransferStage::Download ? "\nWrite Block %u Fail! ...\n"
                                                             : "\nRead Block %u Fail! ...\n",
                            run.blocksDone));
      break;
    case BlockEnd::Cancelled:
      sink_.Print(StrPrintf("\nInterrupted after block %u ...\n", run.blocksDone - 1));
      break;
    case BlockEnd::NoMemory:
      sink_.Print("\nAllocate Read Block Fail! ...\n");
      break;
  }
  lineOpen_ = false;
  if (also_ != nullptr) also_->OnBlocksEnd(stage, run);
}

void PrintPrepareFailure(TransferFault fault, TraceSink& sink) {
  switch (fault) {
    case TransferFault::OpenFailed:
      sink.Print("Please Check the USB Cable ...and try it again !\n");
      return;
    case TransferFault::BootError:
      sink.Print("DEVICE FATAL Error !!\n ");
      return;
    case TransferFault::OsFileMissing:
      sink.Print("open Device OS File fail. Please Re-Install system...\n");
      sink.Print(" Maybe Missing the OS File--'TPROMOS.USB' not exist here !!..\n");
      break;
    case TransferFault::OsFileUnreadable:
      sink.Print("read Device OS File fail. Please Re-Install system...\n");
      break;
    case TransferFault::OsFileEmpty:
      sink.Print("The OS File is empty... Fail\n");
      break;
    default:
      break;
  }
  sink.Print("Device OS Update Fail ! ...\n");
}

}  // namespace kavlen::console
