#include <windows.h>

#include "gui/win32/dialog_logic.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {

INT_PTR CALLBACK LogicDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    reinterpret_cast<DialogLogic*>(lParam)->OnInitDialog(dialog);
    return TRUE;
  }
  auto* logic = reinterpret_cast<DialogLogic*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!logic) return FALSE;
  INT_PTR reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return reflected;
  switch (message) {
    case WM_TIMER:
      logic->OnTimer(static_cast<int>(wParam));
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && logic->OnCommand(LOWORD(wParam))) return TRUE;
      break;
  }
  return FALSE;
}

}  // namespace

std::intptr_t RunModalDialog(DialogHandle owner, int templateId, DialogLogic& logic) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                         static_cast<HWND>(owner), LogicDialogProc,
                         reinterpret_cast<LPARAM>(&logic));
}

}  // namespace kavlen::win32
