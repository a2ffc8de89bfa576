#include "gui/win32/main_window_logic.h"

#include <utility>

#include "gui/app/profile_settings_file.h"
#include "gui/app/program_services.h"
#include "gui/app/stdout_trace_sink.h"
#include "gui/main_dlg.h"
#include "gui/win32/win32_dialog_host.h"

namespace kavlen::win32 {

namespace {

class MainWindowLogic final : public DialogLogic {
 public:
  explicit MainWindowLogic(MainWindowDialogs dialogs) : m_logic(m_host, Services(std::move(dialogs))) {}

  void OnInitDialog(DialogHandle dialog) override {
    m_host.Attach(dialog);
    m_logic.OnInitDialog();
  }
  void OnTimer(int id) override { m_logic.OnTimer(id); }
  bool OnCommand(int id) override { return m_logic.OnCommand(id); }
  void OnPaint() override { m_logic.OnPaint(); }
  void OnDestroy() override { m_logic.OnDestroy(); }

 private:
  MainDlgServices Services(MainWindowDialogs dialogs) {
    MainDlgServices services = ProgramServices(m_trace, m_settings);
    services.showResetDialog = std::move(dialogs.showResetDialog);
    services.showAboutDialog = std::move(dialogs.showAboutDialog);
    return services;
  }

  StdoutTraceSink m_trace;
  ProfileSettingsFile m_settings;
  Win32DialogHost m_host;
  CMainDlg m_logic;
};

}  // namespace

std::unique_ptr<DialogLogic> MakeMainWindowLogic(MainWindowDialogs dialogs) {
  return std::make_unique<MainWindowLogic>(std::move(dialogs));
}

}  // namespace kavlen::win32
