// The main window's life: its initialisation, the settings file, the
// first-paint hook, the commands the host forwards, the timers and the
// destruction steps.

#include "gui/main_dlg.h"

#include <algorithm>

#include "device/str_printf.h"
#include "gui/settings_file.h"

namespace kavlen {

namespace {

constexpr const char* kVendorSection = "VENDOR_COMMAND";
constexpr const char* kPathSection = "DownLoadPath";
constexpr const char* kPathDefault = "DownLoad Firmware Path";
constexpr std::uint32_t kPathCapacity = 255;
constexpr std::int32_t kIntDefault = 255;

// The settings file stores the code as kilobytes, 64 x 2^code. Quotients of
// whole powers of two map to their code; any other quotient is taken as the
// code itself. A code beyond the seven buttons is held to the largest one,
// so that no transfer ever runs with a capacity the image buffer lacks.
int RomSizeCodeFromKilobytes(std::uint32_t kilobytes) {
  const std::uint32_t q = kilobytes / 64;
  switch (q) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    case 16: return 4;
    case 32: return 5;
    case 64: return 6;
    default:
      return static_cast<int>(std::min<std::uint32_t>(q, kLargestTransferSizeCode));
  }
}

int ClampedRomSize(int code) { return std::clamp(code, 0, int{kLargestTransferSizeCode}); }

}  // namespace

CMainDlg::CMainDlg(DialogHost& host, MainDlgServices services)
    : m_host(host),
      m_services(std::move(services)),
      m_link(m_services.driver, m_services.trace, Flavour::Gui) {}

CMainDlg::~CMainDlg() {
  if (m_bInitialised) OnDestroy();
}

bool CMainDlg::OnCommand(int id) {
  switch (id) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    case IDC_DOWNLOAD: OnDownload(); return true;
    case IDC_UPDATE_OS: OnUpdateOs(); return true;
    case IDC_ABOUT: OnAbout(); return true;
    case IDC_RESET_TARGET: OnResetTarget(); return true;
    case IDC_ROM_64K: OnRomSize64(); return true;
    case IDC_ROM_128K: OnRomSize128(); return true;
    case IDC_ROM_256K: OnRomSize256(); return true;
    case IDC_ROM_512K: OnRomSize512(); return true;
    case IDC_ROM_1024K: OnRomSize1024(); return true;
    case IDC_ROM_2048K: OnRomSize2048(); return true;
    case IDC_ROM_4096K: OnRomSize4096(); return true;
    case IDC_BROWSE: OnBrowser(); return true;
    case IDC_LOAD_TO_BUFFER: OnLoadToBuffer(); return true;
    case IDC_USER_CMD: OnUserCmd(); return true;
    case IDC_RECONNECT: OnReConnect(); return true;
    case IDC_READ_BUFFER: OnReadBuffer(); return true;
    case IDC_WRITE_BUFFER: OnWriteBuffer(); return true;
    case IDC_VERIFY: OnVerifyCheck(); return true;
    // Only a choice from the list reaches here; typing in its edit does not.
    case IDC_DUMP_ADDRESS: OnAddressSelChange(); return true;
    default: return false;
  }
}

void CMainDlg::DoDataExchange(bool saveAndValidate) {
  if (saveAndValidate) {
    // With no button checked the member keeps its code: a code of -1 would
    // reach the capacity tables.
    for (int id = IDC_ROM_64K; id <= IDC_ROM_4096K; ++id) {
      if (m_host.IsDlgButtonChecked(id)) {
        m_nRomSize = id - IDC_ROM_64K;
        break;
      }
    }
    m_bVerify = m_host.IsDlgButtonChecked(IDC_VERIFY);
    return;
  }
  m_host.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_64K + m_nRomSize);
  m_host.CheckDlgButton(IDC_VERIFY, m_bVerify);
}

void CMainDlg::SetLabel(int id, COLORREF colour, const std::string& text) {
  m_host.SetTextColor(id, colour);
  m_host.SetDlgItemText(id, text);
}

void CMainDlg::OnInitDialog() {
  DoDataExchange(false);
  m_hDevice = kInvalidHandle;
  m_cmdBlockSize = static_cast<std::int32_t>(kCommandBlockSize);

  SetStatus(StrPrintf("System %s", "Ready..."), kBlue);
  m_bStatusHold = false;

  m_host.SetTextColor(m_deviceOsLabel, kDarkGreen);
  SetLabel(m_lengthLabel, kGreen, "0");
  SetLabel(m_checksumLabel, kDarkRed, "0x00000000");

  m_host.SetTextColor(m_addressLabel, kDarkBlue);
  m_host.SetTextColor(m_orginalLabel, kDarkGreen);
  m_host.SetTextColor(m_targetLabel, kLightRed);
  m_host.SetDlgItemText(m_addressLabel, "0x000000");
  m_host.SetDlgItemText(m_orginalLabel, "0x00");
  m_host.SetDlgItemText(m_targetLabel, "0x00");

  if (!m_host.SetTimer(kFatalBlinkTimer, kFatalBlinkPeriodMs)) {
    SetStatusText("First Timer Set Fail !");
    m_nHoldTicks = 1;
    m_bStatusHold = true;
  }
  if (!m_host.SetTimer(kStatusHoldTimer, kStatusHoldPeriodMs)) {
    SetStatusText("Second Timer Setting Fail!");
    m_nHoldTicks = 1;
    m_bStatusHold = true;
  }

  // No size is shown selected until the first paint has read the settings.
  m_host.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, 0);

  m_host.SendDlgItemMessage(m_addressCombo, CB_SETCURSEL, 0, 0);
  m_nDumpBlock = 0;
  m_bDumpRequest = false;

  m_image.Allocate();
  m_pImage = m_image.data();

  m_bFirstPaint = true;
  m_bFatalBlink = false;
  m_bBlinkOn = false;
  m_bDeviceOsRunning = false;
  m_bSelfConnect = true;
  m_supportedSizeCode = 4;
  m_nImageLength = 0;

  m_host.SendDlgItemMessage(m_progress, PBM_SHOWCAPTION, 0, 0);
  m_host.SendDlgItemMessage(m_progress, PBM_SETBARCOLOR, 0, kBlue);
  m_host.SendDlgItemMessage(m_progress, PBM_SETBKCOLOR, 0, kWhite);
  m_bInitialised = true;
}

void CMainDlg::OnPaint() {
  if (!m_bFirstPaint || !m_bInitialised || m_bDestroyed) return;
  m_bFirstPaint = false;
  FirstPaintInit();
}

void CMainDlg::LoadSettings() {
  m_szIniPath = m_services.settings.PathFor(m_services.moduleDir);
  SettingsFile& ini = m_services.settings;
  m_iniTargetReset =
      static_cast<std::uint8_t>(ini.GetInt(kVendorSection, "TargetReset", kIntDefault, m_szIniPath));
  m_iniVerifyCheck =
      static_cast<std::uint8_t>(ini.GetInt(kVendorSection, "VerifyCheck", kIntDefault, m_szIniPath));

  m_szText = StrPrintf("IniCheck= %d \n\r ", m_iniVerifyCheck);
  DebugOutput(m_szText);

  if (m_iniVerifyCheck != 0) {
    m_bVerify = true;
    m_host.CheckDlgButton(IDC_VERIFY, true);
  }

  m_iniRomSize = ini.GetInt(kVendorSection, "ROMSize", kIntDefault, m_szIniPath);
  m_nRomSize = RomSizeCodeFromKilobytes(m_iniRomSize);
  m_host.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_64K + m_nRomSize);

  m_szImagePath = ini.GetString(kPathSection, "PATH", kPathDefault, kPathCapacity, m_szIniPath);
  m_host.SetDlgItemText(IDC_IMAGE_PATH, m_szImagePath);
}

void CMainDlg::SaveSettings() {
  // Before the first paint no settings file has been named yet.
  if (m_szIniPath.empty()) return;
  SettingsFile& ini = m_services.settings;
  bool saved = ini.WriteString(kVendorSection, "TargetReset", "1", m_szIniPath);
  saved &= ini.WriteString(kVendorSection, "VerifyCheck", m_bVerify ? "1" : "0", m_szIniPath);
  saved &= ini.WriteString(kVendorSection, "ROMSize",
                           StrPrintf("%d", 64 << ClampedRomSize(m_nRomSize)), m_szIniPath);
  // A line break would split the value over two lines of the file; only
  // the first line of the path field is a path.
  const std::string path = m_host.GetDlgItemText(IDC_IMAGE_PATH);
  saved &= ini.WriteString(kPathSection, "PATH", path.substr(0, path.find_first_of("\r\n")),
                           m_szIniPath);
  // Settings lost without a word would surprise the user at the next start.
  if (!saved) {
    MessageBox("The settings could not be saved to\n" + m_szIniPath, MB_ICONEXCLAMATION | MB_OK);
  }
}

void CMainDlg::OnDestroy() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  m_image.Release();
  m_pImage = nullptr;
  SaveSettings();
  m_host.KillTimer(kFatalBlinkTimer);
  m_host.KillTimer(kStatusHoldTimer);
}

void CMainDlg::OnOK() {
  DoDataExchange(true);
  m_host.EndDialog(IDOK);
}

void CMainDlg::OnCancel() { m_host.EndDialog(IDCANCEL); }

void CMainDlg::OnAbout() {
  if (m_services.showAboutDialog) m_services.showAboutDialog();
}

CMainDlg::ActionHold::ActionHold(CMainDlg& dlg) : m_dlg(dlg), m_outer(!dlg.m_bHoldingDevice) {
  if (!m_outer) return;
  dlg.m_bHoldingDevice = true;
  dlg.m_hold = dlg.m_link.HoldDevice(dlg.m_services.lockWait);
  if (!dlg.m_hold.busy()) return;
  m_busy = true;
  dlg.ShowStatus("Device is busy with another program !!", kDarkRed, 1);
}

CMainDlg::ActionHold::~ActionHold() {
  if (!m_outer) return;
  m_dlg.m_hold.Release();
  m_dlg.m_bHoldingDevice = false;
}

Handle CMainDlg::OpenDevice() {
  m_hDevice = m_link.OpenDevice();
  return m_hDevice;
}

void CMainDlg::CloseDevice() {
  m_link.CloseDevice();
  m_hDevice = kInvalidHandle;
}

Handle CMainDlg::OpenPipe(const char* pipeName) { return m_link.OpenPipe(pipeName); }

void CMainDlg::ClosePipe(Handle pipe) {
  if (pipe != kInvalidHandle) Api().CloseHandle(pipe);
}

int CMainDlg::MessageBox(const std::string& text, unsigned type) {
  return m_host.MessageBox(text, m_services.title, type);
}

void CMainDlg::DebugOutput(const std::string& text) {
  if (m_services.debugOutput) m_services.debugOutput(text);
}

void CMainDlg::Sleep(int milliseconds) {
  if (m_services.sleep) m_services.sleep(milliseconds);
}

// The dialog ends once the current action has returned.
void CMainDlg::PostQuitRequest() { m_host.EndDialog(IDCANCEL); }

}  // namespace kavlen
