#pragma once
// The DialogHost of a Win32 dialog: each call is the Win32 function of the
// same name on the dialog's window. It sees no <windows.h> (whose macros
// would rename its members); the calls go through dialog_calls.h.

#include "gui/dialog_host.h"
#include "gui/win32/dialog_calls.h"

namespace kavlen::win32 {

class Win32DialogHost final : public DialogHost {
 public:
  Win32DialogHost() = default;
  explicit Win32DialogHost(DialogHandle dialog) : m_dialog(dialog) {}

  // The dialog's window, known from WM_INITDIALOG on.
  void Attach(DialogHandle dialog) { m_dialog = dialog; }
  DialogHandle Dialog() const { return m_dialog; }

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

 private:
  DialogHandle m_dialog = nullptr;
};

}  // namespace kavlen::win32
