#include "platform/device_lock.h"

#include <cstdlib>

namespace kavlen {

std::chrono::milliseconds DeviceLockWaitSetting() {
  const char* text = std::getenv("KAVLEN_LOCK_WAIT_MS");
  if (text == nullptr || *text < '0' || *text > '9') return kDeviceLockWait;
  char* end = nullptr;
  const unsigned long long ms = std::strtoull(text, &end, 10);
  if (*end != '\0' || ms > 24ull * 3600 * 1000) return kDeviceLockWait;
  return std::chrono::milliseconds(ms);
}

}  // namespace kavlen
