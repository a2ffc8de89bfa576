// The status line: what the window shows before its first paint, the hold
// counted in ticks of timer 2, and the fatal blink on timer 1.

#include <QFontMetricsF>
#include <gtest/gtest.h>

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/resource_ids.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

TEST(MainDlgStart, WindowBeforeItsFirstPaint) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("USB Kavlen"));
  EXPECT_EQ(rig.StatusText(), QStringLiteral("System Ready..."));
  EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
  EXPECT_FALSE(dlg.m_bStatusHold);

  const struct {
    CColorLabel* label;
    const char* text;
    COLORREF colour;
  } labels[] = {
      {dlg.m_lengthLabel, "0", RGB(0, 255, 0)},
      {dlg.m_checksumLabel, "0x00000000", RGB(127, 0, 0)},
      {dlg.m_deviceOsLabel, "", RGB(0, 127, 0)},
      {dlg.m_addressLabel, "0x000000", RGB(0, 0, 127)},
      {dlg.m_orginalLabel, "0x00", RGB(0, 127, 0)},
      {dlg.m_targetLabel, "0x00", RGB(255, 100, 100)},
  };
  for (const auto& l : labels) {
    EXPECT_EQ(l.label->text(), QString::fromLatin1(l.text));
    EXPECT_EQ(l.label->TextColor(), l.colour) << l.text;
  }

  EXPECT_EQ(dlg.Controls().GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), 0);
  EXPECT_FALSE(dlg.Controls().IsDlgButtonChecked(IDC_VERIFY));
  EXPECT_EQ(dlg.Controls().GetDlgItemText(IDC_DUMP_ADDRESS), QStringLiteral("0x000000"));
  EXPECT_EQ(rig.timersStarted, (std::vector<std::pair<int, int>>{{1, 1000}, {2, 2650}}));
  EXPECT_NE(dlg.m_pImage, nullptr);
  EXPECT_EQ(dlg.m_supportedSizeCode, 4);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_TRUE(dlg.m_bFirstPaint);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(dlg.m_progress->CaptionText(), QString());

  // The seven controls the window never enables.
  for (int id : {IDC_UPDATE_OS, IDC_LOAD_TO_BUFFER, IDC_USER_CMD, IDC_RECONNECT, IDC_READ_BUFFER,
                 IDC_WRITE_BUFFER, IDC_DUMP_ADDRESS}) {
    EXPECT_FALSE(dlg.Controls().Item(id)->isEnabled()) << id;
  }
}

TEST(MainDlgStart, TimerThatCannotStartIsReported) {
  const struct {
    bool refuse1, refuse2;
    const char* text;
    bool hold;
  } cases[] = {
      {false, false, "System Ready...", false},
      {true, false, "First Timer Set Fail !", true},
      {false, true, "Second Timer Setting Fail!", true},
      {true, true, "Second Timer Setting Fail!", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    MainDlgRig rig;
    rig.refuseTimer1 = c.refuse1;
    rig.refuseTimer2 = c.refuse2;
    CMainDlg& dlg = rig.Open();
    EXPECT_EQ(rig.StatusText(), QString::fromLatin1(c.text));
    EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));  // the colour is not changed
    EXPECT_EQ(dlg.m_bStatusHold, c.hold);
    if (c.hold) {
      EXPECT_EQ(dlg.m_nHoldTicks, 1);
    }
  }
}

// Each row: the text shown with a hold count, then how many ticks of timer 2
// it survives before "Ready..." replaces it.
TEST(MainDlgStatus, HoldLastsItsCountPlusOneTicks) {
  for (int hold : {0, 1, 2, 3}) {
    SCOPED_TRACE(hold);
    MainDlgRig rig;
    CMainDlg& dlg = rig.Open();
    dlg.ShowStatus(QStringLiteral("Select 512K Bytes..."), RGB(0, 255, 0), hold);
    EXPECT_TRUE(dlg.m_bStatusHold);
    for (int tick = 0; tick < hold; ++tick) {
      dlg.OnTimer(2);
      EXPECT_EQ(rig.StatusText(), QStringLiteral("Select 512K Bytes..."));
      EXPECT_EQ(dlg.m_nHoldTicks, hold - tick - 1);
    }
    dlg.OnTimer(2);
    EXPECT_EQ(rig.StatusText(), QStringLiteral("Ready..."));
    EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
    EXPECT_FALSE(dlg.m_bStatusHold);
    dlg.OnTimer(2);  // nothing held: the line stays
    EXPECT_EQ(rig.StatusText(), QStringLiteral("Ready..."));
  }
}

TEST(MainDlgStatus, ReadyBeforeTheFirstPaintIsNotHeld) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.OnTimer(2);
  dlg.OnTimer(1);
  dlg.OnTimer(3);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("System Ready..."));
}

TEST(MainDlgStatus, FatalTextBlinksEverySecond) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.ShowFatal(QStringLiteral("Device is not Connected !!"));
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Device is not Connected !!"));
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_TRUE(dlg.m_bFatalBlink);
  EXPECT_FALSE(dlg.m_bStatusHold);  // the hold flag is not touched
  EXPECT_EQ(dlg.m_nHoldTicks, 1);

  const char* expected[] = {"Fatal Error or Device is not Connected !!", "",
                            "Fatal Error or Device is not Connected !!", ""};
  for (const char* text : expected) {
    dlg.OnTimer(1);
    EXPECT_EQ(rig.StatusText(), QString::fromLatin1(text));
    EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  }
}

// A status text is fitted to the line as captions are: a long one gets a
// smaller size of the dialog's face, a short one the dialog's own size.
TEST(MainDlgStatus, TextsFitTheLine) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  for (const char* text : {"Fatal Error or Device is not Connected !!", "Ready..."}) {
    dlg.SetStatus(QString::fromLatin1(text), RGB(127, 0, 0));
    const QFontMetricsF metrics(dlg.m_status->font());
    EXPECT_LT(metrics.horizontalAdvance(dlg.m_status->text()), dlg.m_status->contentsRect().width())
        << text;
  }
  EXPECT_EQ(dlg.m_status->font(), dlg.font());
}

TEST(MainDlgStatus, BlinkOverwritesReadyWithinASecond) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.ShowStatus(QStringLiteral("Load Device OS..."), RGB(0, 0, 255), 0);
  dlg.ShowFatal(QStringLiteral("Device Fatal error happened !!"));
  // The fatal text set the hold count to 1: the held text ends one tick later.
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Device Fatal error happened !!"));
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Ready..."));
  dlg.OnTimer(1);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Fatal Error or Device is not Connected !!"));
}

}  // namespace
}  // namespace kavlen
