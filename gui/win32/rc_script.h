#pragma once
// Writes kavlen's dialog templates as a Windows resource script, so that
// kavlen.exe is built from the same table as the Qt dialogs.

#include <string>

#include "gui/dialog_template.h"

namespace kavlen {

// One DIALOGEX statement; a combo box's entries follow it as the dialog's
// initialisation data (resource type 240, read back by the Win32 host).
std::string DialogScript(const DialogTemplate& dialog);

}  // namespace kavlen
