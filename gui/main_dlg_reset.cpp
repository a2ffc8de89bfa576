// Reset Target of the main window.

#include "gui/main_dlg.h"

namespace kavlen {

void CMainDlg::OnResetTarget() {}

}  // namespace kavlen
