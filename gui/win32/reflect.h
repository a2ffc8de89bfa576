#pragma once
// A dialog hands a control's colour query and its notifications back to the
// control itself, under the codes 0x2000 + message, so that each control
// class answers for itself (as CColorLabel and CLinkLabel do).

#include <windows.h>

namespace kavlen::win32 {

inline constexpr UINT kReflectBase = 0x2000;
inline constexpr UINT kReflectedCtlColorStatic = kReflectBase + WM_CTLCOLORSTATIC;
inline constexpr UINT kReflectedCommand = kReflectBase + WM_COMMAND;

// For WM_CTLCOLORSTATIC and WM_COMMAND from a control: asks the control and
// returns true with its answer in `result` when it gave one (non-zero).
bool ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

// Redraws a window before returning: invalidate with erase, paint now.
void RedrawNow(HWND window);

}  // namespace kavlen::win32
