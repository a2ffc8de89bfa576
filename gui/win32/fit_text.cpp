#include "gui/win32/fit_text.h"

#include <string>

namespace kavlen::win32 {

namespace {

// 6 points at 96 dots per inch: below this a caption is not made smaller.
constexpr LONG kSmallestHeight = 8;

int LineHeight(HDC dc, HFONT font) {
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  return metrics.tmHeight;
}

int TextWidth(HDC dc, HFONT font, const std::string& text) {
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  return size.cx;
}

}  // namespace

HFONT FitFont(HWND control, const char* text) {
  HWND dialog = GetParent(control);
  auto* font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  if (!font || !text || !*text) return nullptr;
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HFONT fitted = nullptr;
  // A static breaks a line that fills its width exactly: leave a pixel free.
  const int room = client.right - 1;
  if (client.bottom < 2 * LineHeight(dc, font) && TextWidth(dc, font, text) >= room) {
    LOGFONTA face{};
    GetObjectA(font, sizeof face, &face);
    if (face.lfHeight == 0) face.lfHeight = -LineHeight(dc, font);
    const LONG sign = face.lfHeight < 0 ? -1 : 1;
    for (LONG height = face.lfHeight * sign - 1; height >= kSmallestHeight; --height) {
      if (fitted) DeleteObject(fitted);
      face.lfHeight = height * sign;
      face.lfWidth = 0;
      fitted = CreateFontIndirectA(&face);
      if (TextWidth(dc, fitted, text) < room) break;
    }
  }
  ReleaseDC(control, dc);
  return fitted;
}

void FitStaticCaptions(HWND dialog, std::vector<HFONT>& owned) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    const LONG type = GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK;
    if (lstrcmpiA(className, "Static") != 0 || type > SS_RIGHT) continue;
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(child)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(child, text.data(), static_cast<int>(text.size()))));
    if (HFONT font = FitFont(child, text.c_str())) {
      SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      owned.push_back(font);
    }
  }
}

}  // namespace kavlen::win32
