#pragma once
// The main window's logic (CMainDlg) over a Win32 host, with the program's
// services: the system driver (or the simulators of KAVLEN_DEVICE_DIR), the
// private-profile settings in kavlen.ini, the debugger output and the wait.
// No <windows.h> and no CMainDlg here, so that main_window.cpp can see both
// this and <windows.h>.

#include <functional>
#include <memory>

#include "gui/win32/dialog_logic.h"

namespace kavlen::win32 {

struct MainWindowDialogs {
  std::function<void()> showResetDialog;  // modal over the main window
  std::function<void()> showAboutDialog;
};

std::unique_ptr<DialogLogic> MakeMainWindowLogic(MainWindowDialogs dialogs);

}  // namespace kavlen::win32
