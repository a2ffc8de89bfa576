// ukavlen: downloads a ROM image into the emulator, or reports whether one is attached.

#include <string>
#include <vector>

#include "console/stdout_sink.h"
#include "console/ukavlen.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  kavlen::console::StdoutSink out(kavlen::StdoutIsConsole());
  return kavlen::console::RunUkavlen(std::vector<std::string>(argv + 1, argv + argc),
                                     kavlen::SystemDriver(), out,
                                     kavlen::DeviceLockWaitSetting());
}
