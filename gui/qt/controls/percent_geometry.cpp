#include "gui/qt/controls/percent_geometry.h"

namespace kavlen {

int BarExtent(int position, int minimum, int maximum, int extent) {
  return TruncToInt(BarFraction(position, minimum, maximum) * extent);
}

int CaptionPercent(int position, int minimum, int maximum) {
  return TruncToInt(BarFraction(position, minimum, maximum) * 100.0);
}

QString PercentCaption(int percent) {
  return QString::asprintf("%d%%", percent);
}

namespace {

int Clamp(int value, int low, int high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

BarSplit SplitHorizontal(const QRect& client, int barLength) {
  const int length = Clamp(barLength, 0, client.width());
  const QRect bar(client.left(), client.top(), length, client.height());
  const QRect rest(client.left() + length, client.top(), client.width() - length,
                   client.height());
  return {bar, rest};
}

BarSplit SplitVertical(const QRect& client, int barLength) {
  const int length = Clamp(barLength, 0, client.height());
  const int restHeight = client.height() - length;
  const QRect rest(client.left(), client.top(), client.width(), restHeight);
  const QRect bar(client.left(), client.top() + restHeight, client.width(), length);
  return {bar, rest};
}

}  // namespace kavlen
