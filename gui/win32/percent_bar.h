#pragma once
// CPercentBar: the progress bar of kavlen.exe. It subclasses a standard
// progress control and paints it itself: a solid bar in its colour, the rest
// in the background colour, and a centred caption (the percentage or a text
// of the caller's) drawn in the inverse colours where the bar passes under it.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "gui/bar_math.h"

namespace kavlen::win32 {

// Private messages beside the standard progress ones.
inline constexpr UINT PBM_SETCAPTIONCOLOR = WM_USER + 100;
inline constexpr UINT PBM_SHOWCAPTION = WM_USER + 101;

class CPercentBar {
 public:
  CPercentBar() = default;
  ~CPercentBar();
  CPercentBar(const CPercentBar&) = delete;
  CPercentBar& operator=(const CPercentBar&) = delete;

  // Takes over the painting of `control`; false when it cannot.
  bool Attach(HWND control);
  HWND GetSafeHwnd() const { return m_hWnd; }

  COLORREF SetBarColor(COLORREF colour);
  COLORREF SetBkColor(COLORREF colour);
  COLORREF SetCaptionColor(COLORREF colour);
  void ShowCaption(bool show);

  // Every message of the control passes here; the standard progress
  // messages keep their codes and results.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam, UINT_PTR id, DWORD_PTR self);
  void ShowPos();
  LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetText(WPARAM size, LPARAM buffer) const;
  void OnPaint();
  void DrawCaption(HDC dc, const RECT& client, const RECT& bar, const RECT& rest,
                   COLORREF barColour, COLORREF background, double fraction) const;
  int ClientExtent() const;
  bool IsVertical() const;

  HWND m_hWnd = nullptr;
  // Position, step, range, colours and the caption switch.
  BarState m_state;
  std::wstring m_strCaption;  // the control's window may be a Unicode one
  int m_nBarWidth = -1;
};

}  // namespace kavlen::win32
