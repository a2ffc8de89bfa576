#pragma once
// The main window's logic on a test bench: a program folder of its own
// (kavlen.ini, TPROMOS.USB), a device root with or without a kavlen-sim
// emulator in it, the real settings file code, and the model host of
// LogicRig, whose timers tests tick by hand through OnTimer.

#include <memory>
#include <string>
#include <vector>

#include "gui/app/profile_settings_file.h"
#include "gui/main_dlg.h"
#include "tests/gui/logic_rig.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"

namespace kavlen::test {

class MainDlgRig : public LogicRig {
 public:
  // No emulator attached.
  MainDlgRig();
  // One kavlen-sim started with these switches.
  explicit MainDlgRig(std::vector<std::string> simArgs);
  ~MainDlgRig();

  // Builds the window (its initialisation runs); the rig's fields set up to
  // then are what it sees.
  CMainDlg& Open();
  CMainDlg& dlg() { return *window; }
  // The services the window gets; tests that host it themselves use them.
  MainDlgServices Services();

  void WriteIni(const std::string& text);
  std::string IniText() const;
  std::string IniPath() const;
  // A device OS file of `size` bytes beside the program.
  void WriteDeviceOs(std::size_t size = 4096);
  // Lines of the simulator's log that report a break of the device discipline.
  std::vector<std::string> Violations() const;

  TempDir programDir;
  TempDir deviceRoot;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<DriverApi> driver;
  RecordingSink trace;
  ProfileSettingsFile settings;
};

}  // namespace kavlen::test
