#include "gui/win32/percent_bar.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "gui/bar_math.h"
#include "gui/win32/offscreen_dc.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1005;

COLORREF Resolve(COLORREF colour, int systemColour) {
  return colour == CLR_DEFAULT ? GetSysColor(systemColour) : colour;
}

// A solid fill without creating a brush.
std::wstring Widened(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  return wide;
}

std::string Narrowed(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(length > 0 ? length - 1 : 0, '\0');
  if (length > 1)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// Copies at most size - 1 characters and always terminates the buffer, so
// a caller that reads the result as a C string never runs past it.
template <typename Char>
LRESULT CopyTerminated(const std::basic_string<Char>& text, WPARAM size, Char* buffer) {
  if (!buffer || size == 0) return 0;
  const std::size_t count = std::min<std::size_t>(size - 1, text.size());
  std::copy_n(text.data(), count, buffer);
  buffer[count] = Char{};
  return static_cast<LRESULT>(count);
}

void Fill(HDC dc, const RECT& area, COLORREF colour) {
  SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
}

}  // namespace

CPercentBar::~CPercentBar() {
  if (m_hWnd) RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

bool CPercentBar::Attach(HWND control) {
  if (!control || !SetWindowSubclass(control, SubclassProc, kSubclassId,
                                     reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  return true;
}

LRESULT CALLBACK CPercentBar::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* bar = reinterpret_cast<CPercentBar*>(self);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    bar->m_hWnd = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return bar->OnMessage(message, wParam, lParam);
}

LRESULT CPercentBar::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_SIZE: {
      const LRESULT result = DefSubclassProc(m_hWnd, message, wParam, lParam);
      m_nBarWidth = -1;
      return result;
    }
    case WM_SETTEXT:
      return OnSetText(wParam, lParam);
    case WM_GETTEXT:
      return OnGetText(wParam, lParam);
    default: {
      std::intptr_t result = 0;  // not LRESULT: that is long on 32-bit Windows
      BarChange change = BarChange::Nothing;
      if (!AnswerBarMessage(m_state, message, wParam, lParam, result, change))
        return m_hWnd ? DefSubclassProc(m_hWnd, message, wParam, lParam) : 0;
      // Before Attach there is no window to paint.
      if (m_hWnd && change == BarChange::Position) ShowPos();
      if (m_hWnd && change == BarChange::Look) InvalidateRect(m_hWnd, nullptr, TRUE);
      return static_cast<LRESULT>(result);
    }
  }
}

// Repaints at once when the bar's length in pixels changed.
void CPercentBar::ShowPos() {
  const int bar =
      TruncToInt(BarFraction(m_state.pos, m_state.min, m_state.max) * ClientExtent());
  if (bar == m_nBarWidth) return;
  m_nBarWidth = bar;
  RedrawNow(m_hWnd);
}

COLORREF CPercentBar::SetBarColor(COLORREF colour) {
  return static_cast<COLORREF>(OnMessage(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour)));
}
COLORREF CPercentBar::SetBkColor(COLORREF colour) {
  return static_cast<COLORREF>(OnMessage(PBM_SETBKCOLOR, 0, static_cast<LPARAM>(colour)));
}
COLORREF CPercentBar::SetCaptionColor(COLORREF colour) {
  return static_cast<COLORREF>(OnMessage(PBM_SETCAPTIONCOLOR, 0, static_cast<LPARAM>(colour)));
}

void CPercentBar::ShowCaption(bool show) { OnMessage(PBM_SHOWCAPTION, show ? 1 : 0, 0); }

LRESULT CPercentBar::OnSetText(WPARAM wParam, LPARAM lParam) {
  const LRESULT result = DefSubclassProc(m_hWnd, WM_SETTEXT, wParam, lParam);
  std::wstring text;
  if (lParam && IsWindowUnicode(m_hWnd)) text = reinterpret_cast<const wchar_t*>(lParam);
  else if (lParam) text = Widened(reinterpret_cast<const char*>(lParam));
  if (m_strCaption != text) {
    m_strCaption = text;
    InvalidateRect(m_hWnd, nullptr, TRUE);
  }
  return result;
}

// The stored caption, not the window text.
LRESULT CPercentBar::OnGetText(WPARAM size, LPARAM buffer) const {
  if (IsWindowUnicode(m_hWnd))
    return CopyTerminated(m_strCaption, size, reinterpret_cast<wchar_t*>(buffer));
  return CopyTerminated(Narrowed(m_strCaption), size, reinterpret_cast<char*>(buffer));
}

bool CPercentBar::IsVertical() const {
  return (GetWindowLongA(m_hWnd, GWL_STYLE) & PBS_VERTICAL) != 0;
}

int CPercentBar::ClientExtent() const {
  RECT client;
  GetClientRect(m_hWnd, &client);
  return IsVertical() ? client.bottom - client.top : client.right - client.left;
}

void CPercentBar::OnPaint() {
  PAINTSTRUCT paint;
  HDC screen = BeginPaint(m_hWnd, &paint);
  RECT client;
  GetClientRect(m_hWnd, &client);
  RECT area;
  if (m_state.min < m_state.max && IntersectRect(&area, &paint.rcPaint, &client)) {
    const COLORREF barColour = Resolve(m_state.barColour, COLOR_HIGHLIGHT);
    const COLORREF background = Resolve(m_state.bkColour, COLOR_WINDOW);
    const double fraction = BarFraction(m_state.pos, m_state.min, m_state.max);
    COffscreenDC offscreen(screen, area);
    HDC dc = offscreen.Get();
    const HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(GetParent(m_hWnd), WM_GETFONT, 0, 0)));
    RECT bar = client;
    RECT rest = client;
    if (IsVertical()) {
      bar.top = rest.bottom = client.bottom - ClampedBar(fraction, client.bottom - client.top);
    } else {
      bar.right = rest.left = client.left + ClampedBar(fraction, client.right - client.left);
    }
    Fill(dc, bar, barColour);
    Fill(dc, rest, background);
    if (m_state.showCaption && !IsVertical())
      DrawCaption(dc, client, bar, rest, barColour, background, fraction);
    SelectObject(dc, oldFont);
  }
  EndPaint(m_hWnd, &paint);
}

void CPercentBar::DrawCaption(HDC dc, const RECT& client, const RECT& bar, const RECT& rest,
                              COLORREF barColour, COLORREF background, double fraction) const {
  wchar_t percent[16];
  std::swprintf(percent, 16, L"%d%%", TruncToInt(fraction * 100.0));
  const wchar_t* caption = m_strCaption.empty() ? percent : m_strCaption.c_str();
  const bool custom = m_state.captionColour != CLR_DEFAULT;
  constexpr UINT kFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  RECT box = client;
  SetBkMode(dc, TRANSPARENT);

  const int saved = SaveDC(dc);
  IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
  SetTextColor(dc, custom ? m_state.captionColour : background);
  DrawTextW(dc, caption, -1, &box, kFlags);
  RestoreDC(dc, saved);

  IntersectClipRect(dc, rest.left, rest.top, rest.right, rest.bottom);
  SetTextColor(dc, custom ? m_state.captionColour : barColour);
  DrawTextW(dc, caption, -1, &box, kFlags);
  SelectClipRgn(dc, nullptr);
}

}  // namespace kavlen::win32
