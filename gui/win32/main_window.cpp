#include "gui/win32/main_window.h"

#include "gui/resource_ids.h"
#include "gui/win32/dialog_init_data.h"
#include "gui/win32/about_dlg.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {

constexpr int kIconId = 128;

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconId),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void ShowText(CColorLabel& label, COLORREF colour, const char* text) {
  label.SetTextColor(colour);
  if (text) SetWindowTextA(label.GetSafeHwnd(), text);
}

}  // namespace

CMainWindow::CMainWindow()
    : m_hIcon(LoadProgramIcon(GetSystemMetrics(SM_CXICON))),
      m_hSmallIcon(LoadProgramIcon(GetSystemMetrics(SM_CXSMICON))) {}

CMainWindow::~CMainWindow() {
  DestroyIcon(m_hIcon);
  DestroyIcon(m_hSmallIcon);
}

INT_PTR CMainWindow::Run() {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                         DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CMainWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<CMainWindow*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    window->m_hWnd = dialog;
    window->OnInitDialog();
    return TRUE;
  }
  auto* window = reinterpret_cast<CMainWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
  return window ? window->OnMessage(message, wParam, lParam) : FALSE;
}

void CMainWindow::OnInitDialog() {
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
  const auto item = [this](int id) { return GetDlgItem(m_hWnd, id); };
  m_progress.Attach(item(IDC_PROGRESS));
  m_status.Attach(item(IDC_STATUS));
  m_deviceOs.Attach(item(IDC_DEVICE_OS));
  m_deviceInfo.Attach(item(IDC_DEVICE_INFO));
  m_length.Attach(item(IDC_LENGTH));
  m_checksum.Attach(item(IDC_CHECKSUM));
  m_address.Attach(item(IDC_ADDRESS));
  m_orginal.Attach(item(IDC_ORGINAL));
  m_target.Attach(item(IDC_TARGET));

  ShowText(m_status, RGB(0, 0, 255), "System Ready...");
  ShowText(m_deviceOs, RGB(0, 127, 0), nullptr);
  ShowText(m_length, RGB(0, 255, 0), "0");
  ShowText(m_checksum, RGB(127, 0, 0), "0x00000000");
  ShowText(m_address, RGB(0, 0, 127), "0x000000");
  ShowText(m_orginal, RGB(0, 127, 0), "0x00");
  ShowText(m_target, RGB(255, 100, 100), "0x00");
  for (int id = IDC_ROM_64K; id <= IDC_ROM_4096K; ++id) CheckDlgButton(m_hWnd, id, BST_UNCHECKED);
  ApplyDialogInitData(m_hWnd, IDD_MAIN);
  SendDlgItemMessageA(m_hWnd, IDC_DUMP_ADDRESS, CB_SETCURSEL, 0, 0);
  m_progress.ShowCaption(false);
  m_progress.SetBarColor(RGB(0, 0, 255));
  m_progress.SetBkColor(RGB(255, 255, 255));
}

INT_PTR CMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return reflected;
  switch (message) {
    case WM_PAINT:
      if (!IsIconic(m_hWnd)) return FALSE;
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(m_hWnd, LOWORD(wParam));
          return TRUE;
        case IDC_ABOUT:
          CAboutDlg::Show(m_hWnd);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

// Minimised: the icon centred in the client area.
void CMainWindow::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

}  // namespace kavlen::win32
