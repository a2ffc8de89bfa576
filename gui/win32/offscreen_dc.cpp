#include "gui/win32/offscreen_dc.h"

namespace kavlen::win32 {

COffscreenDC::COffscreenDC(HDC screen, const RECT& area)
    : m_hScreen(screen),
      m_rcArea(area),
      m_hDC(CreateCompatibleDC(screen)),
      m_hBitmap(CreateCompatibleBitmap(screen, area.right - area.left, area.bottom - area.top)),
      m_hOldBitmap(SelectObject(m_hDC, m_hBitmap)) {
  SetWindowOrgEx(m_hDC, area.left, area.top, nullptr);
}

COffscreenDC::~COffscreenDC() {
  BitBlt(m_hScreen, m_rcArea.left, m_rcArea.top, m_rcArea.right - m_rcArea.left,
         m_rcArea.bottom - m_rcArea.top, m_hDC, m_rcArea.left, m_rcArea.top, SRCCOPY);
  SelectObject(m_hDC, m_hOldBitmap);
  DeleteObject(m_hBitmap);
  DeleteDC(m_hDC);
}

}  // namespace kavlen::win32
