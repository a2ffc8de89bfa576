// Dialogs built from their templates: controls, state, geometry and fit.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/link_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/qt/dialog_builder.h"
#include "gui/resource_ids.h"
#include "gui/qt/ui_services.h"
#include "tests/gui/qstring_print.h"
#include "tests/gui/recording_ui_services.h"

namespace kavlen {
namespace {

class MainTemplateTest : public testing::Test {
 protected:
  void SetUp() override { controls = BuildDialog(dialog, MainDialogTemplate(), &services); }

  RecordingUiServices services;
  QDialog dialog;
  DialogControls controls;
};

TEST_F(MainTemplateTest, CreatesTheOwnControlKinds) {
  for (int id : {IDC_STATUS, IDC_LENGTH, IDC_CHECKSUM, IDC_DEVICE_OS, IDC_DEVICE_INFO,
                 IDC_ADDRESS, IDC_ORGINAL, IDC_TARGET})
    EXPECT_NE(controls.ItemAs<CColorLabel>(id), nullptr) << id;
  EXPECT_NE(controls.ItemAs<CPercentBar>(IDC_PROGRESS), nullptr);
  EXPECT_NE(controls.ItemAs<QPlainTextEdit>(IDC_IMAGE_PATH), nullptr);
  EXPECT_NE(controls.ItemAs<QCheckBox>(IDC_VERIFY), nullptr);
  EXPECT_EQ(controls.Item(9999), nullptr);
  EXPECT_EQ(controls.InTabOrder().size(), MainDialogTemplate().controls.size());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("USB Kavlen"));
}

TEST_F(MainTemplateTest, ExactlyTheSevenDebugControlsStartDisabled) {
  std::set<int> disabled;
  for (const ControlTemplate& c : MainDialogTemplate().controls)
    if (c.id != IDC_STATIC && !controls.Item(c.id)->isEnabled()) disabled.insert(c.id);
  const std::set<int> expected{IDC_UPDATE_OS, IDC_LOAD_TO_BUFFER, IDC_USER_CMD, IDC_RECONNECT,
                               IDC_READ_BUFFER, IDC_WRITE_BUFFER, IDC_DUMP_ADDRESS};
  EXPECT_EQ(disabled, expected);
}

TEST_F(MainTemplateTest, DumpAddressesAreTheFirstTwentyBlocks) {
  auto* combo = controls.ItemAs<QComboBox>(IDC_DUMP_ADDRESS);
  ASSERT_NE(combo, nullptr);
  EXPECT_TRUE(combo->isEditable());
  ASSERT_EQ(combo->count(), 20);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(combo->itemText(i), QString::asprintf("0x%06X", i * 0x4000));
}

// The edit field scrolls a text it cannot hold so that its end shows; every
// address must show from its first character with the cursor at the end.
TEST_F(MainTemplateTest, DumpAddressesShowWhole) {
  auto* combo = controls.ItemAs<QComboBox>(IDC_DUMP_ADDRESS);
  ASSERT_NE(combo, nullptr);
  ASSERT_NE(combo->lineEdit(), nullptr);
  QLineEdit& edit = *combo->lineEdit();
  dialog.show();
  for (int i = 0; i < combo->count(); ++i) {
    combo->setCurrentIndex(i);
    ASSERT_EQ(edit.cursorPosition(), edit.text().size());
    edit.grab();  // the scroll offset is settled when the field paints
    const QPoint firstCharacter(edit.contentsRect().left() + 3, edit.height() / 2);
    EXPECT_EQ(edit.cursorPositionAt(firstCharacter), 0) << edit.text().toStdString();
  }
}

TEST_F(MainTemplateTest, SizesFollowTheDialogFont) {
  const DialogBaseUnits base = controls.BaseUnits();
  EXPECT_EQ(base.y, QFontMetrics(dialog.font()).height());
  EXPECT_EQ(dialog.size(), QSize(MulDiv(237, base.x, 4), MulDiv(200, base.y, 8)));
  EXPECT_EQ(controls.Item(IDC_PROGRESS)->geometry(),
            QRect(MulDiv(7, base.x, 4), MulDiv(151, base.y, 8), MulDiv(218, base.x, 4),
                  MulDiv(12, base.y, 8)));
}

TEST_F(MainTemplateTest, RadioGroupCanBeClearedAndStaysExclusive) {
  controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_512K);
  EXPECT_EQ(controls.GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_512K);
  controls.ItemAs<QRadioButton>(IDC_ROM_2048K)->click();
  EXPECT_EQ(controls.GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_2048K);
  EXPECT_FALSE(controls.ItemAs<QRadioButton>(IDC_ROM_512K)->isChecked());

  controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, 0);
  EXPECT_EQ(controls.GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), 0);
  controls.ItemAs<QRadioButton>(IDC_ROM_64K)->click();
  EXPECT_EQ(controls.GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_64K);
}

TEST_F(MainTemplateTest, ItemTextReachesEachKind) {
  struct Case {
    int id;
    const char* text;
  } const cases[] = {
      {IDC_STATUS, "System Ready..."},
      {IDC_IMAGE_PATH, "DownLoad Firmware Path"},
      {IDC_DUMP_ADDRESS, "0x008000"},
      {IDC_DOWNLOAD, "&Download"},
      {IDC_PROGRESS, "Download Processing completed 42%"},
  };
  for (const Case& c : cases) {
    controls.SetDlgItemText(c.id, QString::fromLatin1(c.text));
    EXPECT_EQ(controls.GetDlgItemText(c.id), QString::fromLatin1(c.text)) << c.id;
  }
  EXPECT_EQ(controls.ItemAs<CPercentBar>(IDC_PROGRESS)->CaptionText(),
            QStringLiteral("Download Processing completed 42%"));
}

TEST_F(MainTemplateTest, FramesDoNotCoverTheControlsInside) {
  for (int id : {IDC_RESET_TARGET, IDC_ROM_256K, IDC_DEVICE_OS}) {
    QWidget* control = controls.Item(id);
    EXPECT_EQ(dialog.childAt(control->geometry().center()), control) << id;
  }
}

TEST_F(MainTemplateTest, ExitAcceptsTheDialog) {
  controls.ItemAs<QPushButton>(IDOK)->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(controls.ItemAs<QPushButton>(IDOK)->isDefault());
}

// The path field has no want-return style: Enter and the keypad's Enter go
// to the default button and never put a line break into the path.
TEST(DialogTemplates, EnterInThePathFieldPressesTheDefaultButton) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, MainDialogTemplate(), nullptr);
    auto* path = controls.ItemAs<QPlainTextEdit>(IDC_IMAGE_PATH);
    path->setPlainText(QStringLiteral("/roms/a.bin"));
    path->moveCursor(QTextCursor::End);
    QTest::keyClick(path, key);
    EXPECT_EQ(path->toPlainText(), QStringLiteral("/roms/a.bin")) << key;
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << key;
  }
}

// Each one-line caption fits its control, also in a substitute font.
TEST(DialogTemplates, CaptionsFitTheirControls) {
  for (const DialogTemplate* tpl :
       {&MainDialogTemplate(), &AboutDialogTemplate(), &ResetDialogTemplate()}) {
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, *tpl, nullptr);
    for (std::size_t i = 0; i < tpl->controls.size(); ++i) {
      const ControlTemplate& c = tpl->controls[i];
      auto* label = dynamic_cast<QLabel*>(controls.InTabOrder()[i]);
      if (!label || !*c.caption) continue;
      const QFontMetricsF metrics(label->font());
      if (label->height() >= 2 * metrics.height()) continue;  // may wrap
      EXPECT_LT(metrics.horizontalAdvance(label->text()), label->contentsRect().width())
          << tpl->id << " " << c.caption;
    }
  }
}

TEST(DialogTemplates, FontsHaveTheirGlyphsAndKind) {
  struct Case {
    const DialogTemplate* tpl;
    bool serif;
  } const cases[] = {
      {&MainDialogTemplate(), false},
      {&AboutDialogTemplate(), true},
      {&ResetDialogTemplate(), false},
  };
  for (const Case& c : cases) {
    const QFont font = DialogFont(c.tpl->fontName, c.tpl->pointSize);
    const QString family = QFontInfo(font).family();
    EXPECT_EQ(family.contains(QLatin1String("Serif")), c.serif) << family.toStdString();
    const QFontMetrics metrics(font);
    for (QChar ch : QStringLiteral("0123456789%ABCxyz"))
      EXPECT_TRUE(metrics.inFont(ch)) << family.toStdString();
  }
}

TEST(DialogTemplates, FramesOfTheThreeDialogs) {
  QDialog about, reset;
  BuildDialog(about, AboutDialogTemplate(), nullptr);
  BuildDialog(reset, ResetDialogTemplate(), nullptr);
  EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(reset.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(reset.windowTitle(), QStringLiteral("Reset Now !!!"));
}

}  // namespace
}  // namespace kavlen
