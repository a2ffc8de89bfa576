// The link label and the About box that holds two of them.

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "gui/qt/controls/about_dlg.h"
#include "gui/qt/controls/link_label.h"
#include "gui/resource_ids.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/recording_ui_services.h"
#include "kavlen_version.h"

namespace kavlen {
namespace {

using test::CountPixels;
using test::Grab;

void MovePointer(QWidget& widget, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), widget.mapToGlobal(QPointF(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

class LinkLabelTest : public testing::Test {
 protected:
  void SetUp() override {
    parent = std::make_unique<QWidget>();
    parent->setFont(test::CrispFont(12));
    parent->resize(240, 40);
    link = new CLinkLabel(&services, parent.get());
    link->setGeometry(0, 0, 240, 30);
    link->setText(QStringLiteral("http://kavlen.example.org"));
    link->SetTarget(QStringLiteral("kavlen.example.org"));
    test::ShowAndWait(*parent);
  }

  int PixelsOf(COLORREF colour) {
    const QImage image = Grab(*link);
    return CountPixels(image, image.rect(), ToQColor(colour).rgb());
  }

  RecordingUiServices services;
  std::unique_ptr<QWidget> parent;
  CLinkLabel* link = nullptr;
};

TEST_F(LinkLabelTest, UnderlinedWithAPointingHand) {
  EXPECT_TRUE(link->font().underline());
  EXPECT_FALSE(parent->font().underline());
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(LinkLabelTest, HoverChangesTheColourAtOnce) {
  EXPECT_GT(PixelsOf(RGB(0, 0, 255)), 0);
  test::PaintCounter paints(*link);

  // Grabbing paints too, so paints are counted before each grab.
  MovePointer(*link, QPoint(10, 10));
  EXPECT_TRUE(link->IsPointerOver());
  EXPECT_EQ(paints.count, 1);
  MovePointer(*link, QPoint(20, 12));  // still inside: nothing changes
  EXPECT_EQ(paints.count, 1);
  EXPECT_GT(PixelsOf(RGB(255, 0, 0)), 0);
  EXPECT_EQ(PixelsOf(RGB(0, 0, 255)), 0);

  paints.count = 0;
  MovePointer(*link, QPoint(-5, 50));
  EXPECT_FALSE(link->IsPointerOver());
  EXPECT_EQ(paints.count, 1);
  EXPECT_GT(PixelsOf(RGB(0, 0, 255)), 0);

  MovePointer(*link, QPoint(10, 10));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(link, &leave);
  EXPECT_FALSE(link->IsPointerOver());
}

TEST_F(LinkLabelTest, ColourByPointerAndVisited) {
  struct Case {
    bool over, visited;
    COLORREF colour;
  } const cases[] = {
      {false, false, RGB(0, 0, 255)},
      {true, false, RGB(255, 0, 0)},
      {false, true, RGB(5, 34, 143)},
      {true, true, RGB(5, 34, 143)},
  };
  for (const Case& c : cases) {
    CLinkLabel other(nullptr, parent.get());
    other.resize(50, 20);
    other.show();
    if (c.visited) other.Click();
    if (c.over) MovePointer(other, QPoint(5, 5));
    EXPECT_EQ(other.CurrentTextColor(), c.colour) << c.over << c.visited;
  }
}

TEST_F(LinkLabelTest, ClickHandsTheTargetOverAndTurnsVisited) {
  services.openUrlResult = false;  // a failure is not reported
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  ASSERT_EQ(services.openedTargets.size(), 1u);
  EXPECT_EQ(services.openedTargets[0], QStringLiteral("kavlen.example.org"));
  EXPECT_TRUE(link->IsVisited());
  EXPECT_GT(PixelsOf(RGB(5, 34, 143)), 0);
  EXPECT_TRUE(services.messageBoxes.empty());

  QTest::mouseClick(link, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_EQ(services.openedTargets.size(), 1u);
}

void AskForTip(CLinkLabel& link) {
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), link.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&link, &help);
}

TEST_F(LinkLabelTest, TipShowsOnlyWhenEnabled) {
  link->SetTipText(QStringLiteral("never"));
  EXPECT_EQ(link->TipText(), QString());
  AskForTip(*link);
  EXPECT_FALSE(link->IsTipShown());

  link->EnableTip(true);
  link->SetTipText(QStringLiteral("Click here to Email "));
  EXPECT_EQ(link->TipText(), QStringLiteral("Click here to Email "));
  AskForTip(*link);
  EXPECT_TRUE(link->IsTipShown());

  QEvent leave(QEvent::Leave);
  MovePointer(*link, QPoint(10, 10));
  QApplication::sendEvent(link, &leave);
  EXPECT_FALSE(link->IsTipShown());
}

class AboutBoxTest : public testing::Test {
 protected:
  RecordingUiServices services;
};

TEST_F(AboutBoxTest, HoldsTheTemplateTexts) {
  CAboutDlg about(services);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About this ..."));
  const QString head = QString(17, QLatin1Char(' ')) + QStringLiteral("USB KavlenII V1.2") +
                       QString(9, QLatin1Char(' '));
  EXPECT_TRUE(about.Controls().GetDlgItemText(IDC_ABOUT_TEXT).startsWith(head));
  EXPECT_EQ(about.Controls().GetDlgItemText(IDC_ABOUT_VERSION),
            QStringLiteral("version " KAVLEN_VERSION));
  EXPECT_EQ(about.WebLink().text(), QStringLiteral("http://kavlen.example.org"));
  EXPECT_EQ(about.MailLink().text(), QStringLiteral("MailTo:kavlen@example.org"));
  EXPECT_EQ(about.Controls().GetDlgItemText(IDOK), QStringLiteral("OK"));
}

TEST_F(AboutBoxTest, LinksOpenTheirTargets) {
  CAboutDlg about(services);
  about.WebLink().Click();
  about.MailLink().Click();
  ASSERT_EQ(services.openedTargets.size(), 2u);
  EXPECT_EQ(services.openedTargets[0], QStringLiteral("kavlen.example.org"));
  EXPECT_EQ(services.openedTargets[1], QStringLiteral("mailto:kavlen@example.org"));
}

TEST_F(AboutBoxTest, LinkColoursAndTips) {
  CAboutDlg about(services);
  for (CLinkLabel* link : {&about.WebLink(), &about.MailLink()})
    EXPECT_EQ(link->CurrentTextColor(), RGB(64, 128, 255));
  about.WebLink().Click();
  EXPECT_EQ(about.WebLink().CurrentTextColor(), RGB(0, 13, 0));

  EXPECT_EQ(about.WebLink().TipText(), QStringLiteral("Click Here to go Kavlen project"));
  EXPECT_EQ(about.WebLink().TipBkColor(), QColor(0, 0, 0));
  EXPECT_EQ(about.WebLink().TipTextColor(), QColor(0, 255, 0));
  EXPECT_EQ(about.MailLink().TipText(), QStringLiteral("Click here to Email "));
  EXPECT_EQ(about.MailLink().TipBkColor(), QToolTip::palette().color(QPalette::Window));
}

// Runs OnAbout with `inside` called on the open box, then closes it.
void RunAbout(QWidget& owner, UiServices& services,
              const std::function<void(CAboutDlg&)>& inside) {
  QTimer::singleShot(0, [&] {
    auto* about = dynamic_cast<CAboutDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->parentWidget(), &owner);
    inside(*about);
    about->Controls().ItemAs<QPushButton>(IDOK)->click();
  });
  // Should the box not close, this ends it rather than hang the run.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] {
    ADD_FAILURE() << "About box still open";
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  guard.start(10000);
  OnAbout(&owner, services);
}

TEST_F(AboutBoxTest, ReopenedBoxShowsBothLinksUnvisited) {
  QWidget owner;
  owner.show();
  int opened = 0;
  RunAbout(owner, services, [&](CAboutDlg& about) {
    ++opened;
    about.WebLink().Click();
    about.MailLink().Click();
  });
  RunAbout(owner, services, [&](CAboutDlg& about) {
    ++opened;
    EXPECT_FALSE(about.WebLink().IsVisited());
    EXPECT_FALSE(about.MailLink().IsVisited());
    EXPECT_EQ(about.WebLink().CurrentTextColor(), RGB(64, 128, 255));
  });
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(services.openedTargets.size(), 2u);
}

}  // namespace
}  // namespace kavlen
