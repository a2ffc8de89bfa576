#include "tests/gui/main_dlg_rig.h"

#include <QEvent>

#include <fstream>
#include <sstream>

#include "gui/qt/controls/color_label.h"
#include "platform/sim_driver.h"
#include "platform/system.h"
#include "tests/support/sim_log.h"

namespace kavlen::test {

namespace {

// Records the text a label shows at each of its paints: what the user saw,
// not what was merely stored.
class PaintedTextRecorder : public QObject {
 public:
  PaintedTextRecorder(QLabel& label, std::vector<QString>& painted)
      : label_(label), painted_(painted) {
    label.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted_.push_back(label_.text());
    return false;
  }

 private:
  QLabel& label_;
  std::vector<QString>& painted_;
};

}  // namespace

MainDlgRig::MainDlgRig() : driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::MainDlgRig(std::vector<std::string> simArgs)
    : sim(std::make_unique<SimProcess>(deviceRoot.path(), std::move(simArgs))),
      driver(MakeSimDriver(deviceRoot.path())) {}

MainDlgRig::~MainDlgRig() {
  paintRecorder_.reset();
  dlg_.reset();
}

CMainDlg& MainDlgRig::Open() {
  MainDlgServices services(*driver, trace, settings, ui, programDir.path());
  services.debugOutput = [this](const std::string& text) {
    debugLines.push_back(text);
    paintedAtDebug.push_back(statusPainted.empty() ? QString() : statusPainted.back());
  };
  services.sleep = [this](int ms) {
    sleeps.push_back(ms);
    statusAtSleep.push_back(StatusText());
    paintedAtSleep.push_back(statusPainted.empty() ? QString() : statusPainted.back());
  };
  services.postQuit = [this] { ++quitRequests; };
  services.startTimer = [this](int id, int period) {
    if ((id == 1 && refuseTimer1) || (id == 2 && refuseTimer2)) return false;
    timersStarted.emplace_back(id, period);
    return true;
  };
  dlg_ = std::make_unique<CMainDlg>(std::move(services));
  paintRecorder_ = std::make_unique<PaintedTextRecorder>(*dlg_->m_status, statusPainted);
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
