// The real Qt host: QtMainWindow and QtResetDialog built from their
// templates on the offscreen platform, their widgets clicked, painted and
// closed. The logic's own behaviour is tested against the model host
// (gui_logic_test); here only what the Qt wiring adds is looked at.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/qt/main_window.h"
#include "gui/qt/reset_dialog.h"
#include "gui/qt/ui_services.h"
#include "gui/resource_ids.h"
#include "platform/sim_driver.h"
#include "tests/gui/emulator_rig.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/main_dlg_rig.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

// Records what a widget showed at each of its paints: what the user saw,
// not what was merely stored.
class PaintedRecorder : public QObject {
 public:
  PaintedRecorder(QWidget& widget, std::function<std::string()> shown)
      : shown_(std::move(shown)) {
    widget.installEventFilter(this);
  }
  std::vector<std::string> painted;
  std::string Last() const { return painted.empty() ? std::string() : painted.back(); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted.push_back(shown_());
    return false;
  }

 private:
  std::function<std::string()> shown_;
};

std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

// Message boxes answered at once and counted.
class CountingUi : public UiServices {
 public:
  int MessageBox(QWidget*, const QString& text, const QString&, unsigned) override {
    boxes.push_back(Bytes(text));
    return IDOK;
  }
  QString GetOpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  bool OpenUrl(const QString&) override { return true; }
  std::vector<std::string> boxes;
};

// The window of a MainDlgRig's program folder and device, hosted by Qt.
struct QtWindow {
  explicit QtWindow(MainDlgRig& rig, bool realResetDialog = false) {
    MainDlgServices services = rig.Services();
    services.lockWait = std::chrono::milliseconds(0);
    services.sleep = [this](int) { paintedAtSleep.push_back(status->Last()); };
    services.debugOutput = [this](const std::string& text) {
      debugLines.push_back(text);
      paintedAtDebug.push_back(status->Last());
    };
    if (!realResetDialog) services.showResetDialog = [this] { ++resetDialogs; };
    window = std::make_unique<QtMainWindow>(std::move(services), ui);
    auto* label = window->Controls().ItemAs<CColorLabel>(IDC_STATUS);
    status = std::make_unique<PaintedRecorder>(*label, [label] { return Bytes(label->text()); });
    auto* bar = window->Controls().ItemAs<CPercentBar>(IDC_PROGRESS);
    barPaints = std::make_unique<PaintedRecorder>(*bar, [bar] { return Bytes(bar->GetWindowText()); });
  }
  ~QtWindow() {
    status.reset();
    barPaints.reset();
  }
  template <class T>
  T& Item(int id) { return *window->Controls().ItemAs<T>(id); }
  std::string Status() { return Bytes(Item<QLabel>(IDC_STATUS).text()); }

  CountingUi ui;
  std::vector<std::string> paintedAtSleep, paintedAtDebug, debugLines;
  int resetDialogs = 0;
  std::unique_ptr<QtMainWindow> window;
  std::unique_ptr<PaintedRecorder> status, barPaints;
};

// Shown, the window runs the start-up check once, after it has been drawn,
// and each status text is on the real label before the step that follows.
// KAVLEN_GRAB_DIR names a folder for a screenshot.
TEST(QtMainWindow, StartUpPaintsEachTextBeforeItsStep) {
  MainDlgRig rig({"--state", "boot", "--capacity-mask", "0x3F"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteDeviceOs();
  QtWindow qt(rig);
  QtMainWindow& window = *qt.window;
  EXPECT_EQ(window.windowTitle(), "USB Kavlen");
  EXPECT_EQ(qt.Status(), "System Ready...");
  for (int id : {IDC_UPDATE_OS, IDC_LOAD_TO_BUFFER, IDC_USER_CMD, IDC_RECONNECT, IDC_READ_BUFFER,
                 IDC_WRITE_BUFFER, IDC_DUMP_ADDRESS}) {
    EXPECT_FALSE(window.Controls().Item(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(window.Host().TimerRunning(kFatalBlinkTimer));
  EXPECT_TRUE(window.Host().TimerRunning(kStatusHoldTimer));

  ShowAndWait(window);
  QCoreApplication::processEvents();
  EXPECT_FALSE(window.Logic().m_bFirstPaint);
  EXPECT_EQ(qt.Status(), "Load Device OS Ready...");
  EXPECT_EQ(qt.paintedAtSleep, std::vector<std::string>{"Connected And Boot Code Already !!"});
  ASSERT_EQ(qt.debugLines.size(), 2u);  // the device OS path, written before the load
  EXPECT_EQ(qt.paintedAtDebug[1], "Load Device OS...");
  EXPECT_EQ(qt.status->Last(), "Load Device OS Ready...");
  window.repaint();
  QCoreApplication::processEvents();
  EXPECT_EQ(qt.paintedAtSleep.size(), 1u);
  if (const QByteArray dir = qgetenv("KAVLEN_GRAB_DIR"); !dir.isEmpty()) {
    window.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/kavlen-boot.png"));
  }
  window.reject();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window.Host().TimerRunning(kFatalBlinkTimer));
  EXPECT_TRUE(qt.ui.boxes.empty());
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

// A click on the real Download button: the bar shows each block's caption
// on the widget, and the status label paints the verify result.
TEST(QtMainWindow, DownloadWithVerifyAgainstTheSimulator) {
  MainDlgRig rig({"--state", "os"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=64\n");
  const std::string image = rig.programDir.Write("image.bin", PatternBytes(65536));
  QtWindow qt(rig);
  QtMainWindow& window = *qt.window;
  ShowAndWait(window);
  QCoreApplication::processEvents();
  ASSERT_TRUE(window.Logic().m_bVerify);
  window.Logic().m_bProgressText = true;
  window.Logic().m_bProgressPercent = true;
  window.Host().SetDlgItemText(IDC_IMAGE_PATH, image);
  qt.barPaints->painted.clear();

  qt.Item<QAbstractButton>(IDC_DOWNLOAD).click();

  EXPECT_EQ(qt.Status(), "Download And Verify OK !!");
  EXPECT_EQ(qt.status->Last(), "Download And Verify OK !!");
  const std::vector<std::string>& bar = qt.barPaints->painted;
  for (const char* caption : {"Download Processing completed 50%", "Upload and Verify Processing completed 50%"}) {
    EXPECT_NE(std::find(bar.begin(), bar.end(), caption), bar.end()) << caption;
  }
  EXPECT_EQ(qt.Item<CPercentBar>(IDC_PROGRESS).GetPos(), 0);
  EXPECT_EQ(qt.resetDialogs, 1);
  EXPECT_TRUE(qt.ui.boxes.empty());
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

// Exit reads the controls, Escape does not; either way the settings are
// saved once the dialog has ended.
TEST(QtMainWindow, ExitAndEscapeEndTheDialogAndSaveTheSettings) {
  for (const bool viaExit : {true, false}) {
    SCOPED_TRACE(viaExit ? "Exit" : "Escape");
    MainDlgRig rig({"--state", "os"});
    ASSERT_TRUE(rig.sim->ready());
    QtWindow qt(rig);
    QtMainWindow& window = *qt.window;
    ShowAndWait(window);
    QCoreApplication::processEvents();  // the first paint's check: verify on, 512 KBytes
    qt.Item<QAbstractButton>(IDC_VERIFY).setChecked(false);
    if (viaExit) {
      qt.Item<QPushButton>(IDOK).click();
    } else {
      QTest::keyClick(&window, Qt::Key_Escape);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), viaExit ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(rig.IniText(), std::string("[VENDOR_COMMAND]\nTargetReset=1\nVerifyCheck=") +
                                 (viaExit ? "0" : "1") +
                                 "\nROMSize=512\n[DownLoadPath]\nPATH=DownLoad Firmware Path\n");
  }
}

// A status text is fitted to the line as captions are: a long one gets a
// smaller size of the dialog's face, a short one the dialog's own size.
TEST(QtMainWindow, StatusTextsFitTheLine) {
  MainDlgRig rig;
  QtWindow qt(rig);
  auto& label = qt.Item<CColorLabel>(IDC_STATUS);
  for (const char* text : {"Fatal Error or Device is not Connected !!", "Ready..."}) {
    qt.window->Logic().SetStatus(text, RGB(127, 0, 0));
    const QFontMetricsF metrics(label.font());
    EXPECT_LT(metrics.horizontalAdvance(label.text()), label.contentsRect().width()) << text;
  }
  EXPECT_EQ(label.font(), qt.window->font());
}

// The reset confirmation the window shows by default is the real one,
// which closes itself.
TEST(QtMainWindow, RealResetConfirmationClosesByItself) {
  MainDlgRig rig({"--state", "os", "--reset-after", "1"});
  ASSERT_TRUE(rig.sim->ready());
  QtWindow qt(rig, true);
  QElapsedTimer clock;
  clock.start();
  qt.window->Logic().OnResetTarget();
  EXPECT_GE(clock.elapsed(), 1150);
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_TRUE(qt.ui.boxes.empty());
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(ResetDialogTest, ClosesWithOkAfter1200Ms) {
  std::vector<std::string> lines;
  QtResetDialog dialog([&lines](const std::string& text) { lines.push_back(text); });
  EXPECT_EQ(dialog.windowTitle(), "Reset Now !!!");
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_GE(clock.elapsed(), 1150);
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_TRUE(lines.empty());
  EXPECT_FALSE(dialog.TimerRunning());
}

// Through the real host: a tick of the dialog's own timer closes it.
TEST(ResetDialogTest, ItsTimerClosesItThroughTheQtHost) {
  std::vector<std::string> lines;
  QtResetDialog dialog([&lines](const std::string& text) { lines.push_back(text); });
  dialog.show();
  dialog.Logic().OnTimer(kResetCloseTimer);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.TimerRunning());
  EXPECT_TRUE(lines.empty());
}

TEST(ResetDialogTest, KeysAndButton) {
  struct KeyCase {
    const char* name;
    std::function<void(QtResetDialog&)> press;
    int result;
    std::vector<std::string> lines;
  } cases[] = {
      {"OK button", [](QtResetDialog& d) { d.Controls().ItemAs<QPushButton>(IDOK)->click(); }, QDialog::Accepted,
       {" OK Exit !!\n\r"}},
      {"Enter", [](QtResetDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted, {" OK Exit !!\n\r"}},
      {"Escape", [](QtResetDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected, {}},
  };
  for (const KeyCase& c : cases) {
    std::vector<std::string> lines;
    QtResetDialog dialog([&lines](const std::string& text) { lines.push_back(text); });
    QTimer::singleShot(0, &dialog, [&] { c.press(dialog); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.exec(), c.result) << c.name;
    EXPECT_LT(clock.elapsed(), 1000) << c.name << ": waited for the timer";
    EXPECT_EQ(lines, c.lines) << c.name;
    EXPECT_FALSE(dialog.TimerRunning()) << c.name;
  }
}


}  // namespace
}  // namespace kavlen::test
