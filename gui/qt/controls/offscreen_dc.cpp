#include "gui/qt/controls/offscreen_dc.h"

#include <QPaintDevice>

#include <cmath>

namespace kavlen {

namespace {

QImage MakeSurface(const QPaintDevice& target, const QRect& area) {
  if (area.isEmpty()) return {};
  const qreal ratio = target.devicePixelRatioF();
  QImage image(static_cast<int>(std::ceil(area.width() * ratio)),
               static_cast<int>(std::ceil(area.height() * ratio)),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  image.setDevicePixelRatio(ratio);
  // Point sizes of fonts must come out as on the screen.
  image.setDotsPerMeterX(static_cast<int>(std::lround(target.logicalDpiX() / 0.0254)));
  image.setDotsPerMeterY(static_cast<int>(std::lround(target.logicalDpiY() / 0.0254)));
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

COffscreenDC::COffscreenDC(QPainter& screen, const QPaintDevice& target, const QRect& area)
    : m_screen(screen), m_area(area), m_image(MakeSurface(target, area)) {
  if (m_image.isNull()) return;
  m_painter.begin(&m_image);
  m_painter.translate(-area.topLeft());
}

COffscreenDC::~COffscreenDC() {
  if (m_image.isNull()) return;
  m_painter.end();
  m_screen.drawImage(m_area.topLeft(), m_image);
}

QPainter& COffscreenDC::Painter() {
  return m_image.isNull() ? m_screen : m_painter;
}

}  // namespace kavlen
