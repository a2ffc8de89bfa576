// Download, read-back verify and the verify check box of the main window.
//
// A transfer is trusted only when every block went through whole: a write
// or read that fails or comes back short ends the transfer at once, the
// status line says so, and neither "Download And Verify OK !!" nor the
// target reset follows it.

#include <array>
#include <memory>
#include <new>
#include <span>

#include "device/hex_dump.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "device/transfer_engine.h"
#include "gui/main_dlg.h"

namespace kavlen {

namespace {

constexpr const char* kDetectDeviceError = "Detect Device Error happened !!";
constexpr const char* kWriteBlockFail = "Download Block Write Fail !!";
constexpr const char* kReadBlockFail = "Verify Block Read Fail !!";
constexpr const char* kReadBufferFail = "Verify Buffer Allocate Fail !!";

// Mismatch label text: "0X" and the value in upper-case hex, no leading zeros.
std::string MismatchText(std::uint32_t value) { return StrPrintf("0X%X", value); }

LRESULT SendToBar(CMainDlg& dlg, unsigned message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return dlg.Host().SendDlgItemMessage(dlg.m_progress, message, wParam, lParam);
}

std::uint16_t SelectedBlockCount(const CMainDlg& dlg) {
  if (dlg.m_nRomSize < 0) return 0;
  return TransferBlockCount(static_cast<std::uint8_t>(dlg.m_nRomSize));
}

// The per-block caption, shown only when both caption options are on. The
// percentage counts the blocks done before this one, so 100 never shows.
void ShowBlockCaption(CMainDlg& dlg, const char* format, std::uint32_t block,
                      std::uint32_t blockCount) {
  if (!dlg.m_bProgressText || !dlg.m_bProgressPercent) return;
  const int percent = static_cast<int>(block * 100 / blockCount);
  dlg.Host().SetDlgItemText(dlg.m_progress, StrPrintf(format, percent));
}

void StartProgress(CMainDlg& dlg, std::uint32_t blockCount) {
  SendToBar(dlg, PBM_SHOWCAPTION, dlg.m_bProgressText ? 1 : 0);
  SendToBar(dlg, PBM_SETPOS, 0);
  SendToBar(dlg, PBM_SETRANGE, 0, MAKELPARAM(0, blockCount));
}

// The dump the debug panel asked for: the first 64 bytes of one block of
// what came back. Blocks the read-back did not cover read as zeros.
void ShowRequestedDump(CMainDlg& dlg, const std::uint8_t* readBuffer, bool lastReadOk,
                       std::uint32_t blocksRead) {
  if (!dlg.m_bDumpRequest) return;
  dlg.m_bDumpRequest = false;
  if (!lastReadOk || dlg.m_nDumpBlock < 0) return;
  const std::uint64_t offset = std::uint64_t{static_cast<std::uint32_t>(dlg.m_nDumpBlock)} *
                               kTransferBlockSize;
  if (offset + kHexDumpBytes > kImageBufferSize) return;
  static constexpr std::array<std::uint8_t, kHexDumpBytes> kNotRead{};
  const std::uint8_t* bytes =
      offset < std::uint64_t{blocksRead} * kTransferBlockSize ? readBuffer + offset : kNotRead.data();
  dlg.m_text = HexDumpText(std::span<const std::uint8_t, kHexDumpBytes>(bytes, kHexDumpBytes));
  dlg.MessageBox(dlg.m_text, MB_OK);
}

// The window's side of a transfer: the bar, its captions and the mismatch
// labels, stepped by the engine's events while the pipe is open.
class WindowProgress : public TransferObserver {
 public:
  WindowProgress(CMainDlg& dlg, const std::uint8_t* readBuffer) : m_dlg(dlg), m_readBuffer(readBuffer) {}

  void OnStage(TransferStage stage, std::uint32_t blocks) override {
    if (stage == TransferStage::Verify) {
      SendToBar(m_dlg, PBM_SETBARCOLOR, 0, kSpringGreen);
      SendToBar(m_dlg, PBM_SETBKCOLOR, 0, kLightRed);
    }
    StartProgress(m_dlg, blocks);
    if (stage != TransferStage::Verify) return;
    const std::string zero = MismatchText(0);
    m_dlg.Host().SetDlgItemText(m_dlg.m_addressLabel, zero);
    m_dlg.Host().SetDlgItemText(m_dlg.m_orginalLabel, zero);
    m_dlg.Host().SetDlgItemText(m_dlg.m_targetLabel, zero);
    m_dlg.m_bMismatch = false;
  }

  void OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) override {
    ShowBlockCaption(m_dlg,
                     stage == TransferStage::Verify ? "Upload and Verify Processing completed %d%%"
                                                    : "Download Processing completed %d%%",
                     done - 1, total);
    SendToBar(m_dlg, PBM_STEPIT);
  }

  void OnFirstMismatch(const Mismatch& first) override {
    m_dlg.Host().SetDlgItemText(m_dlg.m_addressLabel, MismatchText(first.offset));
    m_dlg.Host().SetDlgItemText(m_dlg.m_orginalLabel, MismatchText(first.expected));
    m_dlg.Host().SetDlgItemText(m_dlg.m_targetLabel, MismatchText(first.found));
    m_dlg.m_bMismatch = true;
  }

  void OnBlocksEnd(TransferStage stage, const BlockRun& run) override {
    if (stage == TransferStage::Verify) {
      SendToBar(m_dlg, PBM_SETBARCOLOR, 0, kBlue);
      SendToBar(m_dlg, PBM_SETBKCOLOR, 0, kWhite);
    }
    SendToBar(m_dlg, PBM_SETPOS, 0);
    SendToBar(m_dlg, PBM_SHOWCAPTION, 0);
    if (stage != TransferStage::Verify) return;
    // the last read went through unless the loop broke on it
    const bool lastReadOk = run.blocksDone > 0 && run.end != BlockEnd::Failed;
    ShowRequestedDump(m_dlg, m_readBuffer, lastReadOk, SelectedBlockCount(m_dlg));
  }

 private:
  CMainDlg& m_dlg;
  const std::uint8_t* m_readBuffer;
};

}  // namespace

Handle CMainDlg::OpenOutPipeForDownload(std::uint16_t blockCount, bool& notReady) {
  BuildDownload(m_cmdBlock, blockCount);
  m_lastResult = TailExchange(Api(), m_hDevice, m_cmdBlock);
  notReady = !WaitReady(Api(), m_hDevice, m_cmdBlock);
  CloseDevice();
  if (notReady) return kInvalidHandle;

  const Handle pipe = OpenPipe(kPipeOut);
  if (pipe == kInvalidHandle) MessageBox("Open Out Pipe Error", MB_OK);
  return pipe;
}

void CMainDlg::OnDownload() {
  if (OnLoadToBuffer() == 0) return;
  if (!FitsCapacity(m_nImageLength, m_supportedSizeCode)) {
    MessageBox("File Size Exceed the Hardware supported !! \n\n\r Stop download to Hardware !!",
               MB_ICONINFORMATION | MB_OK);
    return;
  }
  // Compared unsigned: a supported code of 255 refuses no selection, but a
  // code without transfer blocks is never sent.
  const std::uint16_t blockCount = SelectedBlockCount(*this);
  if (static_cast<unsigned>(m_nRomSize) > m_supportedSizeCode || blockCount == 0) {
    MessageBox("ROM Size Setting is incorrect!! \n\n\r Please Select one correctly...",
               MB_ICONINFORMATION | MB_OK);
    return;
  }
  // A file that cannot be sent is reported without waiting for the device.
  const ActionHold hold(*this);
  if (hold.busy()) return;
  if (ConnectDevice() == 0) {
    ShowStatus(kDetectDeviceError, kDarkRed, 3);
    return;
  }

  WindowProgress progress(*this, nullptr);
  const TransferResult sent = TransferEngine(m_link, progress).Download(m_pImage, blockCount);
  m_hDevice = m_link.device();
  if (sent.fault == TransferFault::PipeFailed) MessageBox("Open Out Pipe Error", MB_OK);
  if (sent.fault == TransferFault::NotReady || sent.fault == TransferFault::PipeFailed) return;
  if (sent.status != TransferStatus::Ok) {
    // The device holds a partial image: no verify, no end of download and
    // no reset, and the armed state stays as it was.
    ShowStatus(kWriteBlockFail, kDarkRed, 2);
    return;
  }

  m_bDumpRequest = false;
  if (OpenDevice() == kInvalidHandle) {
    MessageBox("DEVICE FATAL Error !! \n\r Verify function be ignored !!",
               MB_ICONEXCLAMATION | MB_OK);
    ShowFatal("Device Fatal error happened !!");
    return;
  }
  m_bSelfConnect = false;
  if (m_bVerify) OnReadBuffer();
  if (m_bResetArmed) {
    SendEndDownload(Api(), m_hDevice, m_cmdBlock);
    OnResetTarget();
  } else {
    // The next download resets the target.
    m_bResetArmed = true;
  }
  CloseDevice();
  m_bSelfConnect = true;
}

void CMainDlg::OnReadBuffer() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  m_bResetArmed = true;
  // Not cleared: only the blocks read are looked at, so a short read-back
  // does not pay for touching all 4 MB.
  const std::unique_ptr<std::uint8_t[]> readBuffer(new (std::nothrow)
                                                       std::uint8_t[kImageBufferSize]);
  if (readBuffer == nullptr || m_pImage == nullptr) {
    ShowStatus(kReadBufferFail, kDarkRed, 2);
    m_bResetArmed = false;
    return;
  }
  if (m_bSelfConnect && ConnectDevice() == 0) {
    ShowStatus(kDetectDeviceError, kDarkRed, 0);
    m_bResetArmed = false;
    return;
  }

  WindowProgress progress(*this, readBuffer.get());
  const ReadPlan plan{TransferStage::Verify, SelectedBlockCount(*this), readBuffer.get(), m_pImage};
  const TransferResult readBack = TransferEngine(m_link, progress).ReadBack(plan);
  m_hDevice = m_link.device();
  if (readBack.fault == TransferFault::PipeFailed) {
    MessageBox("Open in pipe Error", MB_OK);
    m_bResetArmed = false;
    return;
  }

  // A read-back cut short proves nothing unless it had already found a
  // difference; the target is then not reset.
  if (readBack.status != TransferStatus::Ok && !m_bMismatch) {
    ShowStatus(kReadBlockFail, kDarkRed, 2);
    m_bResetArmed = false;
    return;
  }
  if (m_bSelfConnect) return;

  if (OpenDevice() == kInvalidHandle) {
    m_bResetArmed = false;
    return;
  }
  if (m_bMismatch) {
    SendVerifyResult(Api(), m_hDevice, m_cmdBlock, kVerifyFailedFirst, kVerifyFailedSecond);
    ShowStatus("Downlaod But Verify Fail !!", kRed, 2);
  } else {
    SendVerifyResult(Api(), m_hDevice, m_cmdBlock, kVerifyPassedFirst, kVerifyPassedSecond);
    ShowStatus("Download And Verify OK !!", kBlue, 2);
  }
}

void CMainDlg::OnVerifyCheck() {
  // Toggled without reading the box: the settings load sets both together.
  m_bVerify = !m_bVerify;
  ShowStatus("Set the Verify request...", kBlue, 1);
}

}  // namespace kavlen
