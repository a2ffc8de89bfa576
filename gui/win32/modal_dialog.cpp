#include <windows.h>

#include <vector>

#include "gui/win32/dialog_logic.h"
#include "gui/win32/fit_text.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {

struct Running {
  DialogLogic* logic;
  std::vector<HFONT> fonts;  // of the captions made to fit
};

INT_PTR CALLBACK LogicDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    auto* running = reinterpret_cast<Running*>(lParam);
    FitStaticCaptions(dialog, running->fonts);
    running->logic->OnInitDialog(dialog);
    return TRUE;
  }
  auto* running = reinterpret_cast<Running*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (!running) return FALSE;
  DialogLogic* logic = running->logic;
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
  Running running{&logic, {}};
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                      static_cast<HWND>(owner), LogicDialogProc, reinterpret_cast<LPARAM>(&running));
  for (HFONT font : running.fonts) DeleteObject(font);
  return result;
}

}  // namespace kavlen::win32
