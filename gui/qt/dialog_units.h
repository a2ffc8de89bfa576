#pragma once
// Dialog units to pixels, the way Windows converts them: the horizontal
// base unit is the dialog font's average character width, the vertical one
// its height; x px = x du * base-x / 4 and y px = y du * base-y / 8, each
// rounded to the nearest pixel.

#include <QFont>
#include <QRect>

namespace kavlen {

struct DialogBaseUnits {
  int x;
  int y;
};

// a * b / c rounded to the nearest integer, halves away from zero; 0 when
// c is 0.
int MulDiv(int a, int b, int c);

// Average width of the 52 letters A-Z a-z, rounded, as Windows measures it;
// the height is the font's line height.
DialogBaseUnits BaseUnitsFor(const QFont& font);

QRect DialogUnitsToPixels(const QRect& dialogUnits, DialogBaseUnits base);

// The dialog font: the named family when it is installed, else a close sans
// or serif face ("MS Serif" is a serif, the others are sans).
QFont DialogFont(const char* family, int pointSize);

// `font`, or a smaller size of it, in which `text` is narrower than `width`
// pixels wide on one line; never below 6 points.
QFont FitFontToWidth(const QFont& font, const QString& text, int width);

}  // namespace kavlen
