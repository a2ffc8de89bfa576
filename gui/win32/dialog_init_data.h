#pragma once
// The entries a dialog's resource gives its combo boxes (resource type 240,
// written beside the template by make-dialogs-rc): each is a control id, a
// message code (0x0403: add a string to a combo box), a byte count and the
// entry's text.

#include <windows.h>

namespace kavlen::win32 {

// Sends each entry of dialog `templateId` to its control in `dialog`.
void ApplyDialogInitData(HWND dialog, int templateId);

}  // namespace kavlen::win32
