#pragma once
// kavlen's main window (template 102) as toolkit-free logic: it names its
// controls by their template ids and does everything through a DialogHost,
// which the toolkit's host implements over the real controls. The host
// forwards the dialog's messages (OnInitDialog, OnPaint, OnCommand, OnTimer,
// OnDestroy); the platform services come in through MainDlgServices, so
// tests run the window against a recording host and fakes.
//
// The members keep the names and meanings of the window's member table;
// they are public so that the actions in the several main_dlg_*.cpp files
// and the tests see the same state. Texts are bytes in the 8-bit code page.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "device/command_block.h"
#include "device/device_link.h"
#include "device/image_buffer.h"
#include "device/image_records.h"
#include "gui/colorref_value.h"
#include "gui/dialog_host.h"
#include "gui/resource_ids.h"

namespace kavlen {

class SettingsFile;

// Everything the window takes from outside. The references must outlive
// the window; an empty function falls back to the behaviour noted.
struct MainDlgServices {
  MainDlgServices(DriverApi& driverApi, TraceSink& traceSink, SettingsFile& settingsFile,
                  std::string programDir)
      : driver(driverApi), trace(traceSink), settings(settingsFile),
        moduleDir(std::move(programDir)) {}

  DriverApi& driver;        // the emulator's driver (real, simulated or fake)
  TraceSink& trace;         // the device layer's trace lines
  SettingsFile& settings;   // kavlen.ini
  std::string moduleDir;    // the program's directory, no trailing separator
  std::string title = "kavlen";  // caption of every message box

  // Developer output no user sees; empty: dropped.
  std::function<void(const std::string& text)> debugOutput;
  // The fixed waits (the window is not serviced meanwhile); empty: no wait.
  std::function<void(int milliseconds)> sleep;
  // The self-closing "Reset Now !!!" confirmation (template 131), modal
  // over the window; empty: none is shown.
  std::function<void()> showResetDialog;
  // The About box (template 129), modal over the window; empty: none.
  std::function<void()> showAboutDialog;
  // How long an action waits for another program to let go of the emulator.
  std::chrono::milliseconds lockWait = kDeviceLockWait;
};

// Status line colours.
inline constexpr COLORREF kBlue = RGB(0, 0, 255);
inline constexpr COLORREF kDarkRed = RGB(127, 0, 0);
inline constexpr COLORREF kRed = RGB(255, 0, 0);
inline constexpr COLORREF kGreen = RGB(0, 255, 0);
inline constexpr COLORREF kDarkGreen = RGB(0, 127, 0);
inline constexpr COLORREF kDarkBlue = RGB(0, 0, 127);
inline constexpr COLORREF kLightRed = RGB(255, 100, 100);
inline constexpr COLORREF kSpringGreen = RGB(0, 255, 128);
inline constexpr COLORREF kGrey = RGB(96, 96, 96);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

inline constexpr int kFatalBlinkTimer = 1;   // 1000 ms
inline constexpr int kStatusHoldTimer = 2;   // 2650 ms
inline constexpr int kFatalBlinkPeriodMs = 1000;
inline constexpr int kStatusHoldPeriodMs = 2650;

class CMainDlg {
 public:
  // Builds nothing: the host owns the controls of template 102.
  CMainDlg(DialogHost& host, MainDlgServices services);
  // Runs OnDestroy once if the host did not.
  ~CMainDlg();
  CMainDlg(const CMainDlg&) = delete;
  CMainDlg& operator=(const CMainDlg&) = delete;

  // ---- what the host forwards (main_dlg.cpp) ----
  // Once the template's controls exist; the icon and title are the host's.
  void OnInitDialog();
  // After each paint of the dialog has finished, never from inside it: the
  // first call (and the first after Re-Connect) runs FirstPaintInit.
  void OnPaint();
  // A click of a button, radio button or check box by its id, a choice in
  // the dump-address list (IDC_DUMP_ADDRESS), IDOK and IDCANCEL; false for
  // an id the window does not handle.
  bool OnCommand(int id);
  // Runs once, however the dialog ends; the controls still exist.
  void OnDestroy();

  // ---- lifecycle (main_dlg.cpp) ----
  // Radio group 1017.. <-> m_nRomSize, check box 1036 <-> m_bVerify.
  void DoDataExchange(bool saveAndValidate);
  void LoadSettings();   // first part of FirstPaintInit
  void SaveSettings();   // destruction steps 2 to 5
  void OnOK();           // "&Exit": reads the controls, then closes
  void OnCancel();       // Escape and the close box: closes without reading

  // ---- connection supervision and status line (main_dlg_connect.cpp) ----
  int ConnectDevice();
  void FirstPaintInit();
  void OnReConnect();
  void OnTimer(int id);
  void ShowStatus(const std::string& text, COLORREF colour, int holdTicks);
  void ShowFatal(const std::string& text);
  // Colour and text of the status line alone, painted before it returns;
  // the hold is not touched.
  void SetStatus(const std::string& text, COLORREF colour);
  // The text alone, painted before it returns; colour and hold untouched.
  void SetStatusText(const std::string& text);
  // Identification glue over the device layer: label 1034/1050 texts,
  // m_deviceState, m_bDeviceOsRunning, m_supportedSizeCode.
  int QueryBootStatus();
  void QueryDeviceInfo();  // label 1050 and m_supportedSizeCode when answered
  void LoadDeviceOs();
  void OnUpdateOs();     // button 1004
  void PostQuitRequest();

  // ---- ROM size and image (main_dlg_image.cpp) ----
  void OnRomSize(int code);
  void OnRomSize64() { OnRomSize(0); }
  void OnRomSize128() { OnRomSize(1); }
  void OnRomSize256() { OnRomSize(2); }
  void OnRomSize512() { OnRomSize(3); }
  void OnRomSize1024() { OnRomSize(4); }
  void OnRomSize2048() { OnRomSize(5); }
  void OnRomSize4096() { OnRomSize(6); }
  void ShowRomSizeStatus();
  void OnBrowser();
  int OnLoadToBuffer();
  int LoadRecordsToBuffer(const std::string& fileName, ImageFormat format);
  void ShowImageLoaded(std::uint32_t length, std::uint32_t checksum);

  // ---- download and read-back (main_dlg_download.cpp) ----
  void OnDownload();
  void OnReadBuffer();
  void OnVerifyCheck();

  // ---- target reset (main_dlg_reset.cpp) ----
  void OnResetTarget();

  // ---- debug panel (main_dlg_debug.cpp) ----
  void OnUserCmd();
  void OnWriteBuffer();
  void OnAddressSelChange();

  void OnAbout();

  // ---- helpers shared by the actions (main_dlg.cpp) ----
  // m_hDevice = OpenDevice(); returns it.
  Handle OpenDevice();
  // Closes m_hDevice when open; m_hDevice = -1.
  void CloseDevice();
  // Pipe handle or -1; the caller closes it with ClosePipe.
  Handle OpenPipe(const char* pipeName);
  void ClosePipe(Handle pipe);
  // On the open device: CMD_DOWNLOAD for blockCount blocks and the ready
  // poll; then the device is closed and PIPE01 opened (main_dlg_download.cpp).
  // Returns the pipe, or -1 with the device closed: notReady tells a device
  // that never became ready from a pipe that could not be opened (the latter
  // already shown as "Open Out Pipe Error").
  Handle OpenOutPipeForDownload(std::uint16_t blockCount, bool& notReady);
  int MessageBox(const std::string& text, unsigned type);
  void DebugOutput(const std::string& text);
  void Sleep(int milliseconds);
  DriverApi& Api() { return m_link.api(); }
  DialogHost& Host() { return m_host; }
  MainDlgServices& Services() { return m_services; }

  // ---- members, in the order of the window's member table ----
  // The controls are named by their template ids; the host reaches them.
  CommandBlock m_cmdBlock{};
  std::uint32_t m_cbReturned = 0;
  std::int32_t m_cmdBlockSize = static_cast<std::int32_t>(kCommandBlockSize);
  bool m_lastResult = false;
  bool m_bFirstPaint = true;
  bool m_bDeviceOsRunning = false;
  std::uint8_t m_deviceState = DEV_STATE_OK;
  std::uint8_t m_supportedSizeCode = 4;
  bool m_bSelfConnect = true;
  bool m_bResetArmed = true;  // the first download resets the target too
  Handle m_hDevice = kInvalidHandle;
  static constexpr int m_addressCombo = IDC_DUMP_ADDRESS;
  int m_nRomSize = 0;                         // selected ROM size code, 0..6
  bool m_bVerify = false;
  static constexpr int m_progress = IDC_PROGRESS;
  bool m_bProgressText = false;
  bool m_bProgressPercent = false;
  bool m_bStatusHold = false;
  bool m_bFatalBlink = false;
  bool m_bBlinkOn = false;
  bool m_bDumpRequest = false;
  bool m_bMismatch = false;
  std::string m_szIniPath;
  std::string m_szOsPath;
  std::uint8_t m_iniTargetReset = 0;
  std::uint8_t m_iniVerifyCheck = 0;
  std::uint32_t m_iniRomSize = 0;
  int m_nHoldTicks = 0;
  int m_nDumpBlock = 0;
  std::string m_szText;
  std::string m_szImagePath;
  ImageBuffer m_image;                        // owns the image buffer
  std::uint8_t* m_pImage = nullptr;           // null when it could not be had
  std::uint32_t m_nImageLength = 0;
  std::uint32_t m_cbWritten = 0;
  static constexpr int m_status = IDC_STATUS;
  static constexpr int m_lengthLabel = IDC_LENGTH;
  static constexpr int m_checksumLabel = IDC_CHECKSUM;
  static constexpr int m_deviceOsLabel = IDC_DEVICE_OS;
  static constexpr int m_deviceInfoLabel = IDC_DEVICE_INFO;
  static constexpr int m_addressLabel = IDC_ADDRESS;
  static constexpr int m_orginalLabel = IDC_ORGINAL;
  static constexpr int m_targetLabel = IDC_TARGET;
  std::string m_text;

 private:
  // Holds the emulator against other programs for one action, from its
  // first request to its last. An action run inside another one keeps the
  // outer one's hold. When another program keeps it for the whole wait the
  // status line says so and busy() tells the action to stop untouched.
  class ActionHold {
   public:
    explicit ActionHold(CMainDlg& dlg);
    ~ActionHold();
    ActionHold(const ActionHold&) = delete;
    ActionHold& operator=(const ActionHold&) = delete;
    bool busy() const { return m_busy; }

   private:
    CMainDlg& m_dlg;
    bool m_outer;
    bool m_busy = false;
  };

  // A label's colour, then its text (the colour change paints at once).
  void SetLabel(int id, COLORREF colour, const std::string& text);
  // Steps 2 to 4 of ConnectDevice on the open device; FirstPaintInit runs
  // them too. Returns 1 (boot code loaded or OS running) or 0 (unusable).
  int IdentifyOpenDevice();

  DialogHost& m_host;
  MainDlgServices m_services;
  DeviceLink m_link;
  DeviceLock m_hold;
  bool m_bHoldingDevice = false;
  bool m_bInitialised = false;
  bool m_bDestroyed = false;
};

}  // namespace kavlen
