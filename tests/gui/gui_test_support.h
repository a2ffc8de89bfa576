#pragma once
// Helpers for widget tests on the offscreen platform.

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QWidget>

#include <functional>

namespace kavlen::test {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Shows the window of `widget` and waits until it can paint.
void ShowAndWait(QWidget& widget);

// The widget as drawn now, one pixel per logical pixel.
QImage Grab(QWidget& widget);

// A font drawn without anti-aliasing, so text pixels have exact colours.
QFont CrispFont(int pointSize = 10);

// Every pixel of `image` inside `area` satisfies `pred`.
bool AllPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& pred);
int CountPixels(const QImage& image, const QRect& area, QRgb colour);

// Column `x` of `image` is the same in both images.
bool SameColumn(const QImage& a, const QImage& b, int x);

}  // namespace kavlen::test
