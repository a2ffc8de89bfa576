#pragma once
// Geometry of the percentage bar as plain functions: how far a position
// fills the control, which caption it shows, and where the bar ends.

#include <QRect>
#include <QString>

#include "gui/bar_math.h"

namespace kavlen {

// Bar length in pixels along an extent of `extent` pixels.
int BarExtent(int position, int minimum, int maximum, int extent);

// The percentage shown as the default caption, cut toward zero (99.9 -> 99).
int CaptionPercent(int position, int minimum, int maximum);

// "%d%%": 42 reads "42%".
QString PercentCaption(int percent);

struct BarSplit {
  QRect bar;   // the filled part
  QRect rest;  // the part not covered by the bar
};

// A horizontal bar grows from the left edge, a vertical one from the
// bottom. Both parts are cut to the client rectangle, so a bar longer than
// the control fills it and a negative bar leaves it all to the rest.
BarSplit SplitHorizontal(const QRect& client, int barLength);
BarSplit SplitVertical(const QRect& client, int barLength);

}  // namespace kavlen
