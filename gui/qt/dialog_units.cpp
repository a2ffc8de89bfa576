#include "gui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

#include <cstdint>

namespace kavlen {

int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = ((product < 0 ? -product : product) + half) / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

DialogBaseUnits BaseUnitsFor(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& du, DialogBaseUnits base) {
  return QRect(MulDiv(du.x(), base.x, 4), MulDiv(du.y(), base.y, 8),
               MulDiv(du.width(), base.x, 4), MulDiv(du.height(), base.y, 8));
}

QFont FitFontToWidth(const QFont& font, const QString& text, int width) {
  constexpr qreal kSmallest = 6.0;
  QFont fitted = font;
  // Word wrap breaks a line that fills the width exactly, so a caption
  // must leave at least one pixel free.
  while (QFontMetricsF(fitted).horizontalAdvance(text) >= width - 1 &&
         fitted.pointSizeF() - 0.5 >= kSmallest)
    fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
  return fitted;
}

QFont DialogFont(const char* family, int pointSize) {
  QFont font(QString::fromLatin1(family), pointSize);
  const QString name = QString::fromLatin1(family);
  const bool serif = name.contains(QLatin1String("Serif")) && !name.contains(QLatin1String("Sans"));
  font.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
  return font;
}

}  // namespace kavlen
