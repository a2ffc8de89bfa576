#pragma once
// Message codes and argument types of the progress bar's message entry. The
// codes are those of the standard progress control plus two private ones.

#include <cstdint>

namespace kavlen {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr unsigned WM_SIZE = 0x0005;
inline constexpr unsigned WM_SETTEXT = 0x000C;
inline constexpr unsigned WM_GETTEXT = 0x000D;
inline constexpr unsigned WM_PAINT = 0x000F;
inline constexpr unsigned WM_ERASEBKGND = 0x0014;
inline constexpr unsigned WM_USER = 0x0400;

inline constexpr unsigned PBM_SETRANGE = WM_USER + 1;
inline constexpr unsigned PBM_SETPOS = WM_USER + 2;
inline constexpr unsigned PBM_DELTAPOS = WM_USER + 3;
inline constexpr unsigned PBM_SETSTEP = WM_USER + 4;
inline constexpr unsigned PBM_STEPIT = WM_USER + 5;
inline constexpr unsigned PBM_SETRANGE32 = WM_USER + 6;
inline constexpr unsigned PBM_GETRANGE = WM_USER + 7;
inline constexpr unsigned PBM_GETPOS = WM_USER + 8;
inline constexpr unsigned PBM_SETBARCOLOR = WM_USER + 9;
inline constexpr unsigned PBM_SETBKCOLOR = 0x2001;  // CCM_SETBKCOLOR
inline constexpr unsigned PBM_SETCAPTIONCOLOR = WM_USER + 100;
inline constexpr unsigned PBM_SHOWCAPTION = WM_USER + 101;

inline constexpr unsigned PBS_SMOOTH = 0x01;
inline constexpr unsigned PBS_VERTICAL = 0x04;

struct PBRANGE {
  std::int32_t iLow;
  std::int32_t iHigh;
};

constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
  return static_cast<LPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr unsigned LOWORD(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFFu); }
constexpr unsigned HIWORD(std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFFu); }

}  // namespace kavlen
