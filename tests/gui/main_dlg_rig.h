#pragma once
// The main window on a test bench: a program folder of its own (kavlen.ini,
// TPROMOS.USB), a device root with or without a kavlen-sim emulator in it,
// the real settings file code, recorded message boxes and file choosers,
// recorded developer output, waits and quit requests, and timers that tests
// tick by hand through OnTimer.

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "gui/app/profile_settings_file.h"
#include "gui/main_dlg.h"
#include "tests/gui/qstring_print.h"
#include "tests/gui/recording_ui_services.h"
#include "tests/support/process_helpers.h"
#include "tests/support/recording_sink.h"


namespace kavlen::test {

class MainDlgRig {
 public:
  // No emulator attached.
  MainDlgRig();
  // One kavlen-sim started with these switches.
  explicit MainDlgRig(std::vector<std::string> simArgs);
  ~MainDlgRig();

  // Builds the window (its initialisation runs); the rig's fields set up to
  // then are what it sees.
  CMainDlg& Open();
  CMainDlg& dlg() { return *dlg_; }

  void WriteIni(const std::string& text);
  std::string IniText() const;
  std::string IniPath() const;
  // A device OS file of `size` bytes beside the program.
  void WriteDeviceOs(std::size_t size = 4096);
  // Lines of the simulator's log that report a break of the device discipline.
  std::vector<std::string> Violations() const;

  QString StatusText() const;
  COLORREF StatusColour() const;

  TempDir programDir;
  TempDir deviceRoot;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<DriverApi> driver;
  RecordingSink trace;
  ProfileSettingsFile settings;
  RecordingUiServices ui;

  std::vector<std::string> debugLines;
  std::vector<int> sleeps;
  std::vector<QString> statusAtSleep;  // the status line while each wait ran
  std::vector<QString> statusPainted;  // the status text of each paint of the line
  std::vector<QString> paintedAtSleep; // the last painted status text at each wait
  std::vector<QString> paintedAtDebug; // the same at each debug line
  int quitRequests = 0;
  bool refuseTimer1 = false;
  bool refuseTimer2 = false;
  std::vector<std::pair<int, int>> timersStarted;  // id, period

 private:
  std::unique_ptr<CMainDlg> dlg_;
  std::unique_ptr<QObject> paintRecorder_;
};

}  // namespace kavlen::test
