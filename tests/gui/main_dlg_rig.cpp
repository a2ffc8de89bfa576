#include "tests/gui/main_dlg_rig.h"

#include "platform/sim_driver.h"
#include "platform/system.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {

MainDlgRig::MainDlgRig() : driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::MainDlgRig(std::vector<std::string> simArgs)
    : sim(std::make_unique<SimProcess>(deviceRoot.path(), std::move(simArgs))),
      driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::~MainDlgRig() { window.reset(); }

MainDlgServices MainDlgRig::Services() {
  return MainDlgServices(*driver, trace, settings, programDir.path());
}

CMainDlg& MainDlgRig::Open() { return Start(Services()); }

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

}  // namespace kavlen::test
