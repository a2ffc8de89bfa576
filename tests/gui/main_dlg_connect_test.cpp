// The device check at the first paint and inside actions, against a real
// kavlen-sim emulator (or none): texts, colours, holds, message boxes, the
// ROM size lowered to what the device holds, and the device discipline.

#include <gtest/gtest.h>

#include "gui/resource_ids.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

constexpr unsigned kStop = MB_ICONHAND | MB_OK;
constexpr unsigned kExclamation = MB_ICONEXCLAMATION | MB_OK;
constexpr unsigned kInformation = MB_ICONINFORMATION | MB_OK;

void ExpectBoxes(const MainDlgRig& rig, const std::vector<std::pair<const char*, unsigned>>& boxes) {
  ASSERT_EQ(rig.host.boxes.size(), boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(rig.host.boxes[i].text, std::string(boxes[i].first));
    EXPECT_EQ(rig.host.boxes[i].type, boxes[i].second);
    EXPECT_EQ(rig.host.boxes[i].caption, "kavlen");
  }
}

TEST(MainDlgFirstPaint, NoDeviceEndsTheProgramAndStillSavesTheSettings) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), "Device is not Connected !!");
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_TRUE(dlg.m_bFatalBlink);
  ExpectBoxes(rig, {{"FATAL ERROR -- OPEN DEVICE Fail \n\n\r Program will be terminated !!", kStop}});
  EXPECT_EQ(rig.QuitRequests(), 1);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OPEN_FAILED);
  // The settings were read first: 512 KBytes selected, not lowered.
  EXPECT_EQ(rig.CheckedRomSize(), IDC_ROM_512K);
  rig.Command(IDCANCEL);
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
  EXPECT_EQ(rig.statusAtSleep, std::vector<std::string>{"Connected And Boot Code Already !!"});
  EXPECT_EQ(rig.StatusText(), "Load Device OS Ready...");
  EXPECT_EQ(rig.StatusColour(), RGB(0, 0, 255));
  EXPECT_EQ(dlg.m_nHoldTicks, 2);
  EXPECT_EQ(rig.Text(dlg.m_deviceOsLabel), "Kavlen II Ver: 1.2");
  EXPECT_EQ(rig.Colour(dlg.m_deviceOsLabel), RGB(0, 127, 0));
  // The simulator's checksum is the 16-bit sum of the device OS file.
  EXPECT_EQ(rig.Text(dlg.m_deviceInfoLabel), "CHK: 0XF800 ,  2 MBytes");
  EXPECT_EQ(rig.Colour(dlg.m_deviceInfoLabel), RGB(96, 96, 96));
  EXPECT_TRUE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OK);
  EXPECT_EQ(dlg.m_supportedSizeCode, 5);
  EXPECT_EQ(dlg.m_nRomSize, 5);
  EXPECT_EQ(rig.CheckedRomSize(), IDC_ROM_2048K);
  EXPECT_TRUE(dlg.m_bSelfConnect);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_TRUE(rig.host.boxes.empty());
  EXPECT_EQ(rig.QuitRequests(), 0);
  ASSERT_EQ(rig.debugLines.size(), 2u);
  EXPECT_EQ(rig.debugLines[1], rig.programDir.path() + "/TPROMOS.USB");

  rig.Command(IDCANCEL);
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
                kInformation}});
  EXPECT_EQ(rig.StatusText(), "Load Device OS...");
  EXPECT_EQ(dlg.m_nHoldTicks, 3);
  EXPECT_FALSE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_supportedSizeCode, 4);
  EXPECT_EQ(dlg.m_nRomSize, 4);
  EXPECT_EQ(rig.CheckedRomSize(), IDC_ROM_1024K);
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

TEST(MainDlgFirstPaint, RefusedStartOfTheDeviceOs) {
  MainDlgRig rig({"--state", "boot", "--start-os-fails"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteDeviceOs();
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), "Load Device OS Fail...");
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 2);
  EXPECT_EQ(rig.Text(dlg.m_deviceOsLabel), "?????");
  EXPECT_EQ(rig.Colour(dlg.m_deviceOsLabel), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OS_LOAD_FAILED);
  EXPECT_FALSE(dlg.m_bDeviceOsRunning);
  EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(MainDlgFirstPaint, DeviceOsAlreadyRunning) {
  MainDlgRig rig({"--state", "os", "--capacity-mask", "0x07", "--os-checksum", "0x1A2B",
                  "--model", "1", "--version", "0x34"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=1024\n");
  CMainDlg& dlg = rig.Open();
  dlg.FirstPaintInit();
  EXPECT_EQ(rig.StatusText(), "Connected and Device OS already !!");
  EXPECT_EQ(rig.StatusColour(), RGB(0, 255, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 0);
  EXPECT_EQ(rig.Text(dlg.m_deviceOsLabel), "Kavlen I 3.4");
  EXPECT_EQ(rig.Text(dlg.m_deviceInfoLabel), "CHK: 0X1A2B ,  512 KBytes");
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OK);
  EXPECT_TRUE(dlg.m_bDeviceOsRunning);
  EXPECT_EQ(dlg.m_nRomSize, 3);
  EXPECT_TRUE(rig.sleeps.empty());
  dlg.OnTimer(2);
  EXPECT_EQ(rig.StatusText(), "Ready...");
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
  EXPECT_TRUE(rig.Text(dlg.m_deviceInfoLabel).ends_with(" ??? MBytes")) << rig.Text(dlg.m_deviceInfoLabel);
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
    ExpectBoxes(rig, {{"DEVICE FATAL Error !! ", kExclamation}});
    EXPECT_EQ(rig.StatusText(), "Device Fatal error happened !!");
    EXPECT_TRUE(dlg.m_bFatalBlink);
    EXPECT_EQ(rig.Text(dlg.m_deviceOsLabel), std::string(c.nameText));
    EXPECT_EQ(dlg.m_nRomSize, 4);  // the window's first supported code
    EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
    EXPECT_EQ(rig.QuitRequests(), 0);

    rig.host.boxes.clear();
    EXPECT_EQ(dlg.ConnectDevice(), 0);
    ExpectBoxes(rig, {{"DEVICE FATAL Error !! ", kExclamation}});
    EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
    EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
  }
}

TEST(MainDlgConnect, NoDeviceAsksToCheckTheCableAndEnds) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  EXPECT_EQ(dlg.ConnectDevice(), 0);
  ExpectBoxes(rig, {{"OPEN DEVICE Fail , Check the USB Cable !!", kExclamation}});
  EXPECT_EQ(rig.StatusText(), "Device is not Connected !!");
  EXPECT_TRUE(dlg.m_bFatalBlink);
  EXPECT_EQ(dlg.m_deviceState, DEV_STATE_OPEN_FAILED);
  EXPECT_EQ(rig.QuitRequests(), 1);
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
  dlg.ShowFatal("Device Fatal error happened !!");
  dlg.OnTimer(1);
  dlg.OnReConnect();
  EXPECT_TRUE(dlg.m_bFirstPaint);
  EXPECT_FALSE(dlg.m_bFatalBlink);
  EXPECT_FALSE(dlg.m_bBlinkOn);
  EXPECT_EQ(rig.StatusText(), "Connected and Device OS already !!");
  EXPECT_EQ(dlg.m_hDevice, kInvalidHandle);
  dlg.OnTimer(1);
  EXPECT_EQ(rig.StatusText(), "Connected and Device OS already !!");
}

TEST(MainDlgConnect, UpdateOsWithoutDeviceShowsTheDetectError) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.OnUpdateOs();
  EXPECT_EQ(rig.StatusText(), "Detect Device Error happened !!");
  EXPECT_EQ(rig.StatusColour(), RGB(127, 0, 0));
  EXPECT_EQ(dlg.m_nHoldTicks, 3);
  EXPECT_EQ(rig.QuitRequests(), 1);
}

// The first paint runs the check once, and each status text is painted
// before the step that follows it, not merely stored.
TEST(MainDlgFirstPaint, RunsOnceAndPaintsEachTextBeforeItsStep) {
  MainDlgRig rig({"--state", "boot", "--capacity-mask", "0x3F"});
  ASSERT_TRUE(rig.sim->ready());
  rig.WriteDeviceOs();
  CMainDlg& dlg = rig.Open();
  dlg.OnPaint();
  EXPECT_FALSE(dlg.m_bFirstPaint);
  EXPECT_EQ(rig.StatusText(), "Load Device OS Ready...");
  EXPECT_EQ(rig.sleeps.size(), 1u);
  EXPECT_EQ(rig.paintedAtSleep, std::vector<std::string>{"Connected And Boot Code Already !!"});
  ASSERT_EQ(rig.debugLines.size(), 2u);  // the device OS path, written before the load
  EXPECT_EQ(rig.paintedAtDebug[1], "Load Device OS...");
  EXPECT_EQ(rig.host.LastPainted(IDC_STATUS), "Load Device OS Ready...");
  dlg.OnPaint();
  EXPECT_EQ(rig.sleeps.size(), 1u);
  rig.Command(IDCANCEL);
  EXPECT_EQ(rig.Violations(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kavlen
