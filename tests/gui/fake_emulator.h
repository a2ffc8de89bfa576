#pragma once
// One emulator with its device OS running, on a scripted bus behind
// FakeDriverApi. It keeps what reached it (every SEND's block, the paths
// opened, the pipe writes, the memory the pipes filled) and a readable trace
// of the whole exchange, and it can be scripted to be busy, to refuse a pipe,
// to break or shorten a block, to corrupt read-back bytes or to be unplugged.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "tests/support/fake_driver_api.h"

namespace kavlen::test {

// The name of a command as the traces write it: its code in hex, the block
// count of a download or upload request after a colon, the two arguments of
// a verify result.
std::string CommandToken(const std::uint8_t* block, bool head);
// Consecutive equal tokens fold into "token x count".
std::string FoldTokens(const std::vector<std::string>& tokens);

class FakeEmulator {
 public:
  static constexpr const char* kPath = "\\\\?\\usb#vid_0000&pid_0000#emu0";

  FakeEmulator();
  FakeEmulator(const FakeEmulator&) = delete;
  FakeEmulator& operator=(const FakeEmulator&) = delete;

  FakeDriverApi api;

  // ---- script ----
  bool attached = true;  // cleared by itself once unplugAfterBlocks runs out
  // Answers every RECEIVE in place of the standard answers below; the block
  // arrives as the SEND left it and goes back as the function leaves it.
  std::function<void(CommandBlock&)> reply;
  // Standard answers: the boot status says the OS runs, the capacity code is
  // 0x3F, the ready poll answers busy `busyPolls` times (-1: always), the
  // reset poll `resetBusyPolls` times (-1: always), anything else is echoed.
  int busyPolls = 0;
  int resetBusyPolls = 0;
  int failReceiveOf = -1;  // tail command whose RECEIVE fails
  std::set<std::string> missingPipes;  // pipe names that cannot be opened
  // Block indexes (from the last download or upload request) that fail or
  // move only half their length.
  std::optional<std::uint32_t> failWrite, shortWrite, failRead, shortRead;
  std::optional<int> unplugAfterBlocks;
  std::set<std::uint32_t> corrupt;  // addresses sent back inverted
  std::function<void()> beforeBlock;

  // ---- what reached it ----
  // "open"/"close" for the device handle, "PIPE01"/"/PIPE01" for a pipe
  // opened and closed ("PIPE01!" when it cannot be opened), the commands
  // sent, and "W"/"R" for each block moved ("W!" failed, "Ws" short).
  std::vector<std::string> tokens;
  std::vector<CommandBlock> sends;  // blocks of every SEND, in order
  std::vector<std::string> opens;   // paths of every successful open
  std::vector<std::vector<std::uint8_t>> pipeWrites;
  std::vector<std::uint8_t> memory;  // what the out pipe wrote; 0xEE elsewhere
  int openNow = 0;
  int mostOpen = 0;

  std::string Trace() const { return FoldTokens(tokens); }
  // Tail command codes (byte 56) of the SENDs, in order.
  std::vector<std::uint8_t> TailCodes() const;

 private:
  Handle Open(const std::string& path);
  bool Close(Handle handle);
  bool Exchange(Handle handle, std::uint32_t code, const void* in, std::uint32_t inLen, void* out,
                std::uint32_t outLen, std::uint32_t* returned);
  void Answer(CommandBlock& block, bool head);
  bool IsPipe(Handle handle) const;
  bool Move(const char* what, const std::optional<std::uint32_t>& fail,
            const std::optional<std::uint32_t>& shortBlock, std::uint32_t& index,
            std::uint32_t length, std::uint32_t* count,
            const std::function<void(std::uint32_t at, std::uint32_t n)>& copy);

  std::uint32_t written_ = 0;
  std::uint32_t read_ = 0;
  Handle nextHandle_ = 100;
  std::map<Handle, std::string> open_;  // pipe name; empty for the device
};

}  // namespace kavlen::test
