#include "gui/bar_math.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "gui/controls/control_messages.h"

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

bool AnswerBarMessage(BarState& state, unsigned message, WPARAM wParam, LPARAM lParam,
                      LRESULT& result, BarChange& change) {
  const auto replace = [&](auto& member, auto value, BarChange changed) {
    result = static_cast<LRESULT>(std::exchange(member, value));
    change = changed;
  };
  result = 0;
  change = BarChange::Nothing;
  switch (message) {
    case PBM_SETRANGE:
      state.min = static_cast<int>(LOWORD(static_cast<WPARAM>(lParam)));
      state.max = static_cast<int>(HIWORD(static_cast<WPARAM>(lParam)));
      return true;
    case PBM_SETRANGE32:
      state.min = static_cast<int>(wParam);
      state.max = static_cast<int>(lParam);
      return true;
    case PBM_SETPOS:
      replace(state.pos, static_cast<int>(wParam), BarChange::Position);
      return true;
    case PBM_DELTAPOS:
      replace(state.pos, WrappingAdd(state.pos, static_cast<int>(wParam)), BarChange::Position);
      return true;
    case PBM_SETSTEP:
      replace(state.step, static_cast<int>(wParam), BarChange::Nothing);
      return true;
    case PBM_STEPIT:
      replace(state.pos, WrappingAdd(state.pos, state.step), BarChange::Position);
      return true;
    case PBM_GETRANGE:
      if (lParam != 0) {
        auto* range = reinterpret_cast<PBRANGE*>(lParam);
        range->iLow = state.min;
        range->iHigh = state.max;
      }
      result = wParam != 0 ? state.min : state.max;
      return true;
    case PBM_GETPOS:
      result = state.pos;
      return true;
    case PBM_SETBARCOLOR:
      replace(state.barColour, static_cast<std::uint32_t>(lParam), BarChange::Look);
      return true;
    case PBM_SETBKCOLOR:
      replace(state.bkColour, static_cast<std::uint32_t>(lParam), BarChange::Look);
      return true;
    case PBM_SETCAPTIONCOLOR:
      replace(state.captionColour, static_cast<std::uint32_t>(lParam), BarChange::Look);
      return true;
    case PBM_SHOWCAPTION:
      if (state.showCaption != (wParam != 0)) change = BarChange::Look;
      state.showCaption = wParam != 0;
      return true;
    default:
      return false;
  }
}

}  // namespace kavlen
