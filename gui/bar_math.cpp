#include "gui/bar_math.h"

#include <climits>
#include <cmath>
#include <cstdint>

namespace kavlen {

double BarFraction(int position, int minimum, int maximum) {
  if (minimum >= maximum) return 0.0;
  return (static_cast<double>(position) - minimum) / (static_cast<double>(maximum) - minimum);
}

int TruncToInt(double value) {
  if (std::isnan(value)) return 0;
  const double cut = std::trunc(value);
  if (cut >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (cut <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(cut);
}

int WrappingAdd(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

int ClampedBar(double fraction, int extent) {
  const int bar = TruncToInt(extent * fraction);
  return bar < 0 ? 0 : (bar > extent ? extent : bar);
}

}  // namespace kavlen
