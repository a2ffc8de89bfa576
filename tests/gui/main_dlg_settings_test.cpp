// kavlen.ini: what the first paint reads from it and what closing the
// window writes back, through the real settings file code on a temp folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "gui/resource_ids.h"
#include "tests/gui/main_dlg_rig.h"

namespace kavlen {
namespace {

using test::MainDlgRig;

struct SettingsCase {
  const char* name;
  const char* ini;  // nullptr: no file
  bool verify;
  int romSize;
  const char* path;
};

class SettingsLoad : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsLoad, SelectsVerifySizeAndPath) {
  const SettingsCase& c = GetParam();
  MainDlgRig rig;
  if (c.ini != nullptr) rig.WriteIni(c.ini);
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();

  EXPECT_EQ(dlg.m_bVerify, c.verify);
  EXPECT_EQ(rig.host.IsDlgButtonChecked(IDC_VERIFY), c.verify);
  EXPECT_EQ(dlg.m_nRomSize, c.romSize);
  EXPECT_EQ(rig.CheckedRomSize(),
            IDC_ROM_64K + c.romSize);
  EXPECT_EQ(rig.Text(IDC_IMAGE_PATH), std::string(c.path));
  EXPECT_EQ(dlg.m_szIniPath, rig.IniPath());
}

const std::string kLongPath(300, 'p');

INSTANTIATE_TEST_SUITE_P(
    MainDlg, SettingsLoad,
    ::testing::Values(
        SettingsCase{"NoFile", nullptr, true, 3, "DownLoad Firmware Path"},
        SettingsCase{"VerifyLow8BitsZero", "[VENDOR_COMMAND]\nVerifyCheck=256\n", false, 3,
                     "DownLoad Firmware Path"},
        SettingsCase{"VerifyZero", "[VENDOR_COMMAND]\nVerifyCheck=0\n", false, 3,
                     "DownLoad Firmware Path"},
        SettingsCase{"VerifyOne", "[VENDOR_COMMAND]\nVerifyCheck=1\n", true, 3,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size100Is64K", "[VENDOR_COMMAND]\nROMSize=100\n", true, 0,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size200QuotientAsCode", "[VENDOR_COMMAND]\nROMSize=200\n", true, 3,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size320QuotientAsCode", "[VENDOR_COMMAND]\nROMSize=320\n", true, 5,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size2048", "[VENDOR_COMMAND]\nROMSize=2048\n", true, 5,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size4096", "[VENDOR_COMMAND]\nROMSize=4096\n", true, 6,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size0", "[VENDOR_COMMAND]\nROMSize=0\n", true, 0, "DownLoad Firmware Path"},
        SettingsCase{"NotANumberReadsZero", "[VENDOR_COMMAND]\nROMSize=big\n", true, 0,
                     "DownLoad Firmware Path"},
        // Quotients that name no button are held to the largest one.
        SettingsCase{"Quotient7HeldTo4096", "[VENDOR_COMMAND]\nROMSize=448\n", true, 6,
                     "DownLoad Firmware Path"},
        SettingsCase{"Size8192HeldTo4096", "[VENDOR_COMMAND]\nROMSize=8192\n", true, 6,
                     "DownLoad Firmware Path"},
        SettingsCase{"NegativeHeldTo4096", "[VENDOR_COMMAND]\nROMSize=-1\n", true, 6,
                     "DownLoad Firmware Path"},
        SettingsCase{"Path", "[DownLoadPath]\nPATH=/roms/boot.bin\n", true, 3, "/roms/boot.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainDlgSettings, PathIsCutTo254Characters) {
  MainDlgRig rig;
  rig.WriteIni("[DownLoadPath]\nPATH=" + kLongPath + "\n");
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  EXPECT_EQ(rig.Text(IDC_IMAGE_PATH),
            (std::string(254, 'p')));
}

TEST(MainDlgSettings, TracesTheVerifyValueAsRead) {
  MainDlgRig rig;
  rig.WriteIni("[VENDOR_COMMAND]\nVerifyCheck=513\nTargetReset=258\n");
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  ASSERT_EQ(rig.debugLines.size(), 1u);
  EXPECT_EQ(rig.debugLines[0], "IniCheck= 1 \n\r ");
  EXPECT_EQ(dlg.m_iniVerifyCheck, 1);
  EXPECT_EQ(dlg.m_iniTargetReset, 2);
  EXPECT_EQ(dlg.m_iniRomSize, 255u);
}

TEST(MainDlgSettings, NoFileIsCreatedWithDefaultsOnClose) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  rig.Command(IDCANCEL);
  EXPECT_EQ(rig.IniText(),
            "[VENDOR_COMMAND]\nTargetReset=1\nVerifyCheck=1\nROMSize=512\n"
            "[DownLoadPath]\nPATH=DownLoad Firmware Path\n");
  EXPECT_EQ(dlg.m_pImage, nullptr);
}

TEST(MainDlgSettings, ValuesAreWrittenBackAsTheWindowHoldsThem) {
  MainDlgRig rig;
  rig.WriteIni(
      "; kept\n[VENDOR_COMMAND]\nTargetReset=0\nVerifyCheck=0\nROMSize=128\n"
      "[DownLoadPath]\nPATH=a.bin\n");
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  rig.Click(IDC_ROM_64K);
  rig.Command(IDCANCEL);
  EXPECT_EQ(rig.IniText(),
            "; kept\n[VENDOR_COMMAND]\nTargetReset=1\nVerifyCheck=0\nROMSize=64\n"
            "[DownLoadPath]\nPATH=a.bin\n");
}

TEST(MainDlgSettings, ExitReadsTheControlsEscapeDoesNot) {
  for (const bool viaExit : {true, false}) {
    SCOPED_TRACE(viaExit ? "Exit" : "Escape");
    MainDlgRig rig;
    CMainDlg& dlg = rig.Open();
    dlg.LoadSettings();  // verify on, 512 KBytes
    rig.host.CheckDlgButton(IDC_VERIFY, false);
    rig.host.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_256K);
    if (viaExit) {
      rig.Command(IDOK);
    } else {
      rig.Command(IDCANCEL);
    }
    const std::string held = viaExit ? "VerifyCheck=0\nROMSize=256\n" : "VerifyCheck=1\nROMSize=512\n";
    EXPECT_EQ(rig.IniText(), "[VENDOR_COMMAND]\nTargetReset=1\n" + held +
                                 "[DownLoadPath]\nPATH=DownLoad Firmware Path\n");
  }
}

TEST(MainDlgSettings, OnlyTheFirstLineOfThePathIsWritten) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  rig.host.SetDlgItemText(IDC_IMAGE_PATH, "/roms/a.bin\r\n[Evil]\nx=1");
  rig.Command(IDCANCEL);
  EXPECT_EQ(rig.IniText(),
            "[VENDOR_COMMAND]\nTargetReset=1\nVerifyCheck=1\nROMSize=512\n"
            "[DownLoadPath]\nPATH=/roms/a.bin\n");
}

// Four keys fail to be written; the user is told once, with the file's name.
TEST(MainDlgSettings, AFailedSaveIsReportedOnce) {
  MainDlgRig rig;
  std::filesystem::create_directory(rig.IniPath());  // a folder cannot take the settings
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  rig.Command(IDCANCEL);
  ASSERT_EQ(rig.host.boxes.size(), 1u);
  EXPECT_EQ(rig.host.boxes[0].text,
            "The settings could not be saved to\n" + (rig.IniPath()));
  EXPECT_EQ(rig.host.boxes[0].type, MB_ICONEXCLAMATION | MB_OK);
}

TEST(MainDlgSettings, ClosingBeforeTheFirstPaintWritesNothing) {
  MainDlgRig rig;
  rig.Open();
  rig.Command(IDCANCEL);
  EXPECT_EQ(rig.IniText(), "");
}

TEST(MainDlgSettings, DestructionRunsOnce) {
  MainDlgRig rig;
  CMainDlg& dlg = rig.Open();
  dlg.LoadSettings();
  rig.Command(IDCANCEL);
  rig.WriteIni("[VENDOR_COMMAND]\nROMSize=64\n");
  rig.Command(IDOK);  // the window is gone already: nothing more is written
  EXPECT_EQ(rig.IniText(), "[VENDOR_COMMAND]\nROMSize=64\n");
}

}  // namespace
}  // namespace kavlen
