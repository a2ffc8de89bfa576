// Download, read-back verify and the verify check box of the main window.

#include "gui/main_dlg.h"

namespace kavlen {

void CMainDlg::OnDownload() {}

void CMainDlg::OnReadBuffer() {}

void CMainDlg::OnVerifyCheck() {}

}  // namespace kavlen
