// Pure geometry: bar length, caption percentage, bar split, dialog units.

#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "gui/qt/controls/percent_geometry.h"
#include "gui/qt/dialog_units.h"

namespace kavlen {
namespace {

TEST(PercentGeometry, BarLengthAndCaption) {
  struct Case {
    int position, minimum, maximum, extent;
    int bar;
    const char* caption;
  } const cases[] = {
      {0, 0, 4, 300, 0, "0%"},
      {1, 0, 4, 300, 75, "25%"},
      {2, 0, 3, 300, 200, "66%"},      // cut toward zero, not rounded
      {999, 0, 1000, 300, 299, "99%"},  // 99.9 per cent reads 99
      {4, 0, 4, 300, 300, "100%"},
      {6, 0, 4, 300, 450, "150%"},      // above the maximum: never clamped
      {-1, 0, 4, 300, -75, "-25%"},
      {15, 10, 20, 100, 50, "50%"},
      // Extremes of the int range neither overflow nor lose the result.
      {INT_MAX, INT_MIN, INT_MAX, 300, 300, "100%"},
      {0, INT_MIN, INT_MAX, 300, 150, "50%"},
      {INT_MAX, 0, 1, 300, INT_MAX, "2147483647%"},
      // An empty or inverted range has no fill and divides by nothing.
      {5, 3, 3, 300, 0, "0%"},
      {5, 4, 3, 300, 0, "0%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << " of " << c.minimum << ".." << c.maximum);
    EXPECT_EQ(BarExtent(c.position, c.minimum, c.maximum, c.extent), c.bar);
    EXPECT_EQ(PercentCaption(CaptionPercent(c.position, c.minimum, c.maximum)),
              QString::fromLatin1(c.caption));
  }
}

TEST(PercentGeometry, TruncToIntCutsTowardZeroAndClamps) {
  struct Case {
    double value;
    int expected;
  } const cases[] = {
      {2.9, 2}, {-2.9, -2}, {1e300, INT_MAX}, {-1e300, INT_MIN},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TruncToInt(c.value), c.expected) << c.value;
}

TEST(PercentGeometry, SplitsAtTheBarEnd) {
  const QRect client(1, 1, 300, 20);
  struct Case {
    int bar;
    QRect horizontalBar, horizontalRest;
  } const cases[] = {
      {0, QRect(1, 1, 0, 20), QRect(1, 1, 300, 20)},
      {75, QRect(1, 1, 75, 20), QRect(76, 1, 225, 20)},
      {450, QRect(1, 1, 300, 20), QRect(301, 1, 0, 20)},
      {-75, QRect(1, 1, 0, 20), QRect(1, 1, 300, 20)},
  };
  for (const Case& c : cases) {
    const BarSplit split = SplitHorizontal(client, c.bar);
    EXPECT_EQ(split.bar, c.horizontalBar) << c.bar;
    EXPECT_EQ(split.rest, c.horizontalRest) << c.bar;
  }

  const BarSplit vertical = SplitVertical(QRect(0, 0, 20, 100), 25);
  EXPECT_EQ(vertical.bar, QRect(0, 75, 20, 25));
  EXPECT_EQ(vertical.rest, QRect(0, 0, 20, 75));
  EXPECT_EQ(SplitVertical(QRect(0, 0, 20, 100), 500).bar, QRect(0, 0, 20, 100));
}

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int a, b, c, expected;
  } const cases[] = {
      {237, 7, 4, 415},  // 414.75
      {6, 1, 4, 2},      // 1.5 rounds up
      {-6, 1, 4, -2},    // -1.5 rounds away from zero
      {5, 1, 4, 1},      // 1.25
      {200, 16, 8, 400},
      {1, 1, 0, 0},      // no division by zero
      {INT_MAX, 4, 4, INT_MAX},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DialogUnits, ConvertsWithBaseUnits) {
  struct Case {
    QRect du;
    DialogBaseUnits base;
    QRect px;
  } const cases[] = {
      {QRect(7, 151, 218, 12), {6, 13}, QRect(11, 245, 327, 20)},
      {QRect(0, 0, 237, 200), {7, 16}, QRect(0, 0, 415, 400)},
      {QRect(56, 65, 29, 8), {10, 22}, QRect(140, 179, 73, 22)},
  };
  for (const Case& c : cases) EXPECT_EQ(DialogUnitsToPixels(c.du, c.base), c.px);
}

}  // namespace
}  // namespace kavlen
