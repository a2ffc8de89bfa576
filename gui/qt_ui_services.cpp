#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "gui/ui_services.h"

namespace kavlen {

namespace {

QMessageBox::Icon IconFor(unsigned type) {
  switch (type & 0xF0u) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONASTERISK:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

int QtUiServices::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                             unsigned type) {
  QMessageBox box(IconFor(type), caption, text, QMessageBox::NoButton, owner);
  switch (type & 0x0Fu) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

QString QtUiServices::GetOpenFileName(QWidget* owner, const QString& caption,
                                      const QString& directory, const QString& filter) {
  return QFileDialog::getOpenFileName(owner, caption, directory, filter);
}

// A bare host name means a web site to the shell; fromUserInput reads it
// the same way instead of taking it for a file path.
bool QtUiServices::OpenUrl(const QString& target) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace kavlen
