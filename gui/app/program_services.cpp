#include "gui/app/program_services.h"

#include <chrono>
#include <thread>

#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/system.h"

namespace kavlen {

MainDlgServices ProgramServices(TraceSink& trace, SettingsFile& settings) {
  MainDlgServices services{SystemDriver(), trace, settings, GetModuleDirectory()};
  services.lockWait = DeviceLockWaitSetting();
  services.debugOutput = [](const std::string& text) { DebugOutput(text); };
  services.sleep = [](int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };
  return services;
}

}  // namespace kavlen
