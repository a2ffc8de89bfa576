#include "gui/qt/reset_dialog.h"

#include <utility>

#include "gui/dialog_template.h"

namespace kavlen {

QtResetDialog::QtResetDialog(std::function<void(const std::string&)> debugOutput, QWidget* owner)
    : QDialog(owner),
      m_controls(BuildDialog(*this, ResetDialogTemplate(), nullptr)),
      m_host(*this, m_controls, nullptr),
      m_logic(m_host, std::move(debugOutput)) {
  m_host.onTimer = [this](int id) { m_logic.OnTimer(id); };
  m_logic.OnInitDialog();
}

}  // namespace kavlen
