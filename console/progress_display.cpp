#include "console/progress_display.h"

#include "device/command_block.h"
#include "device/str_printf.h"

namespace kavlen::console {

namespace {

using namespace std::chrono_literals;

constexpr auto kRedrawPeriod = 100ms;  // 10 a second

std::string BytesText(double bytes) {
  if (bytes >= 1024.0 * 1024.0) return StrPrintf("%.1f MB", bytes / (1024.0 * 1024.0));
  return StrPrintf("%.0f KB", bytes / 1024.0);
}

const char* StageWord(TransferStage stage) {
  switch (stage) {
    case TransferStage::Download: return "download";
    case TransferStage::Verify: return "verify";
    case TransferStage::Read: return "read";
    case TransferStage::DeviceOs: break;
  }
  return "device OS";
}

}  // namespace

std::optional<ProgressMode> ProgressModeNamed(const std::string& name) {
  if (name == "auto") return ProgressMode::Auto;
  if (name == "bar") return ProgressMode::Bar;
  if (name == "plain") return ProgressMode::Plain;
  if (name == "none") return ProgressMode::None;
  return std::nullopt;
}

ProgressMode Resolve(ProgressMode mode, bool errIsTerminal) {
  if (mode != ProgressMode::Auto) return mode;
  return errIsTerminal ? ProgressMode::Bar : ProgressMode::None;
}

std::string ProgressLine(TransferStage stage, std::uint32_t done, std::uint32_t total,
                         std::chrono::steady_clock::duration elapsed) {
  const double all = double(total) * kTransferBlockSize;
  const double moved = double(done) * kTransferBlockSize;
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::string rate = "-- KB/s";
  std::string left = "-:--";
  if (seconds > 0.0 && done > 0) {
    const double perSecond = moved / seconds;
    rate = BytesText(perSecond) + "/s";
    const auto remaining = static_cast<unsigned long>((all - moved) / perSecond + 0.5);
    left = StrPrintf("%lu:%02lu", remaining / 60, remaining % 60);
  }
  const unsigned percent = total == 0 ? 100u : static_cast<unsigned>(std::uint64_t{done} * 100 / total);
  return StrPrintf("%-8s %3u%%  %s of %s  %s  %s left", StageWord(stage), percent,
                   BytesText(moved).c_str(), BytesText(all).c_str(), rate.c_str(), left.c_str());
}

void ProgressDisplay::OnStage(TransferStage stage, std::uint32_t blocks) {
  if (stage == TransferStage::DeviceOs) return;
  start_ = now_();
  lastDrawn_.reset();
  total_ = blocks;
  shownDone_ = 0;
  shownTenths_ = 0;
  barWidth_ = 0;
}

void ProgressDisplay::Show(TransferStage stage, std::uint32_t done) {
  const auto now = now_();
  const std::string line = ProgressLine(stage, done, total_, now - start_);
  lastDrawn_ = now;
  shownDone_ = done;
  if (mode_ == ProgressMode::Plain) {
    err_.Print(line + "\n");
    return;
  }
  std::string blank;
  if (line.size() < barWidth_) blank.assign(barWidth_ - line.size(), ' ');
  barWidth_ = line.size();
  err_.Print("\r" + line + blank);
}

void ProgressDisplay::OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) {
  total_ = total;
  if (mode_ == ProgressMode::Plain) {
    const std::uint32_t tenths = static_cast<std::uint32_t>(std::uint64_t{done} * 10 / total);
    if (tenths > shownTenths_) {
      shownTenths_ = tenths;
      Show(stage, done);
    }
    return;
  }
  if (done == total || !lastDrawn_ || now_() - *lastDrawn_ >= kRedrawPeriod) Show(stage, done);
}

void ProgressDisplay::OnBlocksEnd(TransferStage stage, const BlockRun& run) {
  if (total_ == 0) return;
  if (run.blocksDone != shownDone_ || !lastDrawn_) Show(stage, run.blocksDone);
  if (mode_ == ProgressMode::Bar) err_.Print("\n");
  total_ = 0;
}

}  // namespace kavlen::console
