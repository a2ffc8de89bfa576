#pragma once
// The main window's services as both desktop programs run them: the system
// driver (the real one, or the simulators of KAVLEN_DEVICE_DIR), the lock
// wait setting, the debugger output and real waits. The program adds its
// dialogs.

#include "gui/main_dlg.h"

namespace kavlen {

MainDlgServices ProgramServices(TraceSink& trace, SettingsFile& settings);

}  // namespace kavlen
