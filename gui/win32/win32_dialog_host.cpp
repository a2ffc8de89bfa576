#include "gui/win32/win32_dialog_host.h"

namespace kavlen::win32 {

void Win32DialogHost::SetDlgItemText(int id, const std::string& text) {
  SetItemText(m_dialog, id, text);
}

std::string Win32DialogHost::GetDlgItemText(int id) const { return GetItemText(m_dialog, id); }

void Win32DialogHost::CheckDlgButton(int id, bool checked) { CheckButton(m_dialog, id, checked); }

bool Win32DialogHost::IsDlgButtonChecked(int id) const { return IsButtonChecked(m_dialog, id); }

void Win32DialogHost::CheckRadioButton(int first, int last, int check) {
  CheckRadio(m_dialog, first, last, check);
}

void Win32DialogHost::EnableWindow(int id, bool enable) { EnableItem(m_dialog, id, enable); }

void Win32DialogHost::SetTextColor(int id, COLORREF colour) {
  SetLabelTextColor(m_dialog, id, colour);
}

LRESULT Win32DialogHost::SendDlgItemMessage(int id, unsigned message, WPARAM wParam,
                                            LPARAM lParam) {
  return SendItemMessage(m_dialog, id, message, wParam, lParam);
}

void Win32DialogHost::UpdateWindow(int id) { UpdateItem(m_dialog, id); }

bool Win32DialogHost::SetTimer(int id, unsigned periodMs) {
  return StartTimer(m_dialog, id, periodMs);
}

void Win32DialogHost::KillTimer(int id) { StopTimer(m_dialog, id); }

int Win32DialogHost::MessageBox(const std::string& text, const std::string& caption,
                                unsigned type) {
  return ShowMessageBox(m_dialog, text, caption, type);
}

std::string Win32DialogHost::GetOpenFileName(const std::string& title,
                                             const std::string& filter) {
  return ChooseOpenFile(m_dialog, title, filter);
}

bool Win32DialogHost::ShellOpen(const std::string& target) { return win32::ShellOpen(target); }

void Win32DialogHost::EndDialog(int result) { CloseDialog(m_dialog, result); }

}  // namespace kavlen::win32
