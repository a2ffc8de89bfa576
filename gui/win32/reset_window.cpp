#include "gui/win32/reset_window.h"

#include <utility>

#include "gui/reset_dlg.h"
#include "gui/resource_ids.h"
#include "gui/win32/dialog_logic.h"
#include "gui/win32/win32_dialog_host.h"

namespace kavlen::win32 {

namespace {

class ResetWindow final : public DialogLogic {
 public:
  explicit ResetWindow(std::function<void(const std::string&)> debugOutput)
      : m_logic(m_host, std::move(debugOutput)) {}

  void OnInitDialog(DialogHandle dialog) override {
    m_host.Attach(dialog);
    m_logic.OnInitDialog();
  }
  void OnTimer(int id) override { m_logic.OnTimer(id); }
  bool OnCommand(int id) override {
    if (id == IDOK) {
      m_logic.OnOK();
      return true;
    }
    if (id == IDCANCEL) {
      m_logic.OnCancel();
      return true;
    }
    return false;
  }

 private:
  Win32DialogHost m_host;
  CResetDlg m_logic;
};

}  // namespace

int ShowResetDialog(DialogHandle owner, std::function<void(const std::string&)> debugOutput) {
  ResetWindow window(std::move(debugOutput));
  return static_cast<int>(RunModalDialog(owner, IDD_RESET, window));
}

}  // namespace kavlen::win32
