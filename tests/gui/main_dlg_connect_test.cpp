// The device check at the first paint and inside actions, against a real
// kavlen-sim emulator (or none): texts, colours, holds, message boxes, the
// ROM size lowered to what the device holds, and the device discipline.

#include <QAbstractButton>
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "gui/qt/controls/color_label.h"
#include "gui/resource_ids.h"
#include "gui/qt/ui_services.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

constexpr unsigned kStop = MB_ICONHAND | MB_OK;
constexpr unsigned kExclamation = MB_ICONEXCLAMATION | MB_OK;
constexpr unsigned kInformation = MB_ICONINFORMATION | MB_OK;

void ExpectBoxes(const MainDlgRig& rig, const std::vector<std::pair<const char*, unsigned>>& boxes,
                 const CMainDlg& dlg) {
  ASSERT_EQ(rig.ui.messageBoxes.size(), boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(rig.ui.messageBoxes[i].text, QString::fromLatin1(boxes[i].first));
    EXPECT_EQ(rig.ui.messageBoxes[i].type, boxes[i].second);
    EXPECT_EQ(rig.ui.messageBoxes[i].caption, QStringLiteral("kavlen"));
    EXPECT_EQ(rig.ui.messageBoxes[i].owner, &dlg);
  }
}

TEST(MainDlgFirstPaint, NoDeviceEndsTheProgramAndStillSavesTheSettings) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Device is not Connected !!"));
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_TRUE(dlg.m_bFatalBlink);
  ExpectBoxes(rig, {{"FATAL ERROR -- OPEN DEVICE Fail \n\n\r Program will be terminated !!", kStop}},
              dlg);
  EXPECT_EQ(rig.quitRequests, 1);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OPEN_FAILED);
  // The settings were read first: 512 KBytes selected, not lowered.
  EXPECT_EQ(dlg.Controls().GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_512K);
  dlg.reject();
  EXPECT_NE(rig.IniText().find("ROMSize=512"), std::string::npos);
}

TEST(MainDlgFirstPaint, BootCodeLoadsTheDeviceOsAndLowersTheSize) {
  MainDlgRig rig({"--state", "boot", "--capacity-mask", "0x1F", "--model", "2", "--version",
                  "0x12"});
  ASSERT_TRUE(rig.sim->ready()) << rig.sim->output();
  rig.WriteDeviceOs(4096);
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=4096\n");
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();

  EXPECT_EQ(rig.sleeps, std::vector<int>{1000});
  EXPECT_EQ(rig.statusAtSleep, std::vector<QString>{QStringLiteral("Connected And Boot Code Already !!")});
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Load Device OS Ready..."));
  EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
  EXPECT_EQ(dlg.m_nHoldTicks, 2);
  EXPECT_EQ(dlg.m_deviceOsLabel->text(), QStringLiteral("Kavlen II Ver: 1.2"));
  EXPECT_EQ(dlg.m_deviceOsLabel->TextColor(), RGB(0, 127, 0));
  // The simulator's checksum is the 16-bit sum of the device OS file.
  EXPECT_EQ(dlg.m_deviceInfoLabel->text(), QStringLiteral("CHK: 0XF800 ,  2 MBytes"));
  EXPECT_EQ(dlg.m_deviceInfoLabel->TextColor(), RGB(96, 96, 96));
  EXPECT_TRUE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OK);
  EXPECT_EQ(dlg.m_supportedSizeCode, 5);
  EXPECT_EQ(dlg.m_nRomSize, 5);
  EXPECT_EQ(dlg.Controls().GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_2048K);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_TRUE(rig.ui.messageBoxes.empty());
  EXPECT_EQ(rig.quitRequests, 0);
  ASSERT_EQ(rig.debugLines.size(), 2u);
  EXPECT_EQ(rig.debugLines[1], rig.programDir.path() + "/TPROMOS.USB");

  dlg.reject();
  EXPECT_NE(rig.IniText().find("ROMSize=2048"), std::string::npos) << rig.IniText();
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(MainDlgFirstPaint, BootCodeWithoutDeviceOsFileKeepsTheFirstSupportedSize) {
  MainDlgRig rig({"--state", "boot", "--capacity-mask", "0x3F"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=4096\n");
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  ExpectBoxes(rig,
              {{"Warning :: Missing Device OS File ... \n\n\r Please re-install the system ...",
                kInformation}},
              dlg);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Load Device OS..."));
  EXPECT_EQ(dlg.m_nHoldTicks, 3);
  EXPECT_FALSE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_supportedSizeCode, 4);
  EXPECT_EQ(dlg.m_nRomSize, 4);
  EXPECT_EQ(dlg.Controls().GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K), IDC_ROM_1024K);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(MainDlgFirstPaint, RefusedStartOfTheDeviceOs) {
  MainDlgRig rig({"--state", "boot", "--start-os-fails"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteDeviceOs();
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Load Device OS Fail..."));
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 2);
  EXPECT_EQ(dlg.m_deviceOsLabel->text(), QStringLiteral("?????"));
  EXPECT_EQ(dlg.m_deviceOsLabel->TextColor(), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OS_LOAD_FAILED);
  EXPECT_FALSE(dlg.m_bDeviceOsRunning);
  EXPECT_TRUE(rig.ui.messageBoxes.empty());
}

TEST(MainDlgFirstPaint, DeviceOsAlreadyRunning) {
  MainDlgRig rig({"--state", "os", "--capacity-mask", "0x07", "--os-checksum", "0x1A2B",
                  "--model", "1", "--version", "0x34"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=1024\n");
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Connected and Device OS already !!"));
  EXPECT_EQ(rig.StatusColour(), RGB(0, 255, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 0);
  EXPECT_EQ(dlg.m_deviceOsLabel->text(), QStringLiteral("Kavlen I 3.4"));
  EXPECT_EQ(dlg.m_deviceInfoLabel->text(), QStringLiteral("CHK: 0X1A2B ,  512 KBytes"));
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OK);
  EXPECT_TRUE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_nRomSize, 3);
  EXPECT_TRUE(rig.sleeps.empty());
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Ready..."));
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(MainDlgFirstPaint, CapacityNotRecognisedNeverLowers) {
  MainDlgRig rig({"--state", "os", "--capacity-mask", "0x05"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=4096\n");
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(dlg.m_supportedSizeCode, 255);
  EXPECT_EQ(dlg.m_nRomSize, 6);
  EXPECT_EQ(dlg.m_deviceInfoLabel->text().right(11), QStringLiteral(" ??? MBytes"));
}

// Replies that are neither the boot code nor the device OS.
TEST(MainDlgFirstPaint, UnusableIdentificationIsFatal) {
  const struct {
    const char* bootReply;
    const char* nameText;
  } cases[] = {{"0", "?????"}, {"0x55", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bootReply);
    MainDlgRig rig({"--boot-reply", c.bootReply});
    ASSERT_TRUE(rig.sim->ready());
    rig.WriteIni("[VENDOR_COMMAND]\nROMSize=2048\n");
    CMainDlg& dlg = rig.Open();
    dlg.FirstPaintInit();
    ExpectBoxes(rig, {{"DEVICE FATAL Error !! ", kExclamation}}, dlg);
    EXPECT_EQ(rig.StatusText(), QStringLiteral("Device Fatal error happened !!"));
    EXPECT_TRUE(dlg.m_bFatalBlink);
    EXPECT_EQ(dlg.m_deviceOsLabel->text(), QString::fromLatin1(c.nameText));
    EXPECT_EQ(dlg.m_nRomSize, 4);  // the window's first supported code
    EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
    EXPECT_EQ(rig.quitRequests, 0);

    rig.ui.messageBoxes.clear();
    EXPECT_EQ(dlg.ConnectDevice(), 0);
    ExpectBoxes(rig, {{"DEVICE FATAL Error !! ", kExclamation}}, dlg);
    EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
    EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
  }
}

TEST(MainDlgConnect, NoDeviceAsksToCheckTheCableAndEnds) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  EXPECT_EQ(dlg.ConnectDevice(), 0);
  ExpectBoxes(rig, {{"OPEN DEVICE Fail , Check the USB Cable !!", kExclamation}}, dlg);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Device is not Connected !!"));
  EXPECT_TRUE(dlg.m_bFatalBlink);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OPEN_FAILED);
  EXPECT_EQ(rig.quitRequests, 1);
}

TEST(MainDlgConnect, LeavesTheDeviceOpenForTheCaller) {
  MainDlgRig rig({"--state", "os"});
  ASSERT_TRUE(rig.sim->ready());
  CMainDlg& dlg = rig.Open();
  EXPECT_EQ(dlg.ConnectDevice(), 1);
  EXPECT_NE(dlg.m_hDevice, kInvalidHandle);
  dlg.CloseDevice();
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(MainDlgConnect, ReConnectEndsTheBlinkAndArmsTheFirstPaint) {
  MainDlgRig rig({"--state", "os"});
  ASSERT_TRUE(rig.sim->ready());
  CMainDlg& dlg = rig.Open();
  dlg.m_bFirstPaint = false;
  dlg.ShowFatal(QStringLiteral("Device Fatal error happened !!"));
  dlg.OnTimer(1);
  dlg.OnReConnect();
  EXPECT_TRUE(dlg.m_bFirstPaint);
  EXPECT_FALSE(dlg.m_bFatalBlink);
  EXPECT_FALSE(dlg.m_bBlinkOn);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Connected and Device OS already !!"));
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  dlg.OnTimer(1);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Connected and Device OS already !!"));
}

TEST(MainDlgConnect, UpdateOsWithoutDeviceShowsTheDetectError) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.OnUpdateOs();
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Detect Device Error happened !!"));
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 3);
  EXPECT_EQ(rig.quitRequests, 1);
}

// The real first paint: showing the window runs the check once, after the
// window has been drawn. KAVLEN_GRAB_DIR names a folder for a screenshot.
TEST(MainDlgFirstPaint, RunsOnceAfterTheWindowIsShown) {
  MainDlgRig rig({"--state", "boot", "--capacity-mask", "0x3F"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteDeviceOs();
  CMainDlg& dlg = rig.Open();
  test::ShowAndWait(dlg);
  QCoreApplication::processEvents();
  EXPECT_FALSE(dlg.m_bFirstPaint);
  EXPECT_EQ(rig.StatusText(), QStringLiteral("Load Device OS Ready..."));
  EXPECT_EQ(rig.sleeps.size(), 1u);
  // Each status text was on the screen before the step that followed it.
  EXPECT_EQ(rig.paintedAtSleep, std::vector<QString>{QStringLiteral("Connected And Boot Code Already !!")});
  ASSERT_EQ(rig.debugLines.size(), 2u);  // the device OS path, written before the load
  EXPECT_EQ(rig.paintedAtDebug[1], QStringLiteral("Load Device OS..."));
  EXPECT_EQ(rig.statusPainted.back(), QStringLiteral("Load Device OS Ready..."));
  dlg.repaint();
  QCoreApplication::processEvents();
  EXPECT_EQ(rig.sleeps.size(), 1u);
  if (const QByteArray dir = qgetenv("KAVLEN_GRAB_DIR"); !dir.isEmpty()) {
    dlg.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/kavlen-boot.png"));
  }
  dlg.reject();
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kavlen
