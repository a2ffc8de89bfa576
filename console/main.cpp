// ukavlen: downloads a ROM image into the emulator, or reports whether one is attached.

#include <algorithm>
#include <string>
#include <vector>

#include "console/long_options.h"
#include "console/stdout_sink.h"
#include "console/ukavlen.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  kavlen::console::ExportRemoteOptions(args);
  // JSON lines leave one by one, so that a program reading them sees each as it happens
  const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
  kavlen::console::StdoutSink out(json || kavlen::StdoutIsConsole());
  kavlen::console::StderrSink err;
  kavlen::console::ProgressOutput progress;
  progress.err = &err;
  progress.errIsTerminal = kavlen::StderrIsConsole();
  return kavlen::console::RunUkavlen(args, kavlen::SystemDriver(), out,
                                     kavlen::DeviceLockWaitSetting(), progress);
}
