#pragma once
// A drawing surface for one paint: everything is drawn into an image the
// size of the repainted area and copied to the screen in one go when the
// surface is destroyed, so the control never shows a half-drawn state.

#include <QImage>
#include <QPainter>
#include <QRect>

namespace kavlen {

class COffscreenDC {
 public:
  // `target` supplies the pixel ratio and resolution of the screen surface;
  // `area` is in the target's client coordinates.
  COffscreenDC(QPainter& screen, const QPaintDevice& target, const QRect& area);
  ~COffscreenDC();
  COffscreenDC(const COffscreenDC&) = delete;
  COffscreenDC& operator=(const COffscreenDC&) = delete;

  // Draws in client coordinates. If the image could not be allocated this
  // is the screen painter itself: the paint still happens, only unbuffered.
  QPainter& Painter();

 private:
  QPainter& m_screen;
  QRect m_area;
  QImage m_image;
  QPainter m_painter;
};

}  // namespace kavlen
