#include "tests/gui/gui_test_support.h"

#include <QTest>

namespace kavlen::test {

void ShowAndWait(QWidget& widget) {
  QWidget* window = widget.window();
  window->show();
  (void)QTest::qWaitForWindowExposed(window);
}

QImage Grab(QWidget& widget) {
  QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  image.setDevicePixelRatio(1.0);
  return image;
}

QFont CrispFont(int pointSize) {
  QFont font(QStringLiteral("DejaVu Sans"), pointSize);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

bool AllPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& pred) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (!pred(image.pixel(x, y))) return false;
  return true;
}

int CountPixels(const QImage& image, const QRect& area, QRgb colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu)) ++count;
  return count;
}

bool SameColumn(const QImage& a, const QImage& b, int x) {
  for (int y = 0; y < a.height(); ++y)
    if (a.pixel(x, y) != b.pixel(x, y)) return false;
  return true;
}

}  // namespace kavlen::test
