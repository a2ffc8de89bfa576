#pragma once
// The DialogHost of a dialog built with the Qt dialog builder: each call
// reaches the widget of the template id; the dialog's Win32 timer ids run
// on QObject timers whose ticks go to onTimer.

#include <QObject>

#include <functional>
#include <map>

#include "gui/dialog_host.h"

class QDialog;
class QTimerEvent;

namespace kavlen {

class DialogControls;
class UiServices;

class QtDialogHost : public QObject, public DialogHost {
 public:
  // `ui` shows message boxes, the chooser and shell targets (may be null
  // for a dialog that uses none); `title` captions nothing by itself.
  QtDialogHost(QDialog& dialog, DialogControls& controls, UiServices* ui);
  ~QtDialogHost() override;

  // Receives the Win32 id of each timer tick.
  std::function<void(int id)> onTimer;
  bool TimerRunning(int id) const { return m_timers.count(id) != 0; }

  void SetDlgItemText(int id, const std::string& text) override;
  std::string GetDlgItemText(int id) const override;
  void CheckDlgButton(int id, bool checked) override;
  bool IsDlgButtonChecked(int id) const override;
  void CheckRadioButton(int first, int last, int check) override;
  void EnableWindow(int id, bool enable) override;
  void SetTextColor(int id, COLORREF colour) override;
  LRESULT SendDlgItemMessage(int id, unsigned message, WPARAM wParam, LPARAM lParam) override;
  void UpdateWindow(int id) override;
  bool SetTimer(int id, unsigned periodMs) override;
  void KillTimer(int id) override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  std::string GetOpenFileName(const std::string& title, const std::string& filter) override;
  bool ShellOpen(const std::string& target) override;
  void EndDialog(int result) override;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  QDialog& m_dialog;
  DialogControls& m_controls;
  UiServices* m_ui;
  std::map<int, int> m_timers;  // Win32 id -> Qt timer id
};

}  // namespace kavlen
