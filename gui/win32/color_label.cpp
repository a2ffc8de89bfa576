#include "gui/win32/color_label.h"

#include <commctrl.h>

#include <string>

#include "gui/win32/fit_text.h"
#include "gui/win32/reflect.h"

namespace kavlen::win32 {

namespace {
constexpr UINT_PTR kSubclassId = 1014;
constexpr const char* kProperty = "kavlen.CColorLabel";  // finds the label from its window
}

CColorLabel::CColorLabel()
    : m_hBrush(CreateSolidBrush(GetSysColor(COLOR_BTNFACE))), m_crBack(GetSysColor(COLOR_BTNFACE)) {}

CColorLabel::~CColorLabel() {
  if (m_hWnd) {
    RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    RemovePropA(m_hWnd, kProperty);
  }
  DeleteObject(m_hBrush);
  if (m_hFitted) DeleteObject(m_hFitted);
}

bool CColorLabel::Attach(HWND control) {
  if (!control || !SetWindowSubclass(control, SubclassProc, kSubclassId,
                                     reinterpret_cast<DWORD_PTR>(this)))
    return false;
  m_hWnd = control;
  SetPropA(control, kProperty, this);
  return true;
}

CColorLabel* CColorLabel::FromWindow(HWND control) {
  return control ? static_cast<CColorLabel*>(GetPropA(control, kProperty)) : nullptr;
}

void CColorLabel::FitText(const char* text) {
  HFONT fitted = FitFont(m_hWnd, text);
  if (!fitted && !m_hFitted) return;
  WPARAM font = reinterpret_cast<WPARAM>(fitted);
  if (!fitted) font = SendMessageA(GetParent(m_hWnd), WM_GETFONT, 0, 0);
  SendMessageA(m_hWnd, WM_SETFONT, font, FALSE);
  if (m_hFitted) DeleteObject(m_hFitted);
  m_hFitted = fitted;
}

void CColorLabel::SetTextColor(COLORREF colour) {
  m_crText = colour;
  if (m_hWnd) RedrawNow(m_hWnd);
}

LRESULT CALLBACK CColorLabel::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* label = reinterpret_cast<CColorLabel*>(self);
  switch (message) {
    case kReflectedCtlColorStatic: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, label->m_crBack);
      ::SetTextColor(dc, label->m_crText);
      return reinterpret_cast<LRESULT>(label->m_hBrush);
    }
    case WM_SETTEXT: {
      // the window may be a Unicode one
      if (IsWindowUnicode(window) && lParam) {
        const auto* wide = reinterpret_cast<const wchar_t*>(lParam);
        std::string text(static_cast<std::size_t>(
                             WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr)),
                         '\0');
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), static_cast<int>(text.size()), nullptr,
                            nullptr);
        label->FitText(text.c_str());
      } else {
        label->FitText(reinterpret_cast<const char*>(lParam));
      }
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      RedrawNow(window);
      return result;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      RemovePropA(window, kProperty);
      label->m_hWnd = nullptr;
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace kavlen::win32
