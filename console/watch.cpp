#include "console/watch.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "console/interrupt.h"
#include "console/run_sequence.h"
#include "device/str_printf.h"

namespace kavlen::console {

namespace {

using namespace std::chrono_literals;

constexpr auto kPollPeriod = 100ms;
constexpr auto kSettleTime = 300ms;

struct FileStamp {
  bool exists = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type written{};
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
  std::error_code error;
  FileStamp stamp;
  stamp.size = std::filesystem::file_size(path, error);
  if (error) return {};
  stamp.written = std::filesystem::last_write_time(path, error);
  if (error) return {};
  stamp.exists = true;
  return stamp;
}

const char* ResultText(int status) {
  switch (status) {
    case kExitOk: return "done";
    case kExitStopped: return "stopped before the download";
    case kExitDownloadFailed: return "download failed";
    case kExitVerifyFailed: return "verify failed";
    case kExitResetFailed: return "reset commands not sent";
    default: return "ended";
  }
}

std::string ClockText() {
  const std::time_t now = std::time(nullptr);
  char text[16] = "--:--:--";
  if (const std::tm* local = std::localtime(&now)) std::strftime(text, sizeof text, "%H:%M:%S", local);
  return text;
}

// Waits until the file differs from `seen` and then keeps one stamp for the
// settle time. False when Ctrl-C came first.
bool WaitForChange(const std::string& path, FileStamp& seen) {
  FileStamp last = seen;
  auto still = std::chrono::steady_clock::duration::zero();
  bool changed = false;
  while (!InterruptRequested()) {
    std::this_thread::sleep_for(kPollPeriod);
    const FileStamp now = StampOf(path);
    if (!(now == last)) {
      changed = changed || !(now == seen);
      last = now;
      still = {};
      continue;
    }
    still += kPollPeriod;
    if (changed && now.exists && still >= kSettleTime) {
      seen = now;
      return true;
    }
  }
  return false;
}

}  // namespace

int WatchAndRun(const std::string& fileName, const std::function<int()>& runOnce, TraceSink& sink) {
  CatchInterrupts();
  FileStamp seen = StampOf(fileName);
  for (;;) {
    const int status = runOnce();
    sink.Print(StrPrintf("[%s] %s: exit status %d; waiting for %s to change, Ctrl-C ends\n",
                         ClockText().c_str(), ResultText(status), status, fileName.c_str()));
    std::fflush(stdout);
    if (InterruptRequested() || !WaitForChange(fileName, seen)) return status;
  }
}

}  // namespace kavlen::console
