#pragma once
// A memory device context over one area of a window: drawing goes to a
// bitmap of the area's size, in the window's client coordinates, and the
// destructor copies it to the screen in one block transfer.

#include <windows.h>

namespace kavlen::win32 {

class COffscreenDC {
 public:
  COffscreenDC(HDC screen, const RECT& area);
  ~COffscreenDC();
  COffscreenDC(const COffscreenDC&) = delete;
  COffscreenDC& operator=(const COffscreenDC&) = delete;

  HDC Get() const { return m_hDC; }

 private:
  HDC m_hScreen;
  RECT m_rcArea;
  HDC m_hDC;
  HBITMAP m_hBitmap;
  HGDIOBJ m_hOldBitmap;
};

}  // namespace kavlen::win32
