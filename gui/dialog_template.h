#pragma once
// Dialog templates as data: each control with its id, kind, caption, style
// and position in dialog units, from which BuildDialog (dialog_builder.h)
// creates the widgets.

#include <span>

namespace kavlen {

enum class ControlKind {
  PushButton,
  DefPushButton,
  AutoRadioButton,
  AutoCheckBox,
  GroupBox,
  Static,
  Edit,
  ComboBox,
  ColorLabel,   // CColorLabel
  PercentBar,   // CPercentBar
  LinkLabel,    // CLinkLabel
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* caption;
  unsigned style;    // WS_*, SS_*, ES_*, CBS_*, PBS_* bits (window_styles.h)
  unsigned exStyle;  // WS_EX_* bits
  int x, y, cx, cy;  // dialog units
  std::span<const char* const> items = {};  // entries of a combo box
};

struct DialogTemplate {
  int id;
  const char* title;
  unsigned style;
  int cx, cy;  // dialog units
  const char* fontName;
  int pointSize;
  std::span<const ControlTemplate> controls;
};

const DialogTemplate& MainDialogTemplate();   // IDD_MAIN
const DialogTemplate& AboutDialogTemplate();  // IDD_ABOUT
const DialogTemplate& ResetDialogTemplate();  // IDD_RESET

// The entries of the main window's dump-address list (control 1045), in
// the order the list shows them.
std::span<const char* const> DumpAddressEntries();

}  // namespace kavlen
