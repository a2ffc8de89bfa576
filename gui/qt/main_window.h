#pragma once
// The Qt window of kavlen's main dialog: template 102 built with the dialog
// builder, a QtDialogHost over its widgets, and CMainDlg, to which it
// forwards the clicks, the dump-address choice, the timer ticks, the paints
// and the end of the dialog. The About box and the reset confirmation are
// shown from here, owned by this window.

#include <QDialog>

#include "gui/qt/dialog_builder.h"
#include "gui/main_dlg.h"
#include "gui/qt/qt_dialog_host.h"

namespace kavlen {

class UiServices;

class QtMainWindow : public QDialog {
 public:
  // `ui` shows the message boxes, the chooser and the About box's links
  // and must outlive the window. Empty showAboutDialog/showResetDialog in
  // `services` get the real dialogs.
  QtMainWindow(MainDlgServices services, UiServices& ui, QWidget* parent = nullptr);
  ~QtMainWindow() override;

  // Exit (the default button) and Escape or the close box go to the logic,
  // which ends the dialog through its host.
  void accept() override;
  void reject() override;

  CMainDlg& Logic() { return m_logic; }
  const DialogControls& Controls() const { return m_controls; }
  QtDialogHost& Host() { return m_host; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void ConnectControls();
  MainDlgServices WithQtDialogs(MainDlgServices services);

  UiServices& m_ui;
  DialogControls m_controls;
  QtDialogHost m_host;
  CMainDlg m_logic;
};

}  // namespace kavlen
