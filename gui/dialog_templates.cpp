// The three dialogs of kavlen: main window, About box, reset confirmation.

#include "gui/dialog_template.h"
#include "gui/controls/control_messages.h"
#include "gui/maker_info.h"
#include "gui/message_box_codes.h"
#include "gui/resource_ids.h"
#include "gui/window_styles.h"

namespace kavlen {

namespace {

constexpr unsigned kSunken = WS_EX_STATICEDGE | WS_EX_CLIENTEDGE;
constexpr unsigned kButton = WS_TABSTOP;
constexpr unsigned kDisabledButton = WS_TABSTOP | WS_DISABLED;

// Start offsets of the first 20 blocks of 16 KB.
constexpr const char* kDumpAddresses[] = {
    "0x000000", "0x004000", "0x008000", "0x00C000", "0x010000", "0x014000", "0x018000",
    "0x01C000", "0x020000", "0x024000", "0x028000", "0x02C000", "0x030000", "0x034000",
    "0x038000", "0x03C000", "0x040000", "0x044000", "0x048000", "0x04C000",
};

constexpr ControlTemplate kMainControls[] = {
    {IDOK, ControlKind::DefPushButton, "&Exit", kButton, 0, 171, 13, 50, 19},
    {IDC_DOWNLOAD, ControlKind::PushButton, "&Download", kButton, 0, 175, 125, 48, 21},
    {IDC_UPDATE_OS, ControlKind::PushButton, "&UpdateOS", kDisabledButton, 0, 177, 60, 40, 12},
    {IDC_PROGRESS, ControlKind::PercentBar, "Progress1", WS_BORDER | PBS_SMOOTH, 0, 7, 151, 218,
     12},
    {IDC_ABOUT, ControlKind::PushButton, "&ABOUT this", kButton, 0, 173, 39, 46, 16},
    {IDC_RESET_TARGET, ControlKind::PushButton, "&Reset Target", kButton, 0, 120, 40, 46, 13},
    {IDC_STATIC, ControlKind::GroupBox, "Command", 0, 0, 70, 7, 153, 86},
    {IDC_STATIC, ControlKind::Static, "(C) " KAVLEN_MAKER_NAME, SS_LEFT, 0, 7, 184, 124, 10},
    {IDC_STATUS, ControlKind::ColorLabel, "", SS_LEFT, kSunken, 7, 168, 125, 12},
    {IDC_IMAGE_PATH, ControlKind::Edit, "",
     ES_MULTILINE | ES_AUTOHSCROLL | WS_BORDER | WS_HSCROLL | WS_TABSTOP, 0, 7, 97, 172, 22},
    {IDC_ROM_SIZE_GROUP, ControlKind::GroupBox, "ROM Size", 0, 0, 7, 7, 61, 87},
    {IDC_ROM_64K, ControlKind::AutoRadioButton, "64 KBytes", WS_GROUP | WS_TABSTOP, 0, 13, 16,
     46, 10},
    {IDC_ROM_128K, ControlKind::AutoRadioButton, "128 KBytes", 0, 0, 13, 24, 50, 14},
    {IDC_ROM_256K, ControlKind::AutoRadioButton, "256 KBytes", 0, 0, 13, 35, 50, 14},
    {IDC_ROM_512K, ControlKind::AutoRadioButton, "512 KBytes", 0, 0, 13, 46, 50, 14},
    {IDC_ROM_1024K, ControlKind::AutoRadioButton, "1024 KBytes", 0, 0, 13, 57, 50, 14},
    {IDC_ROM_2048K, ControlKind::AutoRadioButton, "2048 KBytes", 0, 0, 13, 68, 50, 14},
    {IDC_ROM_4096K, ControlKind::AutoRadioButton, "4096 KBytes", 0, 0, 13, 78, 50, 14},
    {IDC_BROWSE, ControlKind::PushButton, "&Browser...", kButton, 0, 181, 97, 42, 19},
    {IDC_LOAD_TO_BUFFER, ControlKind::PushButton, "&Load to Buffer", kDisabledButton, 0, 13,
     121, 51, 13},
    {IDC_LENGTH, ControlKind::ColorLabel, "", SS_RIGHT, kSunken, 110, 122, 45, 12},
    {IDC_CHECKSUM, ControlKind::ColorLabel, "", SS_CENTER, kSunken, 110, 135, 45, 12},
    {IDC_STATIC, ControlKind::Static, "Length :", SS_LEFT, 0, 79, 122, 27, 10},
    {IDC_STATIC, ControlKind::Static, "CheckSum :", SS_LEFT, 0, 70, 136, 38, 10},
    {IDC_STATIC, ControlKind::Static, "Bytes", SS_LEFT, 0, 155, 123, 18, 11},
    {IDC_USER_CMD, ControlKind::PushButton, "USER CMD", kDisabledButton, 0, 83, 75, 41, 11},
    {IDC_RECONNECT, ControlKind::PushButton, "Re-Connect", kDisabledButton, 0, 83, 62, 40, 10},
    {IDC_READ_BUFFER, ControlKind::PushButton, "Read Buffer", kDisabledButton, 0, 131, 75, 42,
     10},
    {IDC_DEVICE_OS_CAPTION, ControlKind::Static, "Device OS:", SS_CENTER, 0, 71, 17, 41, 9},
    {IDC_DEVICE_OS, ControlKind::ColorLabel, "", SS_LEFT, kSunken, 112, 15, 57, 12},
    {IDC_WRITE_BUFFER, ControlKind::PushButton, "Write Buffer", kDisabledButton, 0, 131, 61, 42,
     10},
    {IDC_VERIFY, ControlKind::AutoCheckBox, "Check1", WS_TABSTOP, 0, 7, 139, 8, 8},
    {IDC_STATIC, ControlKind::Static, ": Verify", SS_LEFT, 0, 17, 138, 25, 10},
    {IDC_ADDRESS_CAPTION, ControlKind::Static, "Address", SS_LEFT, 0, 135, 166, 29, 9},
    {IDC_ORGINAL_CAPTION, ControlKind::Static, "Orginal", SS_LEFT, 0, 134, 179, 23, 9},
    {IDC_TARGET_CAPTION, ControlKind::Static, "Target", SS_LEFT, 0, 181, 179, 23, 9},
    {IDC_ADDRESS, ControlKind::ColorLabel, "", SS_CENTER, kSunken, 165, 166, 56, 11},
    {IDC_ORGINAL, ControlKind::ColorLabel, "", SS_CENTER, kSunken, 158, 179, 23, 11},
    {IDC_TARGET, ControlKind::ColorLabel, "", SS_CENTER, kSunken, 207, 179, 23, 11},
    {IDC_STATIC, ControlKind::GroupBox, "Debug ", 0, 0, 75, 52, 145, 37},
    {IDC_DUMP_ADDRESS, ControlKind::ComboBox, "",
     CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP | WS_DISABLED, 0, 176, 74, 41, 40,
     kDumpAddresses},
    {IDC_DEVICE_INFO, ControlKind::ColorLabel, "", SS_LEFT, 0, 74, 29, 100, 10},
};

// The spaces centre the version over the maker's line below it.
constexpr ControlTemplate kAboutControls[] = {
    {IDC_ABOUT_TEXT, ControlKind::Static,
     "                 USB KavlenII V1.2         (C) " KAVLEN_MAKER_NAME, SS_LEFT, 0, 16, 13,
     120, 20},
    {IDC_WEB_LINK, ControlKind::LinkLabel, KAVLEN_MAKER_WEB_URL, SS_LEFT, 0, 24, 33, 90, 8},
    {IDC_MAIL_LINK, ControlKind::LinkLabel, "MailTo:" KAVLEN_MAKER_EMAIL, SS_LEFT, 0, 17, 45, 104,
     9},
    // The running build's version, filled in when the box opens (the text
    // changes with every commit, the template does not).
    {IDC_ABOUT_VERSION, ControlKind::Static, "", SS_LEFT, 0, 17, 55, 120, 9},
    {IDOK, ControlKind::DefPushButton, "OK", kButton, 0, 56, 65, 29, 8},
};

constexpr ControlTemplate kResetControls[] = {
    {IDC_RESET_TEXT, ControlKind::Static, "Reset the target ...", SS_CENTER, 0, 14, 13, 60, 10},
    {IDOK, ControlKind::DefPushButton, "OK", kButton, 0, 32, 31, 21, 10},
};

constexpr DialogTemplate kMain{IDD_MAIN, "USB Kavlen", DS_MODALFRAME | WS_CAPTION | WS_SYSMENU,
                               237, 200, "Microsoft Sans Serif", 10, kMainControls};

constexpr DialogTemplate kAbout{IDD_ABOUT, "About this ...",
                                DS_MODALFRAME | WS_CAPTION | WS_SYSMENU, 145, 80, "MS Serif", 14,
                                kAboutControls};

// No system menu: the confirmation has no close box.
constexpr DialogTemplate kReset{IDD_RESET, "Reset Now !!!", DS_MODALFRAME | WS_CAPTION, 89, 48,
                                "System", 12, kResetControls};

}  // namespace

const DialogTemplate& MainDialogTemplate() { return kMain; }
const DialogTemplate& AboutDialogTemplate() { return kAbout; }
const DialogTemplate& ResetDialogTemplate() { return kReset; }
std::span<const char* const> DumpAddressEntries() { return kDumpAddresses; }

}  // namespace kavlen
