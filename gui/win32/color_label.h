#pragma once
// CColorLabel: a static text whose text colour changes at run time, drawn on
// the button-face colour read when the label is made. A new colour or a new
// text is painted before the call returns, so a status shown during a long
// action is seen although the action pumps no messages. A text too long for
// one line is drawn in a smaller size of the dialog's face, not cut off.

#include <windows.h>

namespace kavlen::win32 {

class CColorLabel {
 public:
  CColorLabel();
  ~CColorLabel();
  CColorLabel(const CColorLabel&) = delete;
  CColorLabel& operator=(const CColorLabel&) = delete;

  bool Attach(HWND control);
  // The label attached to `control`, or null.
  static CColorLabel* FromWindow(HWND control);
  HWND GetSafeHwnd() const { return m_hWnd; }
  void SetTextColor(COLORREF colour);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam, UINT_PTR id, DWORD_PTR self);

  void FitText(const char* text);

  HWND m_hWnd = nullptr;
  HFONT m_hFitted = nullptr;  // the smaller face of the current text, if any
  HBRUSH m_hBrush;
  COLORREF m_crBack;
  COLORREF m_crText = 0;
};

}  // namespace kavlen::win32
