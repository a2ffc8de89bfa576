#pragma once
// A main window wired to fakes for the action tests: any driver (usually a
// FakeEmulator's), settings in memory, recorded message boxes, debugger
// lines, waits and quit requests, and a counted reset confirmation instead
// of the real one.

#include <QString>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/qt/controls/color_label.h"
#include "gui/main_dlg.h"
#include "gui/settings_file.h"
#include "tests/gui/fake_emulator.h"
#include "tests/gui/qstring_print.h"
#include "tests/gui/recording_ui_services.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {

// Reads answer their defaults; writes are kept by "section/key".
class MemorySettings : public SettingsFile {
 public:
  std::string PathFor(const std::string& programDir) override { return programDir + "/kavlen.ini"; }
  std::uint32_t GetInt(const std::string&, const std::string&, std::int32_t defaultValue,
                       const std::string&) override {
    return static_cast<std::uint32_t>(defaultValue);
  }
  std::string GetString(const std::string&, const std::string&, const std::string& defaultValue,
                        std::uint32_t, const std::string&) override {
    return defaultValue;
  }
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string&) override {
    written[section + "/" + key] = value;
    return true;
  }
  std::map<std::string, std::string> written;
};

// The debugger lines of a reset poll whose counter ran from `first` down to
// `last`.
inline std::vector<std::string> TimeoutCountLines(int first, int last) {
  std::vector<std::string> lines;
  for (int count = first; count >= last; --count) {
    lines.push_back("TimeOutCnt = " + std::to_string(count) + "\n\r ");
  }
  return lines;
}

// The window and everything it was handed.
struct WindowRig {
  // `title` empty: the window's own caption for message boxes.
  explicit WindowRig(DriverApi& driver, const std::string& programDir = "/opt/kavlen",
                     const QString& title = QStringLiteral("USB Kavlen")) {
    MainDlgServices services(driver, sink, settings, ui, programDir);
    if (!title.isEmpty()) services.title = title;
    services.debugOutput = [this](const std::string& text) { debugLines.push_back(text); };
    services.sleep = [this](int milliseconds) {
      sleeps.push_back(milliseconds);
      statusAtSleep.push_back(window->m_status->text());
      colourAtSleep.push_back(window->m_status->TextColor());
    };
    services.postQuit = [this] { ++quitRequests; };
    services.startTimer = [](int, int) { return true; };
    // One try: a test that holds the emulator itself must not wait 30 s.
    services.lockWait = std::chrono::milliseconds(0);
    services.showResetDialog = [this](QWidget* owner) {
      ++resetDialogs;
      resetDialogOwner = owner;
    };
    window = std::make_unique<CMainDlg>(std::move(services));
  }

  RecordingSink sink;
  MemorySettings settings;
  RecordingUiServices ui;
  std::vector<std::string> debugLines;
  std::vector<int> sleeps;
  std::vector<QString> statusAtSleep;  // the status line while each wait runs
  std::vector<COLORREF> colourAtSleep;
  int quitRequests = 0;
  int resetDialogs = 0;
  QWidget* resetDialogOwner = nullptr;
  std::unique_ptr<CMainDlg> window;
};

}  // namespace kavlen::test
