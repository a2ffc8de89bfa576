// The debug panel of the main window: USER CMD, Write Buffer and the dump
// address list.

#include "gui/main_dlg.h"

#include <algorithm>
#include <array>
#include <span>

#include "device/hex_dump.h"
#include "device/protocol.h"
#include "device/str_printf.h"
#include "gui/dialog_template.h"

namespace kavlen {

namespace {

constexpr std::uint32_t kUserCmdAddress = 0x1FC019;
constexpr std::uint8_t kUserCmdData = 0x9C;
constexpr int kDetectWaitMs = 1000;

// One transfer block whose byte k holds k modulo 256.
std::array<std::uint8_t, kTransferBlockSize> TestPatternBlock() {
  std::array<std::uint8_t, kTransferBlockSize> block{};
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(k);
  return block;
}

}  // namespace

void CMainDlg::OnUserCmd() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  if (OpenDevice() == kInvalidHandle) return;

  const auto showReply = [this] {
    m_text = HexDumpText(std::span<const std::uint8_t, kHexDumpBytes>(m_cmdBlock));
    MessageBox(m_text, MB_OK);
  };
  if (SendAddrWrite(Api(), m_hDevice, m_cmdBlock, kUserCmdAddress, kUserCmdData)) showReply();
  if (SendAddrRead(Api(), m_hDevice, m_cmdBlock, kUserCmdAddress).received) showReply();

  CloseDevice();
}

void CMainDlg::OnWriteBuffer() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  if (OpenDevice() == kInvalidHandle) {
    SetStatus("Detect...", kBlue);
    Sleep(kDetectWaitMs);
    ShowStatus("Device is not Connected Now !!", kDarkRed, 1);
    return;
  }
  if (!m_bDeviceOsRunning) {
    MessageBox("Device OS Fail ??", MB_OK);
    CloseDevice();
    return;
  }

  bool notReady = false;
  const Handle pipe = OpenOutPipeForDownload(1, notReady);
  if (notReady) {
    // Without a word the user could not tell this from a write that worked.
    ShowStatus("Device is Check not ready ...Fail!", kDarkRed, 1);
    return;
  }
  if (pipe == kInvalidHandle) return;
  // The pattern replaces the first block of the loaded image, so that a
  // Read Buffer afterwards compares against what was written.
  const std::array<std::uint8_t, kTransferBlockSize> pattern = TestPatternBlock();
  if (m_pImage != nullptr) std::copy(pattern.begin(), pattern.end(), m_pImage);
  m_cbWritten = 0;
  m_lastResult = Api().WriteFile(pipe, pattern.data(), kTransferBlockSize, &m_cbWritten);
  ClosePipe(pipe);
}

void CMainDlg::OnAddressSelChange() {
  const LRESULT index = m_host.SendDlgItemMessage(m_addressCombo, CB_GETCURSEL, 0, 0);
  const std::span<const char* const> entries = DumpAddressEntries();
  // No entry selected names no block; the dump keeps the one it had.
  if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return;
  m_nDumpBlock = static_cast<int>(index);
  // The entry's text from the template: on Win32 the combo's own text is
  // not yet updated when the choice is reported.
  ShowStatus(StrPrintf("Show Buffer Address : %s ..", entries[m_nDumpBlock]), kDarkGreen, 1);
  m_bDumpRequest = true;
}

}  // namespace kavlen
