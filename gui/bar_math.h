#pragma once
// The percentage bar's arithmetic in plain numbers, shared by its Qt and
// Win32 controls.

namespace kavlen {

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
