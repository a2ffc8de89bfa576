#include "gui/win32/main_window.h"

#include "gui/resource_ids.h"
#include "gui/win32/about_dlg.h"
#include "gui/win32/dialog_init_data.h"
#include "gui/win32/fit_text.h"
#include "gui/win32/main_window_logic.h"
#include "gui/win32/reflect.h"
#include "gui/win32/reset_window.h"
#include "platform/system.h"

namespace kavlen::win32 {

namespace {

constexpr int kIconId = 128;
// Posted from WM_PAINT: the logic's OnPaint runs once the paint has finished.
constexpr UINT kPainted = WM_APP + 1;

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconId),
                                       IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

CMainWindow::CMainWindow()
    : m_hIcon(LoadProgramIcon(GetSystemMetrics(SM_CXICON))),
      m_hSmallIcon(LoadProgramIcon(GetSystemMetrics(SM_CXSMICON))) {
  MainWindowDialogs dialogs;
  dialogs.showResetDialog = [this] {
    ShowResetDialog(m_hWnd, [](const std::string& text) { kavlen::DebugOutput(text); });
  };
  dialogs.showAboutDialog = [this] { CAboutDlg::Show(m_hWnd); };
  m_logic = MakeMainWindowLogic(std::move(dialogs));
}

CMainWindow::~CMainWindow() {
  m_logic.reset();
  for (HFONT font : m_fittedFonts) DeleteObject(font);
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
  FitStaticCaptions(m_hWnd, m_fittedFonts);
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
  ApplyDialogInitData(m_hWnd, IDD_MAIN);
  m_logic->OnInitDialog(m_hWnd);
}

INT_PTR CMainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR reflected = 0;
  if (ReflectToControl(message, wParam, lParam, reflected)) return reflected;
  switch (message) {
    case WM_PAINT:
      if (!m_bPaintPosted) m_bPaintPosted = PostMessageA(m_hWnd, kPainted, 0, 0) != FALSE;
      if (!IsIconic(m_hWnd)) return FALSE;
      OnPaintIconic();
      return TRUE;
    case kPainted:
      m_bPaintPosted = false;
      m_logic->OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
      OnCommand(wParam);
      return TRUE;
    case WM_TIMER:
      m_logic->OnTimer(static_cast<int>(wParam));
      return TRUE;
    case WM_DESTROY:
      m_logic->OnDestroy();
      return FALSE;
  }
  return FALSE;
}

// Clicks of buttons, radio buttons and the check box (Enter and Escape come
// as clicks of IDOK and IDCANCEL), and a choice in the dump-address list;
// typing in the path field or the list's edit field is no command.
void CMainWindow::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  const UINT code = HIWORD(wParam);
  if (id == IDC_DUMP_ADDRESS ? code == CBN_SELCHANGE : code == BN_CLICKED && id != IDC_IMAGE_PATH)
    m_logic->OnCommand(id);
}

// Minimised: the icon centred in the client area.
void CMainWindow::OnPaintIconic() {
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
