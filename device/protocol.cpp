#include "device/protocol.h"

namespace kavlen {

namespace {

struct ExchangeResult {
  bool sent;
  bool received;
};

ExchangeResult Exchange(DriverApi& api, Handle device, CommandBlock& block,
                        std::uint32_t sendCode, std::uint32_t receiveCode) {
  std::uint32_t returned = 0;
  const auto size = static_cast<std::uint32_t>(block.size());
  const bool sent =
      api.DeviceIoControl(device, sendCode, block.data(), size, block.data(), size, &returned);
  const bool received =
      api.DeviceIoControl(device, receiveCode, block.data(), size, block.data(), size, &returned);
  return {sent, received};
}

// For the commands whose arrival a caller must be sure of.
bool DeliveredTailExchange(DriverApi& api, Handle device, CommandBlock& block) {
  const ExchangeResult result = Exchange(api, device, block, IOCTL_TAIL_SEND, IOCTL_TAIL_RECEIVE);
  return result.sent && result.received;
}

}  // namespace

bool HeadExchange(DriverApi& api, Handle device, CommandBlock& block) {
  return Exchange(api, device, block, IOCTL_HEAD_SEND, IOCTL_HEAD_RECEIVE).received;
}

bool TailExchange(DriverApi& api, Handle device, CommandBlock& block) {
  return Exchange(api, device, block, IOCTL_TAIL_SEND, IOCTL_TAIL_RECEIVE).received;
}

PollOutcome PollUntilClear(DriverApi& api, Handle device, CommandBlock& block, std::uint8_t code,
                           int maxPolls, const std::function<void(int examined)>& beforeExamine) {
  PollOutcome outcome{false, 0};
  while (outcome.pollsSent < maxPolls) {
    BuildPoll(block, code);
    TailExchange(api, device, block);
    ++outcome.pollsSent;
    if (outcome.pollsSent == maxPolls) break;  // the last reply is not examined
    if (beforeExamine) beforeExamine(outcome.pollsSent - 1);
    if (block[1] == 0) {
      outcome.cleared = true;
      break;
    }
  }
  return outcome;
}

bool WaitReady(DriverApi& api, Handle device, CommandBlock& block) {
  return PollUntilClear(api, device, block, CMD_READY_POLL, kReadyPollLimit).cleared;
}

bool SendEndDownload(DriverApi& api, Handle device, CommandBlock& block) {
  BuildTailCommand(block, CMD_END_DOWNLOAD);
  return DeliveredTailExchange(api, device, block);
}

bool SendResetTarget(DriverApi& api, Handle device, CommandBlock& block) {
  BuildTailCommand(block, CMD_RESET_TARGET);
  return DeliveredTailExchange(api, device, block);
}

bool SendVerifyResult(DriverApi& api, Handle device, CommandBlock& block, std::uint8_t first,
                      std::uint8_t second) {
  BuildVerifyResult(block, first, second);
  return TailExchange(api, device, block);
}

bool SendAddrWrite(DriverApi& api, Handle device, CommandBlock& block, std::uint32_t address,
                   std::uint8_t data) {
  BuildAddrWrite(block, address, data);
  return TailExchange(api, device, block);
}

AddrReadReply SendAddrRead(DriverApi& api, Handle device, CommandBlock& block,
                           std::uint32_t address) {
  BuildAddrRead(block, address);
  const bool received = TailExchange(api, device, block);
  return {received, block[5]};
}

}  // namespace kavlen
