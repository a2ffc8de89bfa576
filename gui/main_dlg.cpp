// The main window's life: building it, its initialisation, the settings
// file, the first-paint hook, the timers and the destruction steps.

#include "gui/main_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimerEvent>

#include <algorithm>

#include "device/str_printf.h"
#include "gui/controls/about_dlg.h"
#include "gui/controls/color_label.h"
#include "gui/controls/percent_bar.h"
#include "gui/dialog_template.h"
#include "gui/resource_ids.h"
#include "gui/settings_file.h"
#include "gui/ui_services.h"

namespace kavlen {

namespace {

constexpr const char* kVendorSection = "VENDOR_COMMAND";
constexpr const char* kPathSection = "DownLoadPath";
constexpr const char* kPathDefault = "DownLoad Firmware Path";
constexpr std::uint32_t kPathCapacity = 255;
constexpr std::int32_t kIntDefault = 255;

// A chip on a board, in 16 colours, at the two sizes of the window icon.
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  const int unit = size / 8;
  painter.fillRect(0, size - 2 * unit, size, 2 * unit, QColor(0, 128, 0));
  painter.fillRect(unit, unit, size - 2 * unit, size - 4 * unit, QColor(0, 0, 128));
  painter.setPen(QColor(192, 192, 192));
  for (int x = 2 * unit; x < size - unit; x += 2 * unit) {
    painter.drawLine(x, size - 3 * unit, x, size - 2 * unit);
  }
  painter.fillRect(2 * unit, 2 * unit, unit, unit, QColor(255, 255, 0));
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(16));
  return icon;
}

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

CMainDlg::CMainDlg(MainDlgServices services, QWidget* parent)
    : QDialog(parent),
      m_services(std::move(services)),
      m_link(m_services.driver, m_services.trace, Flavour::Gui) {
  m_controls = BuildDialog(*this, MainDialogTemplate(), &m_services.ui);
  m_addressCombo = m_controls.ItemAs<QComboBox>(IDC_DUMP_ADDRESS);
  m_progress = m_controls.ItemAs<CPercentBar>(IDC_PROGRESS);
  m_status = m_controls.ItemAs<CColorLabel>(IDC_STATUS);
  m_lengthLabel = m_controls.ItemAs<CColorLabel>(IDC_LENGTH);
  m_checksumLabel = m_controls.ItemAs<CColorLabel>(IDC_CHECKSUM);
  m_deviceOsLabel = m_controls.ItemAs<CColorLabel>(IDC_DEVICE_OS);
  m_deviceInfoLabel = m_controls.ItemAs<CColorLabel>(IDC_DEVICE_INFO);
  m_addressLabel = m_controls.ItemAs<CColorLabel>(IDC_ADDRESS);
  m_orginalLabel = m_controls.ItemAs<CColorLabel>(IDC_ORGINAL);
  m_targetLabel = m_controls.ItemAs<CColorLabel>(IDC_TARGET);
  m_hIcon = ProgramIcon();
  ConnectControls();
  DoDataExchange(false);
  OnInitDialog();
}

CMainDlg::~CMainDlg() {
  if (m_bInitialised) OnDestroy();
}

void CMainDlg::ConnectControls() {
  const auto onClick = [this](int id, void (CMainDlg::*action)()) {
    if (auto* button = m_controls.ItemAs<QAbstractButton>(id)) {
      connect(button, &QAbstractButton::clicked, this, [this, action] { (this->*action)(); });
    }
  };
  onClick(IDC_DOWNLOAD, &CMainDlg::OnDownload);
  onClick(IDC_UPDATE_OS, &CMainDlg::OnUpdateOs);
  onClick(IDC_ABOUT, &CMainDlg::OnAbout);
  onClick(IDC_RESET_TARGET, &CMainDlg::OnResetTarget);
  onClick(IDC_ROM_64K, &CMainDlg::OnRomSize64);
  onClick(IDC_ROM_128K, &CMainDlg::OnRomSize128);
  onClick(IDC_ROM_256K, &CMainDlg::OnRomSize256);
  onClick(IDC_ROM_512K, &CMainDlg::OnRomSize512);
  onClick(IDC_ROM_1024K, &CMainDlg::OnRomSize1024);
  onClick(IDC_ROM_2048K, &CMainDlg::OnRomSize2048);
  onClick(IDC_ROM_4096K, &CMainDlg::OnRomSize4096);
  onClick(IDC_BROWSE, &CMainDlg::OnBrowser);
  onClick(IDC_USER_CMD, &CMainDlg::OnUserCmd);
  onClick(IDC_RECONNECT, &CMainDlg::OnReConnect);
  onClick(IDC_READ_BUFFER, &CMainDlg::OnReadBuffer);
  onClick(IDC_WRITE_BUFFER, &CMainDlg::OnWriteBuffer);
  onClick(IDC_VERIFY, &CMainDlg::OnVerifyCheck);
  if (auto* button = m_controls.ItemAs<QAbstractButton>(IDC_LOAD_TO_BUFFER)) {
    connect(button, &QAbstractButton::clicked, this, [this] { OnLoadToBuffer(); });
  }
  // Only a choice from the list counts; typing in the edit field does not.
  if (m_addressCombo != nullptr) {
    connect(m_addressCombo, &QComboBox::activated, this, [this] { OnAddressSelChange(); });
  }
}

void CMainDlg::DoDataExchange(bool saveAndValidate) {
  if (saveAndValidate) {
    // With no button checked the member keeps its code: a code of -1 would
    // reach the capacity tables.
    const int checked = m_controls.GetCheckedRadioButton(IDC_ROM_64K, IDC_ROM_4096K);
    if (checked != 0) m_nRomSize = checked - IDC_ROM_64K;
    m_bVerify = m_controls.IsDlgButtonChecked(IDC_VERIFY);
    return;
  }
  m_controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_64K + m_nRomSize);
  m_controls.CheckDlgButton(IDC_VERIFY, m_bVerify);
}

void CMainDlg::OnInitDialog() {
  setWindowIcon(m_hIcon);
  m_hDevice = kInvalidHandle;
  m_cmdBlockSize = static_cast<std::int32_t>(kCommandBlockSize);

  SetStatus(QStringLiteral("System %1").arg(QStringLiteral("Ready...")), kBlue);
  m_bStatusHold = false;

  m_deviceOsLabel->SetTextColor(kDarkGreen);
  m_lengthLabel->SetTextColor(kGreen);
  m_lengthLabel->setText(QStringLiteral("0"));
  m_checksumLabel->SetTextColor(kDarkRed);
  m_checksumLabel->setText(QStringLiteral("0x00000000"));

  m_addressLabel->SetTextColor(kDarkBlue);
  m_orginalLabel->SetTextColor(kDarkGreen);
  m_targetLabel->SetTextColor(kLightRed);
  m_addressLabel->setText(QStringLiteral("0x000000"));
  m_orginalLabel->setText(QStringLiteral("0x00"));
  m_targetLabel->setText(QStringLiteral("0x00"));

  if (!StartTimer(kFatalBlinkTimer, kFatalBlinkPeriodMs)) {
    SetStatusText(QStringLiteral("First Timer Set Fail !"));
    m_nHoldTicks = 1;
    m_bStatusHold = true;
  }
  if (!StartTimer(kStatusHoldTimer, kStatusHoldPeriodMs)) {
    SetStatusText(QStringLiteral("Second Timer Setting Fail!"));
    m_nHoldTicks = 1;
    m_bStatusHold = true;
  }

  // No size is shown selected until the first paint has read the settings.
  m_controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, 0);

  if (m_addressCombo != nullptr) m_addressCombo->setCurrentIndex(0);
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

  m_progress->ShowCaption(false);
  m_progress->SetBarColor(kBlue);
  m_progress->SetBkColor(kWhite);
  m_bInitialised = true;
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
    m_controls.CheckDlgButton(IDC_VERIFY, true);
  }

  m_iniRomSize = ini.GetInt(kVendorSection, "ROMSize", kIntDefault, m_szIniPath);
  m_nRomSize = RomSizeCodeFromKilobytes(m_iniRomSize);
  m_controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_64K + m_nRomSize);

  m_szImagePath = ini.GetString(kPathSection, "PATH", kPathDefault, kPathCapacity, m_szIniPath);
  m_controls.SetDlgItemText(IDC_IMAGE_PATH, QString::fromLocal8Bit(m_szImagePath));
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
  const QString path = m_controls.GetDlgItemText(IDC_IMAGE_PATH);
  const QString firstLine = path.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
  saved &= ini.WriteString(kPathSection, "PATH", firstLine.toLocal8Bit().toStdString(), m_szIniPath);
  // Settings lost without a word would surprise the user at the next start.
  if (!saved) {
    MessageBox(QStringLiteral("The settings could not be saved to\n") +
                   QString::fromLocal8Bit(m_szIniPath),
               MB_ICONEXCLAMATION | MB_OK);
  }
}

void CMainDlg::OnDestroy() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  m_image.Release();
  m_pImage = nullptr;
  SaveSettings();
  StopTimers();
}

void CMainDlg::OnOK() {
  DoDataExchange(true);
  QDialog::accept();
}

void CMainDlg::done(int result) {
  OnDestroy();
  QDialog::done(result);
}

void CMainDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!m_bFirstPaint) return;
  m_bFirstPaint = false;
  // Queued, so that the check and its message boxes run once this paint
  // has finished drawing the window.
  QMetaObject::invokeMethod(this, [this] { FirstPaintInit(); }, Qt::QueuedConnection);
}

bool CMainDlg::StartTimer(int id, int periodMs) {
  if (m_services.startTimer) return m_services.startTimer(id, periodMs);
  const int qtId = startTimer(periodMs);
  if (qtId == 0) return false;
  (id == kFatalBlinkTimer ? m_qtTimer1 : m_qtTimer2) = qtId;
  return true;
}

void CMainDlg::StopTimers() {
  if (m_qtTimer1 != 0) killTimer(m_qtTimer1);
  if (m_qtTimer2 != 0) killTimer(m_qtTimer2);
  m_qtTimer1 = 0;
  m_qtTimer2 = 0;
}

void CMainDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != 0 && event->timerId() == m_qtTimer1) {
    OnTimer(kFatalBlinkTimer);
  } else if (event->timerId() != 0 && event->timerId() == m_qtTimer2) {
    OnTimer(kStatusHoldTimer);
  } else {
    QDialog::timerEvent(event);
  }
}

void CMainDlg::OnAbout() { kavlen::OnAbout(this, m_services.ui); }

CMainDlg::ActionHold::ActionHold(CMainDlg& dlg) : m_dlg(dlg), m_outer(!dlg.m_bHoldingDevice) {
  if (!m_outer) return;
  dlg.m_bHoldingDevice = true;
  dlg.m_hold = dlg.m_link.HoldDevice(dlg.m_services.lockWait);
  if (!dlg.m_hold.busy()) return;
  m_busy = true;
  dlg.ShowStatus(QStringLiteral("Device is busy with another program !!"), kDarkRed, 1);
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

int CMainDlg::MessageBox(const QString& text, unsigned type) {
  return m_services.ui.MessageBox(this, text, m_services.title, type);
}

void CMainDlg::DebugOutput(const std::string& text) {
  if (m_services.debugOutput) m_services.debugOutput(text);
}

void CMainDlg::Sleep(int milliseconds) {
  if (m_services.sleep) m_services.sleep(milliseconds);
}

void CMainDlg::PostQuitRequest() {
  if (m_services.postQuit) {
    m_services.postQuit();
    return;
  }
  QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

}  // namespace kavlen
