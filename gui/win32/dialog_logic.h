#pragma once
// A modal Win32 dialog whose behaviour lives in toolkit-free code: the
// dialog procedure (modal_dialog.cpp, the only file here that sees
// <windows.h>) hands each message on under the logic's own names.

#include <cstdint>

#include "gui/win32/dialog_calls.h"

namespace kavlen::win32 {

class DialogLogic {
 public:
  virtual ~DialogLogic() = default;
  // WM_INITDIALOG: the template's controls exist.
  virtual void OnInitDialog(DialogHandle dialog) = 0;
  // WM_TIMER of a timer the logic started.
  virtual void OnTimer(int id) = 0;
  // WM_COMMAND of a button (IDOK, IDCANCEL...); false when not handled.
  virtual bool OnCommand(int id) = 0;
  // After a paint of the dialog has finished.
  virtual void OnPaint() {}
  // WM_DESTROY: the controls still exist.
  virtual void OnDestroy() {}
};

// Runs template `templateId` of the program's resources modally over
// `owner`; returns the result the logic closed it with.
std::intptr_t RunModalDialog(DialogHandle owner, int templateId, DialogLogic& logic);

}  // namespace kavlen::win32
