#pragma once
// "Reset Now !!!": the confirmation shown after a target reset. It closes
// itself 1200 ms after it opens; OK or Enter closes it at once.

#include <QDialog>

#include <functional>
#include <string>

#include "gui/dialog_builder.h"

class QTimerEvent;

namespace kavlen {

inline constexpr int kResetCloseTimer = 1;
inline constexpr int kResetClosePeriodMs = 1200;

class CResetDlg : public QDialog {
 public:
  // `debugOutput` receives the developer line written on OK (may be empty).
  explicit CResetDlg(std::function<void(const std::string&)> debugOutput, QWidget* owner = nullptr);

  void OnInitDialog();
  // Timer kResetCloseTimer closes the dialog with the OK result; other ids are ignored.
  void OnTimer(int id);
  void OnOK();
  void accept() override;
  // Escape stops the timer too, so no tick reaches a dialog that has closed.
  void done(int result) override;

  const DialogControls& Controls() const { return m_controls; }
  bool TimerRunning() const { return m_qtTimer != 0; }

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void StopTimer();

  std::function<void(const std::string&)> m_debugOutput;
  DialogControls m_controls;
  int m_qtTimer = 0;
};

}  // namespace kavlen
