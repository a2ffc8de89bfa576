#pragma once
// The percentage bar's arithmetic and its answers to the progress messages,
// in plain numbers, shared by its Qt and Win32 controls and the tests' model
// of a dialog. Only standard types here: the Win32 bar includes this beside
// <windows.h>, whose macros take the Windows names.

#include <cstdint>

namespace kavlen {

// What the progress messages read and write. Colours are COLORREF values;
// 0xFF000000 (CLR_DEFAULT) asks for the system colour.
struct BarState {
  int pos = 0;
  int step = 1;
  int max = 100;
  int min = 0;
  std::uint32_t barColour = 0xFF000000u;
  std::uint32_t bkColour = 0xFF000000u;
  std::uint32_t captionColour = 0xFF000000u;
  bool showCaption = true;
};

// What an answered message changed, for the control to repaint: the
// position (repaint when the bar's length in pixels changed) or the look
// (repaint all). A new range repaints nothing until the next position.
enum class BarChange { Nothing, Position, Look };

// Answers a progress message (PBM_SETRANGE to PBM_GETPOS, the colour
// messages, PBM_SETCAPTIONCOLOR, PBM_SHOWCAPTION) on `state` with its codes,
// argument packing and result. Returns false for any other message, which
// the control answers itself.
bool AnswerBarMessage(BarState& state, unsigned message, std::uintptr_t wParam,
                      std::intptr_t lParam, std::intptr_t& result, BarChange& change);

// (position - minimum) / (maximum - minimum) in double precision; an empty
// or inverted range gives 0 instead of dividing by zero.
double BarFraction(int position, int minimum, int maximum);

// Cuts toward zero and clamps to the int range; NaN gives 0.
int TruncToInt(double value);

// Steps past the int range wrap around in two's complement instead of
// overflowing.
int WrappingAdd(int a, int b);

// Bar length in pixels along `extent`, cut to 0..extent for drawing.
int ClampedBar(double fraction, int extent);

}  // namespace kavlen
