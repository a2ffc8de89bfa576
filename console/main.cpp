// ukavlen: downloads a ROM image into the emulator, or reports whether one is attached.

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/stdout_sink.h"
#include "console/ukavlen.h"
#include "platform/driver_api.h"
#include "platform/system.h"

namespace {

// KAVLEN_LOCK_WAIT_MS, when it is a number of milliseconds, shortens or
// lengthens the wait for another program to let go of the emulator.
std::chrono::milliseconds LockWait() {
  const char* text = std::getenv("KAVLEN_LOCK_WAIT_MS");
  if (text == nullptr || *text < '0' || *text > '9') return kavlen::kDeviceLockWait;
  char* end = nullptr;
  const unsigned long long ms = std::strtoull(text, &end, 10);
  if (*end != '\0' || ms > 24ull * 3600 * 1000) return kavlen::kDeviceLockWait;
  return std::chrono::milliseconds(ms);
}

}  // namespace

int main(int argc, char** argv) {
  kavlen::console::StdoutSink out(kavlen::StdoutIsConsole());
  return kavlen::console::RunUkavlen(std::vector<std::string>(argv + 1, argv + argc),
                                     kavlen::SystemDriver(), out, LockWait());
}
