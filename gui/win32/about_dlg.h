#pragma once
// CAboutDlg: the About box (template 129) with the maker's web and e-mail
// links, opened modally by the main window's "&ABOUT this" button.

#include <windows.h>

#include "gui/win32/link_label.h"

namespace kavlen::win32 {

class CAboutDlg {
 public:
  // Runs the box modally, owned by `owner`; both links start not visited.
  static void Show(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND dialog);

  CLinkLabel m_webLink;
  CLinkLabel m_mailLink;
};

}  // namespace kavlen::win32
