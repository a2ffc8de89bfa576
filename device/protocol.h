#pragma once
// Command exchanges on an open device handle. Every exchange is one SEND
// followed at once by the matching RECEIVE on the same 64-byte block; the
// driver's byte counts are never looked at, and the RECEIVE's success is
// returned so that the callers that care can test it (the SEND's too where
// a command says so).

#include <cstdint>
#include <functional>

#include "device/command_block.h"
#include "platform/driver_api.h"

namespace kavlen {

bool HeadExchange(DriverApi& api, Handle device, CommandBlock& block);
bool TailExchange(DriverApi& api, Handle device, CommandBlock& block);

// The ready poll sends at most this many polls; the reply to the last one is
// not examined.
inline constexpr int kReadyPollLimit = 256;

struct PollOutcome {
  bool cleared;   // a reply showed 0 in byte 1
  int pollsSent;
};

// Sends the poll command `code` (bytes 0, 1, 56, 57 rewritten, the rest left
// as the previous reply left it) until a reply shows 0 in byte 1. At most
// maxPolls polls go out; the replies to the first maxPolls - 1 are examined,
// the last one is not. beforeExamine, when set, is called with the number of
// replies examined so far just before each reply is examined.
PollOutcome PollUntilClear(DriverApi& api, Handle device, CommandBlock& block, std::uint8_t code,
                           int maxPolls,
                           const std::function<void(int examined)>& beforeExamine = nullptr);

// The ready poll after CMD_DOWNLOAD, on the block as the download request
// left it: true when the device reported ready within the bound.
bool WaitReady(DriverApi& api, Handle device, CommandBlock& block);

// Tail commands whose replies nobody reads. The end of the download and the
// reset return true only when both their SEND and their RECEIVE succeeded;
// the verify result returns the RECEIVE's success.
bool SendEndDownload(DriverApi& api, Handle device, CommandBlock& block);
bool SendResetTarget(DriverApi& api, Handle device, CommandBlock& block);
bool SendVerifyResult(DriverApi& api, Handle device, CommandBlock& block, std::uint8_t first,
                      std::uint8_t second);

// The debug pair. The reply stays in the block for the caller to show
// (only when received is true).
bool SendAddrWrite(DriverApi& api, Handle device, CommandBlock& block, std::uint32_t address,
                   std::uint8_t data);
struct AddrReadReply {
  bool received;
  std::uint8_t value;  // reply byte 5, read whether or not the RECEIVE succeeded
};
AddrReadReply SendAddrRead(DriverApi& api, Handle device, CommandBlock& block,
                           std::uint32_t address);

}  // namespace kavlen
