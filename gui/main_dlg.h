#pragma once
// kavlen's main window: one modal dialog (template 102) that carries every
// action of the program. The platform services it needs are handed in
// through MainDlgServices, so that the window never reaches the platform
// layer itself and tests can run it against fakes.
//
// The members keep the names and meanings of the window's member table;
// they are public so that the actions in the several main_dlg_*.cpp files
// and the tests see the same state.

#include <QDialog>
#include <QIcon>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "device/command_block.h"
#include "device/device_link.h"
#include "device/image_buffer.h"
#include "device/image_records.h"
#include "gui/controls/colorref.h"
#include "gui/dialog_builder.h"

class QComboBox;
class QPaintEvent;
class QTimerEvent;

namespace kavlen {

class CColorLabel;
class CPercentBar;
class SettingsFile;
class UiServices;

// Everything the window takes from outside. The references must outlive
// the window; an empty function falls back to the behaviour noted.
struct MainDlgServices {
  MainDlgServices(DriverApi& driverApi, TraceSink& traceSink, SettingsFile& settingsFile,
                  UiServices& uiServices, std::string programDir)
      : driver(driverApi), trace(traceSink), settings(settingsFile), ui(uiServices),
        moduleDir(std::move(programDir)) {}

  DriverApi& driver;        // the emulator's driver (real, simulated or fake)
  TraceSink& trace;         // the device layer's trace lines
  SettingsFile& settings;   // kavlen.ini
  UiServices& ui;           // message boxes, file chooser, shell open
  std::string moduleDir;    // the program's directory, no trailing separator
  QString title = QStringLiteral("kavlen");  // caption of every message box

  // Developer output no user sees; empty: dropped.
  std::function<void(const std::string& text)> debugOutput;
  // The fixed waits (the window is not serviced meanwhile); empty: no wait.
  std::function<void(int milliseconds)> sleep;
  // Ends the modal run once the current action has returned; empty: a
  // queued reject() of the window.
  std::function<void()> postQuit;
  // Starts periodic timer `id` (1 or 2); false when it cannot be started.
  // Empty: a real QObject timer whose ticks reach OnTimer(id).
  std::function<bool(int id, int periodMs)> startTimer;
  // Shows the self-closing reset confirmation modally; empty: the real one.
  std::function<void(QWidget* owner)> showResetDialog;
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

class CMainDlg : public QDialog {
 public:
  // Builds the controls and runs the window initialisation (OnInitDialog).
  explicit CMainDlg(MainDlgServices services, QWidget* parent = nullptr);
  ~CMainDlg() override;

  // ---- lifecycle (main_dlg.cpp) ----
  void OnInitDialog();
  // Radio group 1017.. <-> m_nRomSize, check box 1036 <-> m_bVerify.
  void DoDataExchange(bool saveAndValidate);
  void LoadSettings();   // first part of FirstPaintInit
  void SaveSettings();   // destruction steps 2 to 5
  void OnDestroy();      // runs once, whichever way the window closes
  void OnOK();           // "&Exit": reads the controls, then closes
  void accept() override { OnOK(); }
  void done(int result) override;

  // ---- connection supervision and status line (main_dlg_connect.cpp) ----
  int ConnectDevice();
  void FirstPaintInit();
  void OnReConnect();
  void OnTimer(int id);
  void ShowStatus(const QString& text, COLORREF colour, int holdTicks);
  void ShowFatal(const QString& text);
  // Colour and text of the status line alone; the hold is not touched.
  void SetStatus(const QString& text, COLORREF colour);
  // The text alone, painted before it returns; colour and hold untouched.
  void SetStatusText(const QString& text);
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
  int MessageBox(const QString& text, unsigned type);
  void DebugOutput(const std::string& text);
  void Sleep(int milliseconds);
  DriverApi& Api() { return m_link.api(); }
  const DialogControls& Controls() const { return m_controls; }
  DialogControls& Controls() { return m_controls; }
  MainDlgServices& Services() { return m_services; }

  // ---- members, in the order of the window's member table ----
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
  QComboBox* m_addressCombo = nullptr;        // control 1045
  int m_nRomSize = 0;                         // selected ROM size code, 0..6
  bool m_bVerify = false;
  CPercentBar* m_progress = nullptr;          // control 1005
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
  CColorLabel* m_status = nullptr;            // control 1014
  CColorLabel* m_lengthLabel = nullptr;       // control 1026
  CColorLabel* m_checksumLabel = nullptr;     // control 1027
  CColorLabel* m_deviceOsLabel = nullptr;     // control 1034
  CColorLabel* m_deviceInfoLabel = nullptr;   // control 1050
  CColorLabel* m_addressLabel = nullptr;      // control 1041
  CColorLabel* m_orginalLabel = nullptr;      // control 1042
  CColorLabel* m_targetLabel = nullptr;       // control 1043
  QIcon m_hIcon;
  QString m_text;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

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

  void ConnectControls();
  bool StartTimer(int id, int periodMs);
  void StopTimers();
  // Steps 2 to 4 of ConnectDevice on the open device; FirstPaintInit runs
  // them too. Returns 1 (boot code loaded or OS running) or 0 (unusable).
  int IdentifyOpenDevice();

  MainDlgServices m_services;
  DeviceLink m_link;
  DeviceLock m_hold;
  bool m_bHoldingDevice = false;
  DialogControls m_controls;
  int m_qtTimer1 = 0;
  int m_qtTimer2 = 0;
  bool m_bInitialised = false;
  bool m_bDestroyed = false;
};

}  // namespace kavlen
