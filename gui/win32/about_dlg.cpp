#include "gui/win32/about_dlg.h"

#include "gui/maker_info.h"
#include "gui/resource_ids.h"
#include "gui/win32/reflect.h"
#include "kavlen_version.h"

namespace kavlen::win32 {

namespace {

void SetLinkColours(CLinkLabel& link) {
  link.SetLinkColor(RGB(64, 128, 255));
  link.SetHoverColor(RGB(255, 0, 0));
  link.SetVisitedColor(RGB(0, 13, 0));
}

}  // namespace

void CAboutDlg::Show(HWND owner) {
  CAboutDlg dialog;
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), owner, DialogProc,
                  reinterpret_cast<LPARAM>(&dialog));
}

void CAboutDlg::OnInitDialog(HWND dialog) {
  SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, "version " KAVLEN_VERSION);
  m_webLink.Attach(GetDlgItem(dialog, IDC_WEB_LINK));
  m_mailLink.Attach(GetDlgItem(dialog, IDC_MAIL_LINK));
  // The shell reads a bare host name as a web site.
  m_webLink.SetTarget(KAVLEN_MAKER_WEB_HOST);
  m_webLink.EnableTip(true);
  m_webLink.SetTipText("Click Here to go " KAVLEN_MAKER_NAME);
  m_webLink.SetTipBkColor(RGB(0, 0, 0));
  m_webLink.SetTipTextColor(RGB(0, 255, 0));
  SetLinkColours(m_webLink);
  m_mailLink.SetTarget("mailto:" KAVLEN_MAKER_EMAIL);
  m_mailLink.EnableTip(true);
  m_mailLink.SetTipText("Click here to Email ");
  SetLinkColours(m_mailLink);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
  INT_PTR reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return reflected;
  switch (message) {
    case WM_INITDIALOG:
      reinterpret_cast<CAboutDlg*>(lParam)->OnInitDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace kavlen::win32
