#pragma once
// Window and control style bits the dialog templates use, with the values
// of the Windows API so that templates read like resource scripts.

namespace kavlen {

inline constexpr unsigned WS_TABSTOP = 0x00010000;
inline constexpr unsigned WS_GROUP = 0x00020000;
inline constexpr unsigned WS_SYSMENU = 0x00080000;
inline constexpr unsigned WS_HSCROLL = 0x00100000;
inline constexpr unsigned WS_VSCROLL = 0x00200000;
inline constexpr unsigned WS_BORDER = 0x00800000;
inline constexpr unsigned WS_CAPTION = 0x00C00000;
inline constexpr unsigned WS_DISABLED = 0x08000000;

inline constexpr unsigned DS_MODALFRAME = 0x0080;

inline constexpr unsigned SS_LEFT = 0x0000;
inline constexpr unsigned SS_CENTER = 0x0001;
inline constexpr unsigned SS_RIGHT = 0x0002;
inline constexpr unsigned SS_ALIGN_MASK = 0x0003;
inline constexpr unsigned SS_NOTIFY = 0x0100;

inline constexpr unsigned ES_MULTILINE = 0x0004;
inline constexpr unsigned ES_AUTOHSCROLL = 0x0080;
inline constexpr unsigned ES_WANTRETURN = 0x1000;

inline constexpr unsigned CBS_DROPDOWN = 0x0002;
inline constexpr unsigned CBS_SORT = 0x0100;

// Extended styles.
inline constexpr unsigned WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr unsigned WS_EX_STATICEDGE = 0x00020000;
inline constexpr unsigned WS_EX_APPWINDOW = 0x00040000;

}  // namespace kavlen
