// Connection supervision of the main window: the device check at the first
// paint and inside every action, the identification texts, the device OS
// load, Re-Connect, and the status line with its blink and hold timers.

#include "device/device_os.h"
#include "device/identification.h"
#include "device/identification_text.h"
#include "gui/main_dlg.h"

namespace kavlen {

// The text goes first: the colour change paints at once, so the new text
// is on the screen before a blocking step that may follow.
void CMainDlg::SetStatus(const std::string& text, COLORREF colour) {
  m_host.SetDlgItemText(m_status, text);
  m_host.SetTextColor(m_status, colour);
}

void CMainDlg::SetStatusText(const std::string& text) {
  m_host.SetDlgItemText(m_status, text);
  m_host.UpdateWindow(m_status);
}

void CMainDlg::ShowStatus(const std::string& text, COLORREF colour, int holdTicks) {
  SetStatus(text, colour);
  m_nHoldTicks = holdTicks;
  m_bStatusHold = true;
}

void CMainDlg::ShowFatal(const std::string& text) {
  SetStatus(text, kDarkRed);
  m_nHoldTicks = 1;
  m_bFatalBlink = true;
}

void CMainDlg::OnTimer(int id) {
  if (id == kFatalBlinkTimer) {
    if (!m_bFatalBlink) return;
    m_bBlinkOn = !m_bBlinkOn;
    SetStatus(m_bBlinkOn ? "Fatal Error or Device is not Connected !!" : "",
              kDarkRed);
  } else if (id == kStatusHoldTimer) {
    if (!m_bStatusHold) return;
    if (m_nHoldTicks != 0) {
      --m_nHoldTicks;
      return;
    }
    m_bStatusHold = false;
    SetStatus("Ready...", kBlue);
  }
}

int CMainDlg::QueryBootStatus() {
  const BootStatus status = kavlen::QueryBootStatus(Api(), m_hDevice, m_cmdBlock);
  m_deviceState = status.stateCode;
  if (status.needsOsLoad) {
    m_bDeviceOsRunning = false;
    m_host.SetTextColor(m_deviceOsLabel, kDarkGreen);
    m_host.SetDlgItemText(m_deviceOsLabel, GuiBootCodeNameText(status));
    return 1;
  }
  if (status.stateCode == DEV_STATE_OS_RUNNING) {
    m_bDeviceOsRunning = true;
    m_host.SetTextColor(m_deviceOsLabel, kDarkGreen);
    m_host.SetDlgItemText(m_deviceOsLabel, GuiOsRunningNameText(status));
    QueryDeviceInfo();
  } else if (status.stateCode == DEV_STATE_BOOT_ERROR) {
    m_host.SetTextColor(m_deviceOsLabel, kDarkRed);
    m_host.SetDlgItemText(m_deviceOsLabel, kGuiUnknownDeviceName);
  }
  return 0;
}

void CMainDlg::QueryDeviceInfo() {
  const DeviceInfo info = kavlen::QueryDeviceInfo(Api(), m_hDevice, m_cmdBlock);
  if (!info.received) return;
  m_supportedSizeCode = info.sizeCode;
  m_host.SetTextColor(m_deviceInfoLabel, kGrey);
  m_host.SetDlgItemText(m_deviceInfoLabel, GuiChecksumFieldText(info));
}

void CMainDlg::LoadDeviceOs() {
  const bool selfConnect = m_bSelfConnect;
  if (selfConnect && !ConnectDevice()) {
    ShowStatus("Detect Device Error happened !!", kDarkRed, 3);
    return;
  }
  m_szOsPath = DeviceOsPath(Services().moduleDir);
  DebugOutput(m_szOsPath);
  switch (LoadDeviceOsForGui(Api(), m_hDevice, m_cmdBlock, Services().moduleDir)) {
    case GuiOsLoad::MissingFile:
      MessageBox("Warning :: Missing Device OS File ... \n\n\r Please re-install the system ...",
                 MB_ICONINFORMATION | MB_OK);
      break;
    case GuiOsLoad::ShortRead:
      break;
    case GuiOsLoad::StartFailed:
      m_host.SetTextColor(m_deviceOsLabel, kDarkRed);
      m_host.SetDlgItemText(m_deviceOsLabel, kGuiUnknownDeviceName);
      ShowStatus("Load Device OS Fail...", kDarkRed, 2);
      m_deviceState = DEV_STATE_OS_LOAD_FAILED;
      break;
    case GuiOsLoad::Started:
      QueryDeviceInfo();
      ShowStatus("Load Device OS Ready...", kBlue, 2);
      m_bDeviceOsRunning = true;
      m_deviceState = DEV_STATE_OK;
      break;
  }
  if (selfConnect) CloseDevice();
}

void CMainDlg::OnUpdateOs() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  LoadDeviceOs();
}

int CMainDlg::IdentifyOpenDevice() {
  if (QueryBootStatus() == 1) {
    SetStatus("Connected And Boot Code Already !!", kBlue);
    Sleep(1000);
    ShowStatus("Load Device OS...", kBlue, 3);
    m_bSelfConnect = false;
    LoadDeviceOs();
    m_bSelfConnect = true;
    return 1;
  }
  if (m_deviceState == DEV_STATE_OS_RUNNING) {
    ShowStatus("Connected and Device OS already !!", kGreen, 0);
    m_deviceState = DEV_STATE_OK;
    return 1;
  }
  MessageBox("DEVICE FATAL Error !! ", MB_ICONEXCLAMATION | MB_OK);
  ShowFatal("Device Fatal error happened !!");
  return 0;
}

int CMainDlg::ConnectDevice() {
  if (OpenDevice() == kInvalidHandle) {
    MessageBox("OPEN DEVICE Fail , Check the USB Cable !!",
               MB_ICONEXCLAMATION | MB_OK);
    ShowFatal("Device is not Connected !!");
    m_deviceState = DEV_STATE_OPEN_FAILED;
    PostQuitRequest();
    return 0;
  }
  if (IdentifyOpenDevice() == 1) return 1;
  CloseDevice();
  return 0;
}

void CMainDlg::FirstPaintInit() {
  LoadSettings();
  const ActionHold hold(*this);
  if (hold.busy()) return;
  if (OpenDevice() == kInvalidHandle) {
    ShowFatal("Device is not Connected !!");
    MessageBox("FATAL ERROR -- OPEN DEVICE Fail \n\n\r Program will be terminated !!",
               MB_ICONHAND | MB_OK);
    PostQuitRequest();
    m_deviceState = DEV_STATE_OPEN_FAILED;
    return;
  }
  IdentifyOpenDevice();
  // A supported code of 255 (capacity not recognised) never limits.
  if (static_cast<unsigned>(m_nRomSize) > m_supportedSizeCode) {
    m_host.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_64K + m_supportedSizeCode);
    m_nRomSize = m_supportedSizeCode;
  }
  CloseDevice();
}

void CMainDlg::OnReConnect() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  m_bFirstPaint = true;
  m_bFatalBlink = false;
  m_bBlinkOn = false;
  m_bDeviceOsRunning = false;
  // m_bFirstPaint set: the window's next paint runs the start-up check again.
  if (ConnectDevice() == 1) CloseDevice();
}

}  // namespace kavlen
