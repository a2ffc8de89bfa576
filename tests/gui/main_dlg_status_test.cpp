// The status line: what the window shows before its first paint, the hold
// counted in ticks of timer 2, and the fatal blink on timer 1.

#include <gtest/gtest.h>

#include "gui/resource_ids.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

TEST(MainDlgStart, WindowBeforeItsFirstPaint) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  EXPECT_EQ(rig.StatusText(), "System Ready...");
  EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
  EXPECT_FALSE(dlg.m_bStatusHold);

  const struct {
    int label;
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
    EXPECT_EQ(rig.Text(l.label), l.text);
    EXPECT_EQ(rig.Colour(l.label), l.colour) << l.text;
  }

  EXPECT_EQ(rig.CheckedRomSize(), 0);
  EXPECT_FALSE(rig.host.IsDlgButtonChecked(IDC_VERIFY));
  EXPECT_EQ(rig.host.ComboSelection(IDC_DUMP_ADDRESS), 0);
  EXPECT_EQ(rig.host.timersStarted, (std::vector<std::pair<int, int>>{{1, 1000}, {2, 2650}}));
  EXPECT_NE(dlg.m_pImage, nullptr);
  EXPECT_EQ(dlg.m_supportedSizeCode, 4);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_TRUE(dlg.m_bFirstPaint);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(rig.host.Caption(IDC_PROGRESS), "");
  EXPECT_EQ(rig.host.bars[IDC_PROGRESS].barColour, RGB(0, 0, 255));
  EXPECT_EQ(rig.host.bars[IDC_PROGRESS].bkColour, RGB(255, 255, 255));

  // The seven controls created disabled are never enabled.
  for (const std::string& call : rig.host.calls) EXPECT_NE(call.rfind("EnableWindow", 0), 0u) << call;
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
    if (c.refuse1) rig.host.refusedTimers.insert(1);
    if (c.refuse2) rig.host.refusedTimers.insert(2);
    CMainDlg& dlg = rig.Open();
    EXPECT_EQ(rig.StatusText(), c.text);
    EXPECT_EQ(rig.host.LastPainted(IDC_STATUS), c.text);
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
    dlg.ShowStatus("Select 512K Bytes...", RGB(0, 255, 0), hold);
    EXPECT_TRUE(dlg.m_bStatusHold);
    for (int tick = 0; tick < hold; ++tick) {
      dlg.OnTimer(2);
      EXPECT_EQ(rig.StatusText(), "Select 512K Bytes...");
      EXPECT_EQ(dlg.m_nHoldTicks, hold - tick - 1);
    }
    dlg.OnTimer(2);
    EXPECT_EQ(rig.StatusText(), "Ready...");
    EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
    EXPECT_FALSE(dlg.m_bStatusHold);
    dlg.OnTimer(2);  // nothing held: the line stays
    EXPECT_EQ(rig.StatusText(), "Ready...");
  }
}

TEST(MainDlgStatus, ReadyBeforeTheFirstPaintIsNotHeld) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.OnTimer(2);
  dlg.OnTimer(1);
  dlg.OnTimer(3);
  EXPECT_EQ(rig.StatusText(), "System Ready...");
}

TEST(MainDlgStatus, FatalTextBlinksEverySecond) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.ShowFatal("Device is not Connected !!");
  EXPECT_EQ(rig.StatusText(), "Device is not Connected !!");
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_TRUE(dlg.m_bFatalBlink);
  EXPECT_FALSE(dlg.m_bStatusHold);  // the hold flag is not touched
  EXPECT_EQ(dlg.m_nHoldTicks, 1);

  const char* expected[] = {"Fatal Error or Device is not Connected !!", "",
                            "Fatal Error or Device is not Connected !!", ""};
  for (const char* text : expected) {
    dlg.OnTimer(1);
    EXPECT_EQ(rig.StatusText(), std::string(text));
    EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  }
}

TEST(MainDlgStatus, BlinkOverwritesReadyWithinASecond) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.ShowStatus("Load Device OS...", RGB(0, 0, 255), 0);
  dlg.ShowFatal("Device Fatal error happened !!");
  // The fatal text set the hold count to 1: the held text ends one tick later.
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), "Device Fatal error happened !!");
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), "Ready...");
  dlg.OnTimer(1);
  EXPECT_EQ(rig.StatusText(), "Fatal Error or Device is not Connected !!");
}

}  // namespace
}  // namespace kavlen
