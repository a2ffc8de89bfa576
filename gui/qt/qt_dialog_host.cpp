#include "gui/qt/qt_dialog_host.h"

#include <QComboBox>
#include <QDialog>
#include <QTimerEvent>

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/qt/dialog_builder.h"
#include "gui/qt/ui_services.h"

namespace kavlen {

namespace {

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text); }
std::string ToBytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

}  // namespace

QtDialogHost::QtDialogHost(QDialog& dialog, DialogControls& controls, UiServices* ui)
    : m_dialog(dialog), m_controls(controls), m_ui(ui) {}

QtDialogHost::~QtDialogHost() {
  for (const auto& [id, qtId] : m_timers) killTimer(qtId);
}

void QtDialogHost::SetDlgItemText(int id, const std::string& text) {
  m_controls.SetDlgItemText(id, FromBytes(text));
}

std::string QtDialogHost::GetDlgItemText(int id) const {
  return ToBytes(m_controls.GetDlgItemText(id));
}

void QtDialogHost::CheckDlgButton(int id, bool checked) { m_controls.CheckDlgButton(id, checked); }

bool QtDialogHost::IsDlgButtonChecked(int id) const { return m_controls.IsDlgButtonChecked(id); }

void QtDialogHost::CheckRadioButton(int first, int last, int check) {
  m_controls.CheckRadioButton(first, last, check);
}

void QtDialogHost::EnableWindow(int id, bool enable) {
  if (QWidget* item = m_controls.Item(id)) item->setEnabled(enable);
}

void QtDialogHost::SetTextColor(int id, COLORREF colour) {
  if (auto* label = m_controls.ItemAs<CColorLabel>(id)) label->SetTextColor(colour);
}

LRESULT QtDialogHost::SendDlgItemMessage(int id, unsigned message, WPARAM wParam, LPARAM lParam) {
  if (auto* bar = m_controls.ItemAs<CPercentBar>(id)) return bar->SendMessage(message, wParam, lParam);
  if (auto* combo = m_controls.ItemAs<QComboBox>(id)) {
    if (message == CB_GETCURSEL) return combo->currentIndex() < 0 ? CB_ERR : combo->currentIndex();
    if (message == CB_SETCURSEL) {
      const int index = static_cast<int>(wParam);
      combo->setCurrentIndex(index < combo->count() ? index : -1);
      return index < combo->count() ? index : CB_ERR;
    }
  }
  return 0;
}

void QtDialogHost::UpdateWindow(int id) {
  if (QWidget* item = m_controls.Item(id)) item->repaint();
}

bool QtDialogHost::SetTimer(int id, unsigned periodMs) {
  KillTimer(id);
  const int qtId = startTimer(static_cast<int>(periodMs), Qt::PreciseTimer);
  if (qtId == 0) return false;
  m_timers[id] = qtId;
  return true;
}

void QtDialogHost::KillTimer(int id) {
  const auto found = m_timers.find(id);
  if (found == m_timers.end()) return;
  killTimer(found->second);
  m_timers.erase(found);
}

int QtDialogHost::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
  if (m_ui == nullptr) return IDOK;
  return m_ui->MessageBox(&m_dialog, FromBytes(text), FromBytes(caption), type);
}

std::string QtDialogHost::GetOpenFileName(const std::string& title, const std::string& filter) {
  if (m_ui == nullptr) return {};
  return ToBytes(m_ui->GetOpenFileName(&m_dialog, FromBytes(title), QString(), FromBytes(filter)));
}

bool QtDialogHost::ShellOpen(const std::string& target) {
  return m_ui != nullptr && m_ui->OpenUrl(FromBytes(target));
}

// The base class's done(): a dialog that routes its own done() to the
// logic must not be called back from here.
void QtDialogHost::EndDialog(int result) {
  m_dialog.QDialog::done(result == IDCANCEL ? QDialog::Rejected : result);
}

void QtDialogHost::timerEvent(QTimerEvent* event) {
  for (const auto& [id, qtId] : m_timers) {
    if (qtId == event->timerId()) {
      if (onTimer) onTimer(id);
      return;
    }
  }
  QObject::timerEvent(event);
}

}  // namespace kavlen
