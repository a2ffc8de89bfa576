#pragma once
// The emulator as the simulator plays it, apart from any socket: its state
// (boot code or device OS), its 8 MB memory, the command blocks it answers,
// the transfers it expects on its pipes, and the faults it was told to show.
// Every operation is recorded in the event log.

#include <cstdint>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "sim/event_log.h"
#include "sim/sim_options.h"

namespace kavlen::sim {

inline constexpr std::uint32_t kMemorySize = 8u * 1024u * 1024u;
inline constexpr std::uint8_t kFreshMemoryByte = 0xCC;

struct OpResult {
  bool ok = true;
  std::uint32_t error = 0;  // GetLastError code when !ok
  std::uint32_t count = 0;  // bytes returned, written or read
};

class DeviceModel {
 public:
  DeviceModel(const SimOptions& options, EventLog& log);

  // target: "" for the interface, else the pipe name.
  OpResult Open(const std::string& target);
  void Close(const std::string& target);
  // The output bytes go to *out (at most outLen); a failed request leaves *out empty.
  OpResult Ioctl(std::uint32_t code, const std::uint8_t* in, std::uint32_t inLen,
                 std::uint32_t outLen, std::vector<std::uint8_t>* out);
  OpResult Write(const std::string& target, const std::uint8_t* data, std::uint32_t len);
  OpResult Read(const std::string& target, std::uint8_t* data, std::uint32_t len);

  // The device has vanished: its connections close and its socket goes away.
  bool unplugged() const { return unplugged_; }
  bool osRunning() const { return osRunning_; }
  // The name clients open it by.
  const std::string& name() const { return options_.name; }
  const std::vector<std::uint8_t>& memory() const { return memory_; }

 private:
  struct Transfer {
    std::uint32_t blocks = 0;  // announced
    std::uint32_t done = 0;    // attempted so far
    bool pending() const { return done < blocks; }
  };

  CommandBlock Answer(bool head, const CommandBlock& request);
  std::uint16_t OsChecksum() const;
  void CountBlock();
  void DumpDownload() const;

  const SimOptions& options_;
  EventLog& log_;
  int openHandles_ = 0;
  bool osRunning_;
  bool unplugged_ = false;
  std::vector<std::uint8_t> memory_;
  std::vector<std::uint8_t> deviceOs_;
  bool replyPending_ = false;
  bool pendingHead_ = false;  // the pending reply answers a head SEND
  std::uint8_t pendingCode_ = 0;
  CommandBlock pendingReply_{};
  std::uint32_t readyPolls_ = 0;
  std::uint32_t resetPolls_ = 0;
  Transfer download_;
  Transfer upload_;
  std::uint32_t blocksMoved_ = 0;
};

}  // namespace kavlen::sim
