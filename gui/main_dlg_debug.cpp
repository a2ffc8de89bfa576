// The debug panel of the main window: USER CMD, Write Buffer and the dump
// address list.

#include "gui/main_dlg.h"

namespace kavlen {

void CMainDlg::OnUserCmd() {}

void CMainDlg::OnWriteBuffer() {}

void CMainDlg::OnAddressSelChange() {}

}  // namespace kavlen
