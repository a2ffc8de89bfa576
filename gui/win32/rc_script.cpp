#include "gui/win32/rc_script.h"

#include <cstdio>
#include <string_view>

#include "gui/window_styles.h"

namespace kavlen {

namespace {

constexpr unsigned kChildVisible = 0x50000000;  // WS_CHILD | WS_VISIBLE
constexpr unsigned kPopup = 0x80000000;         // WS_POPUP
constexpr unsigned kSetFont = 0x0040;           // DS_SETFONT
constexpr unsigned kAddString = 0x0403;         // CB_ADDSTRING as initialisation data names it

struct WindowClass {
  const char* name;
  unsigned style;
};

WindowClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton: return {"Button", 0x0};       // BS_PUSHBUTTON
    case ControlKind::DefPushButton: return {"Button", 0x1};    // BS_DEFPUSHBUTTON
    case ControlKind::AutoCheckBox: return {"Button", 0x3};     // BS_AUTOCHECKBOX
    case ControlKind::GroupBox: return {"Button", 0x7};         // BS_GROUPBOX
    case ControlKind::AutoRadioButton: return {"Button", 0x9};  // BS_AUTORADIOBUTTON
    case ControlKind::Edit: return {"Edit", 0x0};
    case ControlKind::ComboBox: return {"ComboBox", 0x0};
    case ControlKind::PercentBar: return {"msctls_progress32", 0x0};
    case ControlKind::Static:
    case ControlKind::ColorLabel:
    case ControlKind::LinkLabel: break;
  }
  return {"Static", 0x0};
}

// A resource-script string: quotes are doubled, backslashes escaped.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += "\"\"";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out + "\"";
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Control(const ControlTemplate& control) {
  const WindowClass cls = ClassOf(control.kind);
  return "    CONTROL " + Quoted(control.caption) + ", " + std::to_string(control.id) + ", " +
         Quoted(cls.name) + ", " + Hex(kChildVisible | cls.style | control.style) + ", " +
         std::to_string(control.x) + ", " + std::to_string(control.y) + ", " +
         std::to_string(control.cx) + ", " + std::to_string(control.cy) + ", " +
         Hex(control.exStyle) + "\n";
}

// Entries of one control: id, message, byte count, then the text and a
// zero word, which ends the string whatever its length.
std::string InitData(const DialogTemplate& dialog) {
  std::string out;
  for (const ControlTemplate& control : dialog.controls) {
    for (const char* item : control.items) {
      out += "  " + std::to_string(control.id) + ", " + Hex(kAddString) + ", " +
             std::to_string(std::string_view(item).size() + 2) + "L, " + Quoted(item) + ", 0,\n";
    }
  }
  if (out.empty()) return out;
  return std::to_string(dialog.id) + " 240\nBEGIN\n" + out + "  0\nEND\n\n";
}

}  // namespace

std::string DialogScript(const DialogTemplate& dialog) {
  std::string out = std::to_string(dialog.id) + " DIALOGEX 0, 0, " + std::to_string(dialog.cx) +
                    ", " + std::to_string(dialog.cy) + "\n";
  out += "STYLE " + Hex(kPopup | kSetFont | dialog.style) + "\n";
  out += "CAPTION " + Quoted(dialog.title) + "\n";
  out += "FONT " + std::to_string(dialog.pointSize) + ", " + Quoted(dialog.fontName) +
         ", 0, 0, 0\n";
  out += "BEGIN\n";
  for (const ControlTemplate& control : dialog.controls) out += Control(control);
  out += "END\n\n";
  return out + InitData(dialog);
}

}  // namespace kavlen
