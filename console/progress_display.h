#pragma once
// ukavlen --progress: the transfer blocks as a display on standard error,
// apart from the texts (whose dots stay as they are). A bar is one line
// redrawn in place at most 10 times a second, with the stage, percentage,
// bytes done of bytes in all, rate and time left; plain prints such a line
// whenever another 10 % is done. Both always show the state a loop ended in.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "console/json_lines.h"
#include "console/run_events.h"
#include "device/trace_sink.h"

namespace kavlen::console {

enum class ProgressMode { Auto, Bar, Plain, None };

std::optional<ProgressMode> ProgressModeNamed(const std::string& name);
// Auto is a bar when standard error is a terminal (or a Windows console).
ProgressMode Resolve(ProgressMode mode, bool errIsTerminal);

// "download  50%  32 KB of 64 KB  1.5 MB/s  0:01 left"
std::string ProgressLine(TransferStage stage, std::uint32_t done, std::uint32_t total,
                         std::chrono::steady_clock::duration elapsed);

class ProgressDisplay final : public RunEvents {
 public:
  // mode is Bar or Plain.
  ProgressDisplay(ProgressMode mode, TraceSink& err, ClockNow now)
      : mode_(mode), err_(err), now_(std::move(now)) {}

  void OnStage(TransferStage stage, std::uint32_t blocks) override;
  void OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) override;
  void OnBlocksEnd(TransferStage stage, const BlockRun& run) override;

 private:
  void Show(TransferStage stage, std::uint32_t done);

  ProgressMode mode_;
  TraceSink& err_;
  ClockNow now_;
  std::chrono::steady_clock::time_point start_{};
  std::optional<std::chrono::steady_clock::time_point> lastDrawn_;
  std::uint32_t total_ = 0;
  std::uint32_t shownDone_ = 0;
  std::uint32_t shownTenths_ = 0;
  std::size_t barWidth_ = 0;  // of the bar line on the screen, to blank what a shorter one leaves
};

}  // namespace kavlen::console
