// The dialogs kept in gui/win32/kavlen_dialogs.rc are checked whole against
// the template table by CTest (win32_dialogs_rc_matches_templates); this
// covers what those dialogs do not contain: quotes and backslashes in
// captions, and a dialog without combo entries.

#include <gtest/gtest.h>

#include "gui/win32/rc_script.h"
#include "gui/window_styles.h"

namespace kavlen {
namespace {

constexpr const char* kItems[] = {"a", "bc"};

TEST(RcScriptTest, WritesEscapedCaptionsClassesAndComboEntries) {
  const ControlTemplate controls[] = {
      {7, ControlKind::Static, "say \"hi\" C:\\x", SS_CENTER, WS_EX_CLIENTEDGE, 1, 2, 3, 4},
      {8, ControlKind::ComboBox, "", CBS_DROPDOWN, 0, 5, 6, 7, 8, kItems},
  };
  const DialogTemplate dialog{77, "T", DS_MODALFRAME, 10, 20, "Face", 9, controls};
  EXPECT_EQ(DialogScript(dialog),
            "77 DIALOGEX 0, 0, 10, 20\n"
            "STYLE 0x800000C0\n"
            "CAPTION \"T\"\n"
            "FONT 9, \"Face\", 0, 0, 0\n"
            "BEGIN\n"
            "    CONTROL \"say \"\"hi\"\" C:\\\\x\", 7, \"Static\", 0x50000001, 1, 2, 3, 4, "
            "0x00000200\n"
            "    CONTROL \"\", 8, \"ComboBox\", 0x50000002, 5, 6, 7, 8, 0x00000000\n"
            "END\n\n"
            "77 240\nBEGIN\n"
            "  8, 0x00000403, 3L, \"a\", 0,\n"
            "  8, 0x00000403, 4L, \"bc\", 0,\n"
            "  0\nEND\n\n");
}

TEST(RcScriptTest, DialogWithoutComboEntriesHasNoInitialisationData) {
  const ControlTemplate controls[] = {{1, ControlKind::DefPushButton, "OK", 0, 0, 1, 1, 2, 2}};
  const DialogTemplate dialog{5, "R", 0, 4, 4, "System", 12, controls};
  EXPECT_EQ(DialogScript(dialog).find(" 240\n"), std::string::npos);
}

}  // namespace
}  // namespace kavlen
