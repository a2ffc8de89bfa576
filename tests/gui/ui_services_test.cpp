// The real message box answers with the Windows result codes.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/qt/ui_services.h"
#include "tests/gui/qstring_print.h"

namespace kavlen {
namespace {

// Presses `button` on the message box that opens next and records it.
void PressOnNextBox(QMessageBox::StandardButton button, QMessageBox::Icon* icon,
                    QString* title, QString* text) {
  QTimer::singleShot(0, [=] {
    auto* box = dynamic_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      ADD_FAILURE() << "no message box open";
      return;
    }
    *icon = box->icon();
    *title = box->windowTitle();
    *text = box->text();
    box->button(button)->click();
  });
}

TEST(QtUiServices, MessageBoxMapsTypesAndAnswers) {
  struct Case {
    unsigned type;
    QMessageBox::StandardButton press;
    QMessageBox::Icon icon;
    int result;
  } const cases[] = {
      {MB_OK | MB_ICONEXCLAMATION, QMessageBox::Ok, QMessageBox::Warning, IDOK},
      {MB_OK | MB_ICONHAND, QMessageBox::Ok, QMessageBox::Critical, IDOK},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, QMessageBox::Question, IDNO},
      {MB_YESNO, QMessageBox::Yes, QMessageBox::NoIcon, IDYES},
      {MB_OKCANCEL | MB_ICONINFORMATION, QMessageBox::Cancel, QMessageBox::Information, IDCANCEL},
  };
  QtUiServices services;
  QWidget owner;
  for (const Case& c : cases) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title, text;
    PressOnNextBox(c.press, &icon, &title, &text);
    EXPECT_EQ(services.MessageBox(&owner, QStringLiteral("Reset Target Timout !!"),
                                  QStringLiteral("USB Kavlen"), c.type),
              c.result);
    EXPECT_EQ(icon, c.icon);
    EXPECT_EQ(title, QStringLiteral("USB Kavlen"));
    EXPECT_EQ(text, QStringLiteral("Reset Target Timout !!"));
  }
}

// The chooser's types keep their Windows names; "*.*" matches every file,
// also one without an extension, as it does on Windows.
TEST(QtUiServices, FileTypesFromTheWindowsFilter) {
  const QStringList filters =
      QtNameFilters(QStringLiteral("bin Files (*.bin)|*.bin|All Files(*.*)|*.*||"));
  // The chooser shows each name without its last bracket, which holds the patterns.
  EXPECT_EQ(filters, (QStringList{QStringLiteral("bin Files (*.bin) (*.bin)"),
                                  QStringLiteral("All Files(*.*) (*)")}));
}

}  // namespace
}  // namespace kavlen
