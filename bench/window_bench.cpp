// Measures kavlen's main window against ukavlen, side by side in one run
// against one simulator with a 4 MB capacity:
//   - the window (offscreen, its real widgets): from the click on Download
//     until the verify result is painted on the status line; the target
//     reset after it and its self-closing dialog are not counted;
//   - `ukavlen -d <image> -v` from start to exit;
// for a 4 MB image (4096 KBytes selected) and a 64 KB one (64 KBytes), with
// the ratio window / console and the paints of the progress bar and the
// status line per download. Each time is the median of the repetitions
// (default 7, at least 5). Run: <build>/bin/window_bench [repetitions]
// (offscreen unless QT_QPA_PLATFORM names another platform, e.g. xcb).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "median.h"

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/main_dlg.h"
#include "gui/qt/main_window.h"
#include "gui/resource_ids.h"
#include "gui/settings_file.h"
#include "gui/qt/ui_services.h"
#include "platform/sim_driver.h"
#include "tests/support/process_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

class NullSink : public kavlen::TraceSink {
 public:
  void Print(std::string_view) override {}
};

// Settings as a missing file gives them: verify on.
class NoSettings : public kavlen::SettingsFile {
 public:
  std::string PathFor(const std::string& programDir) override { return programDir + "/kavlen.ini"; }
  std::uint32_t GetInt(const std::string&, const std::string&, std::int32_t value,
                       const std::string&) override {
    return static_cast<std::uint32_t>(value);
  }
  std::string GetString(const std::string&, const std::string&, const std::string& value,
                        std::uint32_t, const std::string&) override {
    return value;
  }
  bool WriteString(const std::string&, const std::string&, const std::string&,
                   const std::string&) override {
    return true;
  }
};

// Every box is answered at once; a box during a download is a failure.
class CountingUi : public kavlen::UiServices {
 public:
  int MessageBox(QWidget*, const QString& text, const QString&, unsigned) override {
    std::fprintf(stderr, "window_bench: message box: %s\n", text.toLocal8Bit().constData());
    ++boxes;
    return kavlen::IDOK;
  }
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  bool OpenUrl(const QString&) override { return true; }
  int boxes = 0;
};

// Counts the paints of one widget; notes when the status line first paints
// the verify result.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget& widget, const QString& until = {}) : until_(until) {
    widget.installEventFilter(this);
  }
  void Reset() {
    paints = 0;
    seen = false;
  }
  int paints = 0;
  bool seen = false;
  Clock::time_point seenAt;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    ++paints;
    if (!seen && !until_.isEmpty() && static_cast<QLabel*>(watched)->text() == until_) {
      seen = true;
      seenAt = Clock::now();
    }
    return false;
  }

 private:
  QString until_;
};

// ukavlen's exit status, or -1. Spawned without copying this process
// (posix_spawn), so that only ukavlen's own run is measured; its output
// goes to /dev/null.
int RunUkavlen(const std::string& image) {
  std::string name = "ukavlen", d = "-d", path = image, v = "-v";
  char* argv[] = {name.data(), d.data(), path.data(), v.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, KAVLEN_UKAVLEN_PATH, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Scenario {
  const char* name;
  std::size_t bytes;
  int radio;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int reps = std::max(5, argc > 1 ? std::atoi(argv[1]) : 7);

  kavlen::test::TempDir work;
  kavlen::test::SimProcess sim(work.path(), {"--state", "os", "--capacity-mask", "0x3F"});
  if (!sim.ready()) {
    std::fprintf(stderr, "window_bench: the simulator did not start: %s\n", sim.output().c_str());
    return 1;
  }
  const Scenario scenarios[] = {{"4 MB", 4u << 20, kavlen::IDC_ROM_4096K},
                                {"64 KB", 64u << 10, kavlen::IDC_ROM_64K}};
  std::map<std::string, std::string> images;
  for (const Scenario& s : scenarios) {
    std::vector<std::uint8_t> bytes(s.bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 14));
    images[s.name] = work.Write(std::string("image-") + (s.bytes > 65536 ? "4m" : "64k") + ".bin", bytes);
  }

  setenv("KAVLEN_DEVICE_DIR", work.path().c_str(), 1);
  const auto driver = kavlen::MakeSimDriver(work.path());
  NullSink sink;
  NoSettings settings;
  CountingUi ui;
  kavlen::MainDlgServices services(*driver, sink, settings, work.path());
  services.showResetDialog = [] {};
  kavlen::QtMainWindow dlg(std::move(services), ui);
  // No ticks mid-measurement.
  dlg.Host().KillTimer(kavlen::kFatalBlinkTimer);
  dlg.Host().KillTimer(kavlen::kStatusHoldTimer);
  dlg.show();
  if (!QTest::qWaitForWindowExposed(&dlg)) return 1;
  QCoreApplication::processEvents();  // the first-paint device check
  QCoreApplication::processEvents();
  if (ui.boxes != 0 || !dlg.Logic().m_bVerify) {
    std::fprintf(stderr, "window_bench: the window did not come up ready with verify on\n");
    return 1;
  }
  PaintWatch bar(*dlg.Controls().Item(kavlen::IDC_PROGRESS));
  PaintWatch status(*dlg.Controls().Item(kavlen::IDC_STATUS), QStringLiteral("Download And Verify OK !!"));
  auto* download = dlg.Controls().ItemAs<QAbstractButton>(kavlen::IDC_DOWNLOAD);

  std::printf("medians over %d repetitions, window on the %s platform, verify on\n", reps,
              QGuiApplication::platformName().toLocal8Bit().constData());
  double ratio4m = 0;
  for (const Scenario& s : scenarios) {
    dlg.Controls().ItemAs<QAbstractButton>(s.radio)->click();
    dlg.Host().SetDlgItemText(kavlen::IDC_IMAGE_PATH, images[s.name]);
    std::vector<double> window, console;
    std::vector<double> barPaints, statusPaints;
    for (int r = 0; r < reps; ++r) {
      bar.Reset();
      status.Reset();
      const auto start = Clock::now();
      download->click();
      if (!status.seen || ui.boxes != 0) {
        std::fprintf(stderr, "window_bench: %s: no verify result shown\n", s.name);
        return 1;
      }
      window.push_back(std::chrono::duration<double>(status.seenAt - start).count());
      barPaints.push_back(bar.paints);
      statusPaints.push_back(status.paints);
      QCoreApplication::processEvents();

      const auto consoleStart = Clock::now();
      const int exitStatus = RunUkavlen(images[s.name]);
      console.push_back(std::chrono::duration<double>(Clock::now() - consoleStart).count());
      if (exitStatus != 0) {
        std::fprintf(stderr, "window_bench: ukavlen exited with %d\n", exitStatus);
        return 1;
      }
    }
    const double w = Median(window), c = Median(console);
    std::printf("%-6s window, click to verify result shown: %8.2f ms\n", s.name, w * 1e3);
    std::printf("%-6s ukavlen -d <image> -v, start to exit:  %8.2f ms\n", s.name, c * 1e3);
    std::printf("%-6s ratio window / console:               %8.2f\n", s.name, w / c);
    std::printf("%-6s paints per download: progress bar %.0f, status line %.0f\n", s.name,
                Median(barPaints), Median(statusPaints));
    if (s.bytes > 65536) ratio4m = w / c;
  }
  std::printf("4 MB ratio %.2f (target <= 1.2)\n", ratio4m);
  dlg.hide();
  return 0;
}
