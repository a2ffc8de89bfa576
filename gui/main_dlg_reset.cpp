// Reset Target of the main window, also run at the end of a download on the
// connection the download holds.

#include "gui/main_dlg.h"

#include "device/protocol.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

// The reset poll examines at most this many replies, the counter reading
// 254 down to 1; one more poll goes out whose reply is not examined.
constexpr int kResetPollCount = 254;

}  // namespace

void CMainDlg::OnResetTarget() {
  const ActionHold hold(*this);
  if (hold.busy()) return;
  if (m_bSelfConnect && ConnectDevice() == 0) {
    ShowStatus("Detect Device Error happened !!", kDarkRed, 0);
    return;
  }

  SendResetTarget(Api(), m_hDevice, m_cmdBlock);

  // The first poll goes out on a cleared block; later ones keep what the
  // previous reply left in the bytes they do not set.
  m_cmdBlock.fill(0);
  const PollOutcome poll = PollUntilClear(
      Api(), m_hDevice, m_cmdBlock, CMD_RESET_POLL, kResetPollCount + 1, [this](int examined) {
        m_szText = StrPrintf("TimeOutCnt = %d\n\r ", kResetPollCount - examined);
        DebugOutput(m_szText);
      });

  if (!poll.cleared) {
    MessageBox("Reset Target Timout !!", MB_ICONEXCLAMATION | MB_OK);
  } else {
    if (m_services.showResetDialog) m_services.showResetDialog();
  }
  if (m_bSelfConnect) CloseDevice();
}

}  // namespace kavlen
