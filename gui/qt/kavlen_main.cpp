// kavlen: the desktop program. One modal main window; the program ends when
// it closes. This is the one place where the platform layer meets the
// window: the driver, the program directory, the developer output, the
// settings file and the real message boxes are wired together here.

#include <QApplication>

#include <chrono>
#include <string>
#include <thread>

#include "gui/app/profile_settings_file.h"
#include "gui/app/stdout_trace_sink.h"
#include "gui/main_dlg.h"
#include "gui/qt/main_window.h"
#include "gui/qt/ui_services.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  kavlen::StdoutTraceSink trace;
  kavlen::ProfileSettingsFile settings;
  kavlen::QtUiServices ui;

  kavlen::MainDlgServices services{kavlen::SystemDriver(), trace, settings,
                                   kavlen::GetModuleDirectory()};
  services.lockWait = kavlen::DeviceLockWaitSetting();
  services.debugOutput = [](const std::string& text) { kavlen::DebugOutput(text); };
  services.sleep = [](int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };

  kavlen::QtMainWindow window(std::move(services), ui);
  window.exec();
  return 0;
}
