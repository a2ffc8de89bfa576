#pragma once
// "Reset Now !!!": the confirmation shown after a target reset. It closes
// itself 1200 ms after it opens; OK or Enter closes it at once.

#include <QDialog>
#include <QTimerEvent>

#include <functional>
#include <string>
#include <utility>

#include "gui/dialog_builder.h"
#include "gui/dialog_template.h"

namespace kavlen {

inline constexpr int kResetCloseTimer = 1;
inline constexpr int kResetClosePeriodMs = 1200;

class CResetDlg : public QDialog {
 public:
  // `debugOutput` receives the developer line written on OK (may be empty).
  explicit CResetDlg(std::function<void(const std::string&)> debugOutput, QWidget* owner = nullptr)
      : QDialog(owner),
        m_debugOutput(std::move(debugOutput)),
        m_controls(BuildDialog(*this, ResetDialogTemplate(), nullptr)) {
    OnInitDialog();
  }

  void OnInitDialog() { m_qtTimer = startTimer(kResetClosePeriodMs, Qt::PreciseTimer); }

  // Timer kResetCloseTimer closes the dialog with the OK result; other ids are ignored.
  void OnTimer(int id) {
    if (id != kResetCloseTimer) return;
    StopTimer();
    QDialog::done(QDialog::Accepted);
  }

  void OnOK() {
    if (m_debugOutput) m_debugOutput(" OK Exit !!\n\r");
    StopTimer();
    QDialog::done(QDialog::Accepted);
  }
  void accept() override { OnOK(); }

  // Escape stops the timer too, so no tick reaches a dialog that has closed.
  void done(int result) override {
    StopTimer();
    QDialog::done(result);
  }

  const DialogControls& Controls() const { return m_controls; }
  bool TimerRunning() const { return m_qtTimer != 0; }

 protected:
  void timerEvent(QTimerEvent* event) override {
    if (m_qtTimer != 0 && event->timerId() == m_qtTimer) {
      OnTimer(kResetCloseTimer);
      return;
    }
    QDialog::timerEvent(event);
  }

 private:
  void StopTimer() {
    if (m_qtTimer != 0) killTimer(m_qtTimer);
    m_qtTimer = 0;
  }

  std::function<void(const std::string&)> m_debugOutput;
  DialogControls m_controls;
  int m_qtTimer = 0;
};

}  // namespace kavlen
