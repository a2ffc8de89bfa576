#include "gui/win32/link_label.h"

#include <commctrl.h>

#include "gui/win32/dialog_calls.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1047;
constexpr UINT_PTR kToolId = 1001;

TOOLINFOA Tool(HWND link) {
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = link;
  tool.uId = kToolId;
  return tool;
}

bool IsMouseMessage(UINT message) {
  return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

}  // namespace

CLinkLabel::~CLinkLabel() {
  if (m_hWnd) RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
  if (m_hTip) DestroyWindow(m_hTip);
  if (m_hFont) DeleteObject(m_hFont);
}

bool CLinkLabel::Attach(HWND control) {
  if (!control || !SetWindowSubclass(control, SubclassProc, kSubclassId,
                                     reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) | SS_NOTIFY);
  CreateLinkFont();
  // Windows' own pointing hand; the arrow where there is none, so the
  // pointer is never left undefined.
  m_hCursor = LoadCursor(nullptr, IDC_HAND);
  if (!m_hCursor) m_hCursor = LoadCursor(nullptr, IDC_ARROW);
  CreateTip();
  return true;
}

void CLinkLabel::CreateLinkFont() {
  HFONT current = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  LOGFONTA description{};
  GetObjectA(current ? static_cast<HGDIOBJ>(current) : GetStockObject(DEFAULT_GUI_FONT),
             sizeof description, &description);
  description.lfUnderline = TRUE;
  m_hFont = CreateFontIndirectA(&description);
  SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), TRUE);
}

// The tool does not watch the mouse itself: the link relays its messages.
void CLinkLabel::CreateTip() {
  m_hTip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  if (!m_hTip) return;
  TOOLINFOA tool = Tool(m_hWnd);
  GetClientRect(m_hWnd, &tool.rect);
  tool.lpszText = const_cast<char*>("");
  SendMessageA(m_hTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLinkLabel::SetTipText(const std::string& text) {
  if (!m_bTipEnabled || !m_hTip) return;
  m_strTip = text;
  TOOLINFOA tool = Tool(m_hWnd);
  tool.lpszText = m_strTip.data();
  SendMessageA(m_hTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLinkLabel::SetTipBkColor(COLORREF colour) {
  if (m_hTip) SendMessageA(m_hTip, TTM_SETTIPBKCOLOR, colour, 0);
}

void CLinkLabel::SetTipTextColor(COLORREF colour) {
  if (m_hTip) SendMessageA(m_hTip, TTM_SETTIPTEXTCOLOR, colour, 0);
}

LRESULT CALLBACK CLinkLabel::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* link = reinterpret_cast<CLinkLabel*>(self);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    link->m_hWnd = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return link->OnMessage(message, wParam, lParam);
}

void CLinkLabel::RelayToTip(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!m_hTip || !IsMouseMessage(message)) return;
  MSG relayed{m_hWnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
  const DWORD where = GetMessagePos();
  relayed.pt = {static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  SendMessageA(m_hTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

LRESULT CLinkLabel::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  RelayToTip(message, wParam, lParam);
  switch (message) {
    case WM_MOUSEMOVE: {
      const LRESULT result = DefSubclassProc(m_hWnd, message, wParam, lParam);
      OnMouseMove(lParam);
      return result;
    }
    case WM_CAPTURECHANGED:
      // Someone else took the mouse: the pointer can no longer be followed,
      // so the link stops showing it as over.
      if (m_bOver && reinterpret_cast<HWND>(lParam) != m_hWnd) {
        m_bOver = false;
        RedrawNow(m_hWnd);
      }
      break;
    case WM_SETCURSOR:
      SetCursor(m_hCursor);
      return TRUE;
    case kReflectedCtlColorStatic: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(dc, TextColour());
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case kReflectedCommand:
      if (HIWORD(wParam) != STN_CLICKED) return 0;
      // A failure is not reported: without a message of the shell's, the
      // link turns visited at once.
      ShellOpen(m_strTarget);
      m_bVisited = true;
      InvalidateRect(m_hWnd, nullptr, TRUE);
      return 1;
  }
  return DefSubclassProc(m_hWnd, message, wParam, lParam);
}

void CLinkLabel::OnMouseMove(LPARAM lParam) {
  if (!m_bOver) {
    m_bOver = true;
    RedrawNow(m_hWnd);
    SetCapture(m_hWnd);
    return;
  }
  RECT client;
  GetClientRect(m_hWnd, &client);
  const POINT where{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (!PtInRect(&client, where)) Leave();
}

void CLinkLabel::Leave() {
  m_bOver = false;
  ReleaseCapture();
  RedrawNow(m_hWnd);
}

COLORREF CLinkLabel::TextColour() const {
  if (m_bVisited) return m_crVisited;
  return m_bOver ? m_crHover : m_crLink;
}

}  // namespace kavlen::win32
