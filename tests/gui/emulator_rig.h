#pragma once
// A main window wired to fakes for the action tests: any driver (usually a
// FakeEmulator's), settings in memory, and the model host of LogicRig with
// its recorded message boxes, debugger lines, waits, quit requests and
// counted reset confirmations.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_dlg.h"
#include "gui/settings_file.h"
#include "tests/gui/fake_emulator.h"
#include "tests/gui/logic_rig.h"
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
struct WindowRig : LogicRig {
  // `title` empty: the window's own caption for message boxes.
  explicit WindowRig(DriverApi& driver, const std::string& programDir = "/opt/kavlen",
                     const std::string& title = "USB Kavlen") {
    MainDlgServices services(driver, sink, settings, programDir);
    if (!title.empty()) services.title = title;
    // One try: a test that holds the emulator itself must not wait 30 s.
    services.lockWait = std::chrono::milliseconds(0);
    Start(std::move(services));
  }

  RecordingSink sink;
  MemorySettings settings;
};

}  // namespace kavlen::test
