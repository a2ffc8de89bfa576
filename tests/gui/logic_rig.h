#pragma once
// The main window's logic on a model host (recording_dialog_host.h): no
// toolkit, no event loop. The rig records the developer output and the
// waits, with what the status line held and had painted at each, counts
// the About and reset dialogs asked for, and delivers commands as a host
// does (OnDestroy once a command ended the dialog).

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gui/dialog_template.h"
#include "gui/main_dlg.h"
#include "gui/resource_ids.h"
#include "tests/gui/recording_dialog_host.h"

namespace kavlen::test {

class LogicRig {
 public:
  // Hooks the recorders into `services` (the reset and About dialogs only
  // when empty), builds the window and runs its initialisation.
  CMainDlg& Start(MainDlgServices services) {
    services.debugOutput = [this](const std::string& text) {
      debugLines.push_back(text);
      paintedAtDebug.push_back(host.LastPainted(IDC_STATUS));
    };
    services.sleep = [this](int ms) {
      sleeps.push_back(ms);
      statusAtSleep.push_back(StatusText());
      colourAtSleep.push_back(StatusColour());
      paintedAtSleep.push_back(host.LastPainted(IDC_STATUS));
    };
    if (!services.showResetDialog) services.showResetDialog = [this] { ++resetDialogs; };
    if (!services.showAboutDialog) services.showAboutDialog = [this] { ++aboutDialogs; };
    window = std::make_unique<CMainDlg>(host, std::move(services));
    window->OnInitDialog();
    return *window;
  }

  std::string Text(int id) const { return host.GetDlgItemText(id); }
  COLORREF Colour(int id) const { return host.Colour(id); }
  std::string StatusText() const { return Text(IDC_STATUS); }
  COLORREF StatusColour() const { return Colour(IDC_STATUS); }
  int CheckedRomSize() const { return host.CheckedRadio(IDC_ROM_64K, IDC_ROM_4096K); }
  std::vector<std::string> MismatchLabels() const {
    return {Text(IDC_ADDRESS), Text(IDC_ORGINAL), Text(IDC_TARGET)};
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : host.boxes) texts.push_back(box.text);
    return texts;
  }
  // Ends of the dialog the logic asked for because the device is gone.
  int QuitRequests() const {
    return static_cast<int>(std::count(host.endResults.begin(), host.endResults.end(), IDCANCEL));
  }

  // A command as the host delivers it; a command that ended the dialog is
  // followed by its destruction steps.
  void Command(int id) {
    window->OnCommand(id);
    if (!host.endResults.empty()) window->OnDestroy();
  }
  // A click of an enabled control: the control's own change, then its command.
  void Click(int id) {
    if (!host.Enabled(id)) return;
    host.ClickEffect(id);
    Command(id);
  }

  RecordingDialogHost host{MainDialogTemplate()};
  std::vector<std::string> debugLines;
  std::vector<int> sleeps;
  std::vector<std::string> statusAtSleep;   // the status text while each wait ran
  std::vector<COLORREF> colourAtSleep;
  std::vector<std::string> paintedAtSleep;  // the last painted status text at each wait
  std::vector<std::string> paintedAtDebug;  // the same at each debug line
  int resetDialogs = 0;
  int aboutDialogs = 0;
  std::unique_ptr<CMainDlg> window;
};

}  // namespace kavlen::test
