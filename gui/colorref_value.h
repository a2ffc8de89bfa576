#pragma once
// Colour values as the window and its controls store them: 0x00BBGGRR, red
// in the lowest byte. CLR_DEFAULT is no valid colour; it asks a control for
// its default.

#include <cstdint>

namespace kavlen {

using COLORREF = std::uint32_t;

inline constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

constexpr unsigned GetRValue(COLORREF c) { return c & 0xFFu; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xFFu; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xFFu; }

}  // namespace kavlen
