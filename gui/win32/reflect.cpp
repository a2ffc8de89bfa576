#include "gui/win32/reflect.h"

namespace kavlen::win32 {

bool ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message != WM_CTLCOLORSTATIC && message != WM_COMMAND) return false;
  HWND control = reinterpret_cast<HWND>(lParam);
  if (!control) return false;  // menus and accelerators
  const LRESULT answer = SendMessageA(control, kReflectBase + message, wParam, lParam);
  if (answer == 0) return false;
  result = static_cast<INT_PTR>(answer);
  return true;
}

void RedrawNow(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

}  // namespace kavlen::win32
