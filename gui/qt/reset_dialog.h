#pragma once
// The Qt window of the reset confirmation: template 131 built with the
// dialog builder, its buttons, keys and timer handed to CResetDlg.

#include <QDialog>

#include <functional>
#include <string>

#include "gui/qt/dialog_builder.h"
#include "gui/qt/qt_dialog_host.h"
#include "gui/reset_dlg.h"

namespace kavlen {

class QtResetDialog : public QDialog {
 public:
  explicit QtResetDialog(std::function<void(const std::string&)> debugOutput,
                         QWidget* owner = nullptr);

  void accept() override { m_logic.OnOK(); }
  void reject() override { m_logic.OnCancel(); }

  const DialogControls& Controls() const { return m_controls; }
  bool TimerRunning() const { return m_host.TimerRunning(kResetCloseTimer); }
  CResetDlg& Logic() { return m_logic; }

 private:
  DialogControls m_controls;
  QtDialogHost m_host;
  CResetDlg m_logic;
};

}  // namespace kavlen
