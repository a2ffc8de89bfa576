#pragma once
// Colour values as the controls store them: 0x00BBGGRR, red in the lowest
// byte. CLR_DEFAULT is no valid colour; it asks a control for its default.

#include <QColor>

#include "gui/colorref_value.h"

namespace kavlen {

inline QColor ToQColor(COLORREF c) {
  return QColor(static_cast<int>(GetRValue(c)), static_cast<int>(GetGValue(c)),
                static_cast<int>(GetBValue(c)));
}

inline COLORREF ToColorRef(const QColor& c) {
  return RGB(static_cast<unsigned>(c.red()), static_cast<unsigned>(c.green()),
             static_cast<unsigned>(c.blue()));
}

}  // namespace kavlen
