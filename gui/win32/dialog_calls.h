#pragma once
// The Win32 calls behind the window logic's host, under names of their own
// and without <windows.h>: that header makes macros of MessageBox,
// SetDlgItemText, GetOpenFileName, IDOK, RGB, WM_* and more, which would
// rewrite the same names where the toolkit-free window logic uses them.
// A host includes this header; only dialog_calls.cpp sees <windows.h>.
// Texts are bytes in the program's 8-bit code page, as the A functions take.

#include <cstdint>
#include <string>

namespace kavlen::win32 {

using DialogHandle = void*;  // the dialog's HWND

void SetItemText(DialogHandle dialog, int id, const std::string& text);
// The whole text, however long.
std::string GetItemText(DialogHandle dialog, int id);
void CheckButton(DialogHandle dialog, int id, bool checked);
bool IsButtonChecked(DialogHandle dialog, int id);
void CheckRadio(DialogHandle dialog, int first, int last, int id);
void EnableItem(DialogHandle dialog, int id, bool enable);
std::intptr_t SendItemMessage(DialogHandle dialog, int id, unsigned message, std::uintptr_t wParam,
                              std::intptr_t lParam);
// Paints what is invalid in the item now.
void UpdateItem(DialogHandle dialog, int id);
// The colour label's SetTextColor (0x00BBGGRR); nothing when the item has
// no colour label attached.
void SetLabelTextColor(DialogHandle dialog, int id, std::uint32_t colour);
bool StartTimer(DialogHandle dialog, int id, unsigned periodMs);
void StopTimer(DialogHandle dialog, int id);
int ShowMessageBox(DialogHandle dialog, const std::string& text, const std::string& caption,
                   unsigned type);
// The file-open chooser; "" on cancel. `filter`: name|patterns|...|| .
std::string ChooseOpenFile(DialogHandle dialog, const std::string& title,
                           const std::string& filter);
// The shell's "open"; false when nothing could open the target. The shell
// shows no message of its own.
bool ShellOpen(const std::string& target);
void CloseDialog(DialogHandle dialog, int result);
void DebugOutput(const std::string& text);

// "a|*.x|b|*.*||" as the file chooser takes it: each '|' a nul, ending in
// two nuls whether or not the filter ends in "||".
std::string ChooserFilter(const std::string& filter);

}  // namespace kavlen::win32
