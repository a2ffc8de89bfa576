#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "gui/qt/ui_services.h"

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

QStringList QtNameFilters(const QString& windowsFilter) {
  const QStringList parts = windowsFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
#ifndef _WIN32
    const QStringList each = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList mapped;
    for (const QString& p : each) mapped << (p == QLatin1String("*.*") ? QStringLiteral("*") : p);
    patterns = mapped.join(QLatin1Char(' '));
#endif
    filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return filters;
}

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
  return QFileDialog::getOpenFileName(owner, caption, directory,
                                      QtNameFilters(filter).join(QStringLiteral(";;")), nullptr,
                                      QFileDialog::HideNameFilterDetails);
}

// A bare host name means a web site to the shell; fromUserInput reads it
// the same way instead of taking it for a file path.
bool QtUiServices::OpenUrl(const QString& target) {
  return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace kavlen
