#pragma once
// Dialog and control ids of kavlen's three dialogs.

namespace kavlen {

inline constexpr int IDD_MAIN = 102;
inline constexpr int IDD_ABOUT = 129;
inline constexpr int IDD_RESET = 131;

// Controls without an id of their own: labels and frames.
inline constexpr int IDC_STATIC = -1;

// IDOK (1) and IDCANCEL (2) are in gui/message_box_codes.h.

// Main window.
inline constexpr int IDC_DOWNLOAD = 1001;
inline constexpr int IDC_UPDATE_OS = 1004;
inline constexpr int IDC_PROGRESS = 1005;
inline constexpr int IDC_ABOUT = 1006;
inline constexpr int IDC_RESET_TARGET = 1009;
inline constexpr int IDC_STATUS = 1014;
inline constexpr int IDC_IMAGE_PATH = 1015;
inline constexpr int IDC_ROM_SIZE_GROUP = 1016;
inline constexpr int IDC_ROM_64K = 1017;
inline constexpr int IDC_ROM_128K = 1018;
inline constexpr int IDC_ROM_256K = 1019;
inline constexpr int IDC_ROM_512K = 1020;
inline constexpr int IDC_ROM_1024K = 1021;
inline constexpr int IDC_ROM_2048K = 1022;
inline constexpr int IDC_ROM_4096K = 1023;
inline constexpr int IDC_BROWSE = 1024;
inline constexpr int IDC_LOAD_TO_BUFFER = 1025;
inline constexpr int IDC_LENGTH = 1026;
inline constexpr int IDC_CHECKSUM = 1027;
inline constexpr int IDC_USER_CMD = 1028;
inline constexpr int IDC_RECONNECT = 1029;
inline constexpr int IDC_READ_BUFFER = 1030;
inline constexpr int IDC_DEVICE_OS_CAPTION = 1033;
inline constexpr int IDC_DEVICE_OS = 1034;
inline constexpr int IDC_WRITE_BUFFER = 1035;
inline constexpr int IDC_VERIFY = 1036;
inline constexpr int IDC_ADDRESS_CAPTION = 1038;
inline constexpr int IDC_ORGINAL_CAPTION = 1039;
inline constexpr int IDC_TARGET_CAPTION = 1040;
inline constexpr int IDC_ADDRESS = 1041;
inline constexpr int IDC_ORGINAL = 1042;
inline constexpr int IDC_TARGET = 1043;
inline constexpr int IDC_DUMP_ADDRESS = 1045;
inline constexpr int IDC_DEVICE_INFO = 1050;

// About box.
inline constexpr int IDC_ABOUT_TEXT = 1007;
inline constexpr int IDC_ABOUT_VERSION = 1008;
inline constexpr int IDC_WEB_LINK = 1047;
inline constexpr int IDC_MAIL_LINK = 1048;

// Reset confirmation.
inline constexpr int IDC_RESET_TEXT = 1049;

}  // namespace kavlen
