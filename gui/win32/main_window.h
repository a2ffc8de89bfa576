#pragma once
// The main window of kavlen.exe (template 102): its controls attached (the
// progress bar, the colour labels), the icon, and every message the window
// logic (CMainDlg) acts on handed to it: the start, the end of each paint,
// clicks, the dump-address choice, timer ticks and the destruction.

#include <windows.h>

#include <memory>
#include <vector>

#include "gui/win32/color_label.h"
#include "gui/win32/dialog_logic.h"
#include "gui/win32/percent_bar.h"

namespace kavlen::win32 {

class CMainWindow {
 public:
  CMainWindow();
  ~CMainWindow();
  CMainWindow(const CMainWindow&) = delete;
  CMainWindow& operator=(const CMainWindow&) = delete;

  // Runs the window modally; returns when it has closed.
  INT_PTR Run();

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(WPARAM wParam);
  void OnPaintIconic();

  HWND m_hWnd = nullptr;
  HICON m_hIcon;
  HICON m_hSmallIcon;
  bool m_bPaintPosted = false;
  std::vector<HFONT> m_fittedFonts;  // of the captions made to fit
  CPercentBar m_progress;
  CColorLabel m_status;
  CColorLabel m_deviceOs;
  CColorLabel m_deviceInfo;
  CColorLabel m_length;
  CColorLabel m_checksum;
  CColorLabel m_address;
  CColorLabel m_orginal;
  CColorLabel m_target;
  std::unique_ptr<DialogLogic> m_logic;
};

}  // namespace kavlen::win32
