// The reset confirmation's logic against a recording host: no toolkit, no
// event loop.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gui/reset_dlg.h"
#include "tests/gui/recording_dialog_host.h"

namespace kavlen::test {
namespace {

TEST(ResetDlgLogic, EachWayOfClosing) {
  struct Case {
    const char* name;
    std::function<void(CResetDlg&)> act;
    std::vector<std::string> calls;  // after SetTimer 1 1200
    std::vector<std::string> debugLines;
  } const cases[] = {
      {"another timer", [](CResetDlg& d) { d.OnTimer(2); }, {}, {}},
      {"its timer", [](CResetDlg& d) { d.OnTimer(1); }, {"KillTimer 1", "EndDialog 1"}, {}},
      {"OK", [](CResetDlg& d) { d.OnOK(); }, {"KillTimer 1", "EndDialog 1"}, {" OK Exit !!\n\r"}},
      {"Escape", [](CResetDlg& d) { d.OnCancel(); }, {"KillTimer 1", "EndDialog 2"}, {}},
  };
  for (const Case& c : cases) {
    RecordingDialogHost host;
    std::vector<std::string> lines;
    CResetDlg dlg(host, [&lines](const std::string& text) { lines.push_back(text); });
    dlg.OnInitDialog();
    c.act(dlg);
    std::vector<std::string> want{"SetTimer 1 1200"};
    want.insert(want.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(host.calls, want) << c.name;
    EXPECT_EQ(lines, c.debugLines) << c.name;
  }
}

}  // namespace
}  // namespace kavlen::test
