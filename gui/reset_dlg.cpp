#include "gui/reset_dlg.h"

#include <utility>

namespace kavlen {

CResetDlg::CResetDlg(DialogHost& host, std::function<void(const std::string&)> debugOutput)
    : m_host(host), m_debugOutput(std::move(debugOutput)) {}

void CResetDlg::OnInitDialog() { m_host.SetTimer(kResetCloseTimer, kResetClosePeriodMs); }

void CResetDlg::OnTimer(int id) {
  if (id != kResetCloseTimer) return;
  m_host.KillTimer(kResetCloseTimer);
  m_host.EndDialog(IDOK);
}

void CResetDlg::OnOK() {
  if (m_debugOutput) m_debugOutput(" OK Exit !!\n\r");
  m_host.KillTimer(kResetCloseTimer);
  m_host.EndDialog(IDOK);
}

void CResetDlg::OnCancel() {
  m_host.KillTimer(kResetCloseTimer);
  m_host.EndDialog(IDCANCEL);
}

}  // namespace kavlen
