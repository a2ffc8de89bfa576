#include "gui/reset_dlg.h"

#include <QTimerEvent>

#include <utility>

#include "gui/dialog_template.h"

namespace kavlen {

CResetDlg::CResetDlg(std::function<void(const std::string&)> debugOutput, QWidget* owner)
    : QDialog(owner),
      m_debugOutput(std::move(debugOutput)),
      m_controls(BuildDialog(*this, ResetDialogTemplate(), nullptr)) {
  OnInitDialog();
}

void CResetDlg::OnInitDialog() { m_qtTimer = startTimer(kResetClosePeriodMs, Qt::PreciseTimer); }

void CResetDlg::OnTimer(int id) {
  if (id != kResetCloseTimer) return;
  StopTimer();
  QDialog::done(QDialog::Accepted);
}

void CResetDlg::OnOK() {
  if (m_debugOutput) m_debugOutput(" OK Exit !!\n\r");
  StopTimer();
  QDialog::done(QDialog::Accepted);
}

void CResetDlg::accept() { OnOK(); }

void CResetDlg::done(int result) {
  StopTimer();
  QDialog::done(result);
}

void CResetDlg::timerEvent(QTimerEvent* event) {
  if (m_qtTimer != 0 && event->timerId() == m_qtTimer) {
    OnTimer(kResetCloseTimer);
    return;
  }
  QDialog::timerEvent(event);
}

void CResetDlg::StopTimer() {
  if (m_qtTimer != 0) killTimer(m_qtTimer);
  m_qtTimer = 0;
}

}  // namespace kavlen
