#pragma once
// ukavlen's words for the transfer engine's events: the identification
// lines, the progress dots and the lines that end a block loop. Each event
// goes on to the run's other observers (--json, --progress) once worded.

#include "device/trace_sink.h"
#include "device/transfer_events.h"

namespace kavlen::console {

class ConsoleWording : public TransferObserver {
 public:
  explicit ConsoleWording(TraceSink& sink, TransferObserver* also = nullptr)
      : sink_(sink), also_(also) {}

  // The engine's cancel flag: raised after a block once Ctrl-C has come.
  CancelFlag cancel{false};

  void OnBootStatus(const BootStatus& status) override;
  void OnDeviceInfo(const DeviceInfo& info) override;
  void OnStage(TransferStage stage, std::uint32_t blocks) override;
  void OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) override;
  void OnFirstMismatch(const Mismatch& first) override;
  void OnBlocksEnd(TransferStage stage, const BlockRun& run) override;

 private:
  TraceSink& sink_;
  TransferObserver* also_;
  bool loadingOs_ = false;
  bool lineOpen_ = false;  // a stage's "Download", "Verify ." or "Read" awaits its "Done"
};

// The lines a failed preparation ends with, after what the events printed.
void PrintPrepareFailure(TransferFault fault, TraceSink& sink);

}  // namespace kavlen::console
