#pragma once
// "Reset Now !!!" (template 131) on Win32: CResetDlg over a Win32 host, so
// the same logic as on Linux closes it by itself 1200 ms after it opens.

#include <functional>
#include <string>

#include "gui/win32/dialog_calls.h"

namespace kavlen::win32 {

// Runs the confirmation modally over `owner`; `debugOutput` receives the
// developer line written on OK. Returns IDOK or IDCANCEL.
int ShowResetDialog(DialogHandle owner, std::function<void(const std::string&)> debugOutput);

}  // namespace kavlen::win32
