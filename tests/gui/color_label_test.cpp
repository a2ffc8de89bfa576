// The colour label: its colours and its synchronous repaint.

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>

#include "gui/qt/controls/color_label.h"
#include "tests/gui/gui_test_support.h"

namespace kavlen {
namespace {

using test::CountPixels;
using test::Grab;

class ColorLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    parent = std::make_unique<QWidget>();
    parent->setFont(test::CrispFont(12));
    parent->resize(200, 40);
    label = new CColorLabel(parent.get());
    label->setGeometry(0, 0, 200, 30);
    label->setText(QStringLiteral("System Ready..."));
    test::ShowAndWait(*parent);
  }

  std::unique_ptr<QWidget> parent;
  CColorLabel* label = nullptr;
};

TEST_F(ColorLabelTest, DrawsBlackOnButtonFaceUntilSet) {
  const QRgb face = QGuiApplication::palette().color(QPalette::Button).rgb();
  const QImage image = Grab(*label);
  EXPECT_EQ(image.pixel(199, 29), face);
  EXPECT_GT(CountPixels(image, image.rect(), qRgb(0, 0, 0)), 0);
}

TEST_F(ColorLabelTest, SetTextColorRepaintsBeforeReturningEvenWhenUnchanged) {
  test::PaintCounter paints(*label);
  label->SetTextColor(RGB(0, 0, 255));
  EXPECT_EQ(paints.count, 1);
  label->SetTextColor(RGB(0, 0, 255));
  EXPECT_EQ(paints.count, 2);
  EXPECT_EQ(label->TextColor(), RGB(0, 0, 255));
}

TEST_F(ColorLabelTest, ExistingTextTakesTheNewColour) {
  struct Case {
    COLORREF colour;
    QRgb pixel;
  } const cases[] = {
      {RGB(127, 0, 0), qRgb(127, 0, 0)},
      {RGB(0, 255, 0), qRgb(0, 255, 0)},
      {RGB(255, 100, 100), qRgb(255, 100, 100)},
  };
  for (const Case& c : cases) {
    label->SetTextColor(c.colour);
    const QImage image = Grab(*label);
    EXPECT_GT(CountPixels(image, image.rect(), c.pixel), 0) << std::hex << c.colour;
    EXPECT_EQ(CountPixels(image, image.rect(), qRgb(0, 0, 0)), 0);
  }
}

TEST_F(ColorLabelTest, BackgroundIsFixedAtConstruction) {
  const QPalette original = QGuiApplication::palette();
  const QRgb face = original.color(QPalette::Button).rgb();
  QPalette changed = original;
  changed.setColor(QPalette::Button, QColor(0, 200, 0));
  QApplication::setPalette(changed);
  const QImage image = Grab(*label);
  QApplication::setPalette(original);
  EXPECT_EQ(image.pixel(199, 29), face);
  EXPECT_EQ(label->BkColor(), ToColorRef(QColor(face)));
}

}  // namespace
}  // namespace kavlen
