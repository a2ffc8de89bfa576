#include "tests/gui/main_dlg_rig.h"

#include <fstream>
#include <sstream>

#include "gui/controls/color_label.h"
#include "platform/sim_driver.h"
#include "platform/system.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {

MainDlgRig::MainDlgRig() : driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::MainDlgRig(std::vector<std::string> simArgs)
    : sim(std::make_unique<SimProcess>(deviceRoot.path(), std::move(simArgs))),
      driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::~MainDlgRig() { dlg_.reset(); }

CMainDlg& MainDlgRig::Open() {
  MainDlgServices services(*driver, trace, settings, ui, programDir.path());
  services.joinPath = [](const std::string& dir, const std::string& name) {
    return JoinPath(dir, name);
  };
  services.debugOutput = [this](const std::string& text) { debugLines.push_back(text); };
  services.sleep = [this](int ms) {
    sleeps.push_back(ms);
    statusAtSleep.push_back(StatusText());
  };
  services.postQuit = [this] { ++quitRequests; };
  services.startTimer = [this](int id, int period) {
    if ((id == 1 && refuseTimer1) || (id == 2 && refuseTimer2)) return false;
    timersStarted.emplace_back(id, period);
    return true;
  };
  dlg_ = std::make_unique<CMainDlg>(std::move(services));
  return *dlg_;
}

std::string MainDlgRig::IniPath() const { return JoinPath(programDir.path(), "kavlen.ini"); }

void MainDlgRig::WriteIni(const std::string& text) {
  programDir.Write("kavlen.ini", std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string MainDlgRig::IniText() const {
  const auto bytes = ReadFileBytes(IniPath());
  return std::string(bytes.begin(), bytes.end());
}

void MainDlgRig::WriteDeviceOs(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  programDir.Write("TPROMOS.USB", bytes);
}

std::vector<std::string> MainDlgRig::Violations() const {
  if (!sim) return {};
  return DisciplineViolations(sim->LogLines());
}

QString MainDlgRig::StatusText() const { return dlg_->m_status->text(); }

COLORREF MainDlgRig::StatusColour() const { return dlg_->m_status->TextColor(); }

}  // namespace kavlen::test
