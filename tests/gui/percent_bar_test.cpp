// The percentage bar: its message entry, its painting and when it paints.

#include <QApplication>
#include <QFontMetrics>
#include <QPaintEvent>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "gui/qt/controls/percent_bar.h"
#include "tests/gui/gui_test_support.h"

namespace kavlen {
namespace {

using test::AllPixels;
using test::CountPixels;
using test::Grab;
using test::PaintCounter;

constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kRed = 0xFFFF0000;

// The area of each paint a widget receives.
class PaintRects : public QObject {
 public:
  explicit PaintRects(QWidget& widget) { widget.installEventFilter(this); }
  std::vector<QRect> rects;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(event)->rect());
    return false;
  }
};

bool Is(QRgb pixel, QRgb colour) { return (pixel & 0xFFFFFFu) == (colour & 0xFFFFFFu); }

// A bar of 300 by 20 client pixels, blue on white, on a shown parent.
class PercentBarTest : public testing::Test {
 protected:
  void SetUp() override {
    parent = std::make_unique<QWidget>();
    parent->setFont(test::CrispFont(10));
    parent->resize(320, 140);
    bar = AddBar(QRect(0, 0, 300, 20));
    test::ShowAndWait(*parent);
  }

  // A blue on white bar of the parent at `place`.
  CPercentBar* AddBar(const QRect& place, unsigned style = 0, bool bordered = false) {
    auto* added = new CPercentBar(parent.get(), style, bordered);
    added->setGeometry(place);
    added->SetBarColor(RGB(0, 0, 255));
    added->SetBkColor(RGB(255, 255, 255));
    return added;
  }

  // Another bar like `bar`, showing `caption` as its text, at the same
  // range and position: the reference a percentage caption must match.
  QImage Reference(const QString& caption, int minimum, int maximum, int position) {
    CPercentBar* other = AddBar(QRect(0, 30, 300, 20));
    other->SetRange(minimum, maximum);
    other->SetPos(position);
    other->SetWindowText(caption);
    other->show();
    return Grab(*other);
  }

  QImage Show(int minimum, int maximum, int position) {
    bar->SetRange(minimum, maximum);
    bar->SetPos(position);
    return Grab(*bar);
  }

  std::unique_ptr<QWidget> parent;
  CPercentBar* bar = nullptr;
};

TEST_F(PercentBarTest, PositionStepAndRangeMessages) {
  bar->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 4));
  struct Step {
    unsigned message;
    WPARAM wParam;
    LRESULT result;
    int positionAfter;
  } const steps[] = {
      {PBM_SETPOS, 3, 0, 3},         // returns the previous position
      {PBM_STEPIT, 0, 3, 4},         // step 1
      {PBM_STEPIT, 0, 4, 5},         // past the maximum, no wrap to the minimum
      {PBM_DELTAPOS, WPARAM(-7), 5, -2},
      {PBM_SETSTEP, 10, 1, -2},      // returns the previous step
      {PBM_STEPIT, 0, -2, 8},
      {PBM_GETPOS, 0, 8, 8},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << s.message);
    EXPECT_EQ(bar->SendMessage(s.message, s.wParam), s.result);
    EXPECT_EQ(bar->GetPos(), s.positionAfter);
  }
}

TEST_F(PercentBarTest, SteppingPastTheIntRangeWraps) {
  bar->SetPos(INT_MAX);
  EXPECT_EQ(bar->SendMessage(PBM_STEPIT), INT_MAX);
  EXPECT_EQ(bar->GetPos(), INT_MIN);
}

TEST_F(PercentBarTest, SetRangePacksUnsignedWords) {
  bar->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(10, 60000));
  PBRANGE range{-1, -1};
  EXPECT_EQ(bar->SendMessage(PBM_GETRANGE, 1, reinterpret_cast<LPARAM>(&range)), 10);
  EXPECT_EQ(bar->SendMessage(PBM_GETRANGE, 0, 0), 60000);
  EXPECT_EQ(range.iLow, 10);
  EXPECT_EQ(range.iHigh, 60000);

  bar->SendMessage(PBM_SETRANGE32, WPARAM(-50), 50);
  EXPECT_EQ(bar->SendMessage(PBM_GETRANGE, 1, 0), -50);
  EXPECT_EQ(bar->SendMessage(PBM_GETRANGE, 0, 0), 50);
}

TEST_F(PercentBarTest, ColourMessagesReturnThePreviousColour) {
  CPercentBar fresh;
  struct Case {
    unsigned message;
  } const cases[] = {{PBM_SETBARCOLOR}, {PBM_SETBKCOLOR}, {PBM_SETCAPTIONCOLOR}};
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<COLORREF>(fresh.SendMessage(c.message, 0, RGB(1, 2, 3))), CLR_DEFAULT);
    EXPECT_EQ(static_cast<COLORREF>(fresh.SendMessage(c.message, 0, RGB(4, 5, 6))),
              RGB(1, 2, 3));
  }
  EXPECT_EQ(fresh.SendMessage(WM_ERASEBKGND), 1);
}

TEST_F(PercentBarTest, GetTextCopiesTheCaptionTerminated) {
  const char text[] = "Download Processing completed 42%";
  bar->SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(bar->GetWindowText(), QString::fromLatin1(text));

  struct Case {
    WPARAM size;
    LRESULT copied;
    const char* expected;
  } const cases[] = {
      {100, 33, text},
      {10, 9, "Download "},  // never more than the buffer, terminator included
      {1, 0, ""},
  };
  for (const Case& c : cases) {
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(bar->SendMessage(WM_GETTEXT, c.size, reinterpret_cast<LPARAM>(buffer)), c.copied);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer of " << c.size;
  }
  EXPECT_EQ(bar->SendMessage(WM_GETTEXT, 0, 0), 0);

  // A null text counts as empty and brings the percentage back.
  bar->SendMessage(WM_SETTEXT, 0, 0);
  EXPECT_EQ(bar->CaptionText(), QString());
}

TEST_F(PercentBarTest, NoBarAtZeroAndTheCaptionInTheBarColour) {
  const QImage image = Show(0, 4, 0);
  EXPECT_TRUE(Is(image.pixel(0, 0), kWhite));
  EXPECT_TRUE(AllPixels(image, image.rect(), [](QRgb p) { return Is(p, kWhite) || Is(p, kBlue); }));
  EXPECT_GT(CountPixels(image, image.rect(), kBlue), 0) << "no caption drawn";
  EXPECT_EQ(image, Reference(QStringLiteral("0%"), 0, 4, 0));
}

TEST_F(PercentBarTest, OneOfFourFillsAQuarter) {
  const QImage image = Show(0, 4, 1);
  for (int x : {0, 74}) EXPECT_TRUE(Is(image.pixel(x, 0), kBlue)) << x;
  for (int x : {75, 299}) EXPECT_TRUE(Is(image.pixel(x, 0), kWhite)) << x;
  EXPECT_EQ(image, Reference(QStringLiteral("25%"), 0, 4, 1));
}

TEST_F(PercentBarTest, PercentageIsCutTowardZero) {
  EXPECT_EQ(Show(0, 3, 2), Reference(QStringLiteral("66%"), 0, 3, 2));
}

TEST_F(PercentBarTest, PositionAboveTheMaximumFillsAllAndShowsMoreThan100) {
  const QImage image = Show(0, 4, 6);
  EXPECT_EQ(bar->GetPos(), 6);
  EXPECT_TRUE(AllPixels(image, QRect(0, 0, 300, 1), [](QRgb p) { return Is(p, kBlue); }));
  EXPECT_EQ(image, Reference(QStringLiteral("150%"), 0, 4, 6));
}

TEST_F(PercentBarTest, CaptionSwapsColoursExactlyAtTheBarEnd) {
  bar->SetWindowText(QStringLiteral("888"));
  const QImage empty = Show(0, 100, 0);
  const QImage full = Show(0, 100, 100);
  const QImage half = Show(0, 100, 50);

  // The split runs through the middle character.
  EXPECT_GT(CountPixels(empty, QRect(149, 0, 2, 20), kBlue), 0);
  for (int x = 0; x < 300; ++x)
    EXPECT_TRUE(test::SameColumn(half, x < 150 ? full : empty, x)) << "column " << x;
}

TEST_F(PercentBarTest, CaptionColourPaintsTheWholeCaption) {
  bar->SetWindowText(QStringLiteral("888"));
  bar->SetCaptionColor(RGB(255, 0, 0));
  const QImage image = Show(0, 100, 50);
  EXPECT_TRUE(AllPixels(image, QRect(0, 0, 150, 20), [](QRgb p) { return Is(p, kBlue) || Is(p, kRed); }));
  EXPECT_TRUE(AllPixels(image, QRect(150, 0, 150, 20), [](QRgb p) { return Is(p, kWhite) || Is(p, kRed); }));
  EXPECT_GT(CountPixels(image, QRect(0, 0, 150, 20), kRed), 0);
  EXPECT_GT(CountPixels(image, QRect(150, 0, 150, 20), kRed), 0);
}

TEST_F(PercentBarTest, HiddenCaptionDrawsOnlyTheBar) {
  bar->ShowCaption(false);
  const QImage image = Show(0, 4, 1);
  EXPECT_TRUE(AllPixels(image, QRect(0, 0, 75, 20), [](QRgb p) { return Is(p, kBlue); }));
  EXPECT_TRUE(AllPixels(image, QRect(75, 0, 225, 20), [](QRgb p) { return Is(p, kWhite); }));
}

TEST_F(PercentBarTest, VerticalBarFillsFromTheBottomWithoutCaption) {
  CPercentBar* vertical = AddBar(QRect(305, 0, 20, 100), PBS_VERTICAL);
  vertical->show();
  vertical->SetRange(0, 4);
  vertical->SetPos(1);
  const QImage image = Grab(*vertical);
  EXPECT_TRUE(AllPixels(image, QRect(0, 0, 20, 75), [](QRgb p) { return Is(p, kWhite); }));
  EXPECT_TRUE(AllPixels(image, QRect(0, 75, 20, 25), [](QRgb p) { return Is(p, kBlue); }));
}

TEST_F(PercentBarTest, EmptyRangeDrawsNothing) {
  const QImage image = Show(3, 3, 2);
  EXPECT_EQ(CountPixels(image, image.rect(), kBlue), 0);
  EXPECT_EQ(CountPixels(image, image.rect(), kWhite), 0);
}

TEST_F(PercentBarTest, BorderLeavesAClientAreaInside) {
  CPercentBar* bordered = AddBar(QRect(0, 60, 302, 22), PBS_SMOOTH, true);
  bordered->ShowCaption(false);
  bordered->show();
  bordered->SetRange(0, 4);
  bordered->SetPos(1);
  const QImage image = Grab(*bordered);
  EXPECT_FALSE(Is(image.pixel(0, 10), kBlue));
  EXPECT_TRUE(Is(image.pixel(1, 10), kBlue));
  EXPECT_TRUE(Is(image.pixel(75, 10), kBlue));
  EXPECT_TRUE(Is(image.pixel(76, 10), kWhite));
}

TEST_F(PercentBarTest, RepaintsOnlyWhenTheBarWidthChanges) {
  bar->SetRange(0, 1000);
  PaintCounter paints(*bar);
  struct Step {
    int position;
    int paintsAfter;
  } const steps[] = {
      {1, 1},  // the first change always paints: nothing drawn yet
      {2, 1},  // 0.6 px: still 0 wide
      {4, 2},  // 1.2 px
      {5, 2},
      {7, 3},
      {7, 3},
  };
  for (const Step& s : steps) {
    bar->SetPos(s.position);
    EXPECT_EQ(paints.count, s.paintsAfter) << "position " << s.position;
  }

  // A new size forgets the drawn width, so the next change paints.
  bar->resize(299, 20);
  QApplication::processEvents();
  const int afterResize = paints.count;
  bar->SetPos(7);
  EXPECT_EQ(paints.count, afterResize + 1);
}

// Without a caption a step paints only the pixels the bar gained or lost,
// and the screen ends up as a bar drawn whole; a colour change waiting for
// its repaint is painted with the next step.
TEST_F(PercentBarTest, StepsWithoutCaptionPaintOnlyTheChangedStrip) {
  struct Case {
    unsigned style;
    QRect place;
    QRect reference;  // a bar drawn whole
    QRect strip;      // what a step from 1 to 2 of 4 paints
  } const cases[] = {
      {0, QRect(0, 60, 300, 20), QRect(0, 85, 300, 20), QRect(75, 0, 75, 20)},
      {PBS_VERTICAL, QRect(0, 30, 20, 100), QRect(25, 30, 20, 100), QRect(0, 50, 20, 25)},
  };
  for (const Case& c : cases) {
    CPercentBar* stepped = AddBar(c.place, c.style);
    stepped->ShowCaption(false);
    stepped->SetRange(0, 4);
    stepped->show();
    QApplication::processEvents();
    PaintRects painted(*stepped);
    stepped->SetPos(1);  // nothing drawn since the bar was shown: the first change paints whole
    painted.rects.clear();
    stepped->SetPos(2);
    stepped->SetBarColor(RGB(255, 0, 0));
    stepped->SetPos(1);
    stepped->SetPos(2);
    EXPECT_EQ(painted.rects, (std::vector<QRect>{c.strip, stepped->rect(), c.strip})) << c.style;

    CPercentBar* whole = AddBar(c.reference, c.style);
    whole->ShowCaption(false);
    whole->SetBarColor(RGB(255, 0, 0));
    whole->SetRange(0, 4);
    whole->SetPos(2);
    whole->show();
    QApplication::processEvents();
    EXPECT_EQ(Grab(*stepped), Grab(*whole)) << c.style;
  }
}

TEST_F(PercentBarTest, RangeAndEqualTextDoNotRepaint) {
  bar->SetWindowText(QStringLiteral("abc"));
  bar->SetPos(10);
  QApplication::processEvents();
  PaintCounter paints(*bar);
  bar->SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 50));
  bar->SetWindowText(QStringLiteral("abc"));
  QApplication::processEvents();
  EXPECT_EQ(paints.count, 0);

  bar->SetWindowText(QStringLiteral("abcd"));
  QApplication::processEvents();
  EXPECT_EQ(paints.count, 1);
}

TEST(PercentBarFont, CaptionFontHasTheDigits) {
  QWidget parent;
  CPercentBar bar(&parent);
  const QFontMetrics metrics(parent.font());
  for (QChar c : QStringLiteral("0123456789%"))
    EXPECT_TRUE(metrics.inFont(c)) << "no glyph for " << QString(c).toStdString()
                                   << " in " << parent.font().family().toStdString();
}

}  // namespace
}  // namespace kavlen
