#pragma once
// CLinkLabel: a static text made a link. Underlined, coloured by whether the
// pointer is over it and whether it has been followed, a hand pointer and a
// tooltip; a click hands the target to the shell to open.

#include <windows.h>

#include <string>

namespace kavlen::win32 {

class CLinkLabel {
 public:
  CLinkLabel() = default;
  ~CLinkLabel();
  CLinkLabel(const CLinkLabel&) = delete;
  CLinkLabel& operator=(const CLinkLabel&) = delete;

  bool Attach(HWND control);
  HWND GetSafeHwnd() const { return m_hWnd; }

  void SetTarget(const std::string& target) { m_strTarget = target; }
  void EnableTip(bool enable) { m_bTipEnabled = enable; }
  void SetTipText(const std::string& text);
  void SetTipBkColor(COLORREF colour);
  void SetTipTextColor(COLORREF colour);
  void SetLinkColor(COLORREF colour) { m_crLink = colour; }
  void SetHoverColor(COLORREF colour) { m_crHover = colour; }
  void SetVisitedColor(COLORREF colour) { m_crVisited = colour; }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam, UINT_PTR id, DWORD_PTR self);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void RelayToTip(UINT message, WPARAM wParam, LPARAM lParam);
  void OnMouseMove(LPARAM lParam);
  void Leave();
  COLORREF TextColour() const;
  void CreateLinkFont();
  void CreateTip();

  HWND m_hWnd = nullptr;
  HCURSOR m_hCursor = nullptr;
  bool m_bTipEnabled = false;
  bool m_bOver = false;
  bool m_bVisited = false;
  HFONT m_hFont = nullptr;
  HWND m_hTip = nullptr;
  std::string m_strTarget;
  std::string m_strTip;
  COLORREF m_crHover = RGB(255, 0, 0);
  COLORREF m_crLink = RGB(0, 0, 255);
  COLORREF m_crVisited = RGB(5, 34, 143);
};

}  // namespace kavlen::win32
