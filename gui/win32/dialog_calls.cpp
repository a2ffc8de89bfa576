#include "gui/win32/dialog_calls.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <vector>

#include "gui/win32/color_label.h"

namespace kavlen::win32 {

namespace {
HWND Window(DialogHandle dialog) { return static_cast<HWND>(dialog); }
}  // namespace

void SetItemText(DialogHandle dialog, int id, const std::string& text) {
  SetDlgItemTextA(Window(dialog), id, text.c_str());
}

std::string GetItemText(DialogHandle dialog, int id) {
  HWND item = GetDlgItem(Window(dialog), id);
  std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  const int length = GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

void CheckButton(DialogHandle dialog, int id, bool checked) {
  CheckDlgButton(Window(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsButtonChecked(DialogHandle dialog, int id) {
  return IsDlgButtonChecked(Window(dialog), id) == BST_CHECKED;
}

void CheckRadio(DialogHandle dialog, int first, int last, int id) {
  CheckRadioButton(Window(dialog), first, last, id);
}

void EnableItem(DialogHandle dialog, int id, bool enable) {
  EnableWindow(GetDlgItem(Window(dialog), id), enable);
}

std::intptr_t SendItemMessage(DialogHandle dialog, int id, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  return SendDlgItemMessageA(Window(dialog), id, message, wParam, lParam);
}

void UpdateItem(DialogHandle dialog, int id) { UpdateWindow(GetDlgItem(Window(dialog), id)); }

void SetLabelTextColor(DialogHandle dialog, int id, std::uint32_t colour) {
  if (CColorLabel* label = CColorLabel::FromWindow(GetDlgItem(Window(dialog), id)))
    label->SetTextColor(colour);
}

bool StartTimer(DialogHandle dialog, int id, unsigned periodMs) {
  return SetTimer(Window(dialog), static_cast<UINT_PTR>(id), periodMs, nullptr) != 0;
}

void StopTimer(DialogHandle dialog, int id) { KillTimer(Window(dialog), static_cast<UINT_PTR>(id)); }

int ShowMessageBox(DialogHandle dialog, const std::string& text, const std::string& caption,
                   unsigned type) {
  return MessageBoxA(Window(dialog), text.c_str(), caption.c_str(), type);
}

std::string ChooseOpenFile(DialogHandle dialog, const std::string& title,
                           const std::string& filter) {
  const std::string filters = ChooserFilter(filter);
  char path[MAX_PATH] = "";
  OPENFILENAMEA chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = Window(dialog);
  chooser.lpstrFilter = filters.c_str();
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = path;
  chooser.nMaxFile = sizeof path;
  chooser.lpstrTitle = title.empty() ? nullptr : title.c_str();
  // 0x220006, as the window has always asked for
  chooser.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NONETWORKBUTTON | OFN_LONGNAMES;
  return GetOpenFileNameA(&chooser) ? std::string(path) : std::string();
}

bool ShellOpen(const std::string& target) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWMINIMIZED;
  return ShellExecuteExA(&info) != FALSE;
}

void CloseDialog(DialogHandle dialog, int result) { EndDialog(Window(dialog), result); }

void DebugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace kavlen::win32
