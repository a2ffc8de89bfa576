// kavlen: the desktop program. One modal main window; the program ends when
// it closes. The window gets the program's services (gui/app/) and the real
// message boxes here.

#include <QApplication>

#include "gui/app/profile_settings_file.h"
#include "gui/app/program_services.h"
#include "gui/app/stdout_trace_sink.h"
#include "gui/qt/main_window.h"
#include "gui/qt/ui_services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  kavlen::StdoutTraceSink trace;
  kavlen::ProfileSettingsFile settings;
  kavlen::QtUiServices ui;

  kavlen::QtMainWindow window(kavlen::ProgramServices(trace, settings), ui);
  window.exec();
  return 0;
}
