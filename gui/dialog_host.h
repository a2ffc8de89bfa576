#pragma once
// A dialog window as the toolkit-free window logic sees it. The logic names
// controls by their template ids and does everything through these calls;
// each toolkit supplies one host (gui/qt/ for Qt). Every call is the Win32
// function of the same name on the dialog's window (hDlg) and maps one to
// one onto it, so a Win32 host is a thin forwarder:
//
//   SetDlgItemText(id, text)        SetDlgItemTextA(hDlg, id, text)
//   GetDlgItemText(id)              GetDlgItemTextA(hDlg, id, buf, n)
//   CheckDlgButton(id, on)          CheckDlgButton(hDlg, id, on ? BST_CHECKED : BST_UNCHECKED)
//   IsDlgButtonChecked(id)          IsDlgButtonChecked(hDlg, id) == BST_CHECKED
//   CheckRadioButton(f, l, id)      CheckRadioButton(hDlg, f, l, id)
//   EnableWindow(id, on)            EnableWindow(GetDlgItem(hDlg, id), on)
//   SetTextColor(id, colour)        the colour label's SetTextColor (stores
//                                   the colour, RedrawWindow RDW_INVALIDATE |
//                                   RDW_ERASE | RDW_UPDATENOW)
//   SendDlgItemMessage(id, m, w, l) SendDlgItemMessageA(hDlg, id, m, w, l): the
//                                   progress bar's PBM_* messages (range,
//                                   position, step, colours, caption mode)
//                                   and the combo box's CB_GETCURSEL,
//                                   CB_SETCURSEL
//   UpdateWindow(id)                UpdateWindow(GetDlgItem(hDlg, id)): paint
//                                   what is invalid now
//   SetTimer(id, ms)                SetTimer(hDlg, id, ms, nullptr) != 0
//   KillTimer(id)                   KillTimer(hDlg, id)
//   MessageBox(text, caption, type) MessageBoxA(hDlg, text, caption, type)
//   GetOpenFileName(title, filter)  GetOpenFileNameA with lpstrFilter = filter
//                                   ('|' turned into '\0'), hwndOwner = hDlg
//   ShellOpen(target)               ShellExecuteA(hDlg, "open", target, ...) > 32
//   EndDialog(result)               EndDialog(hDlg, result)
//
// Texts are bytes in the program's 8-bit code page, as the A functions take.

#include <string>

#include "gui/colorref_value.h"
#include "gui/controls/control_messages.h"
#include "gui/message_box_codes.h"

namespace kavlen {

// The combo box messages the window sends.
inline constexpr unsigned CB_GETCURSEL = 0x0147;
inline constexpr unsigned CB_SETCURSEL = 0x014E;
inline constexpr LRESULT CB_ERR = -1;

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  virtual void SetDlgItemText(int id, const std::string& text) = 0;
  virtual std::string GetDlgItemText(int id) const = 0;
  virtual void CheckDlgButton(int id, bool checked) = 0;
  virtual bool IsDlgButtonChecked(int id) const = 0;
  virtual void CheckRadioButton(int first, int last, int check) = 0;
  virtual void EnableWindow(int id, bool enable) = 0;
  virtual void SetTextColor(int id, COLORREF colour) = 0;
  virtual LRESULT SendDlgItemMessage(int id, unsigned message, WPARAM wParam, LPARAM lParam) = 0;
  virtual void UpdateWindow(int id) = 0;

  // Periodic timer `id` of this dialog; false when it cannot be started.
  virtual bool SetTimer(int id, unsigned periodMs) = 0;
  virtual void KillTimer(int id) = 0;

  // Modal, owned by the dialog; returns the button pressed (IDOK...).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
  // The file-open chooser, owned by the dialog; "" on cancel. `filter` has
  // the Windows form: name|patterns|name|patterns||.
  virtual std::string GetOpenFileName(const std::string& title, const std::string& filter) = 0;
  // The shell's "open" of a web address or "mailto:" target.
  virtual bool ShellOpen(const std::string& target) = 0;

  // Closes the dialog with `result` once the current handler has returned.
  virtual void EndDialog(int result) = 0;
};

}  // namespace kavlen
