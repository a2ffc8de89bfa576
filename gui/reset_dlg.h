#pragma once
// "Reset Now !!!": the confirmation shown after a target reset (template
// 131). It closes itself 1200 ms after it opens; OK or Enter closes it at
// once, Escape cancels it. Toolkit-free: it works through its DialogHost.

#include <functional>
#include <string>

#include "gui/dialog_host.h"

namespace kavlen {

inline constexpr int kResetCloseTimer = 1;
inline constexpr unsigned kResetClosePeriodMs = 1200;

class CResetDlg {
 public:
  // `debugOutput` receives the developer line written on OK (may be empty).
  CResetDlg(DialogHost& host, std::function<void(const std::string&)> debugOutput);

  void OnInitDialog();
  // Timer kResetCloseTimer closes the dialog with IDOK; other ids are ignored.
  void OnTimer(int id);
  void OnOK();
  // Escape: the timer stops too, so no tick reaches a dialog that has closed.
  void OnCancel();

 private:
  DialogHost& m_host;
  std::function<void(const std::string&)> m_debugOutput;
};

}  // namespace kavlen
