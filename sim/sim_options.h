#pragma once
// The simulator's command line: where it listens, what it records, and the
// state and faults of the emulator it plays.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavlen::sim {

struct SimOptions {
  std::string dir;           // device root; empty: the default root
  std::string name = "emu0";  // socket name in the class folder
  std::string logPath;       // one JSON object per line; empty: no log
  std::string dumpPath;      // memory covered by a finished download
  bool refuseOpen = false;
  bool tcp = false;          // also listen on loopback TCP (for wine)

  bool osRunning = false;  // --state os
  std::uint8_t model = 2;
  std::uint8_t version = 0x12;
  std::uint8_t capacityMask = 0x3F;
  std::optional<std::uint16_t> osChecksum;
  bool startOsFails = false;
  std::optional<std::uint8_t> bootReply;

  std::uint32_t readyAfter = 0;
  bool neverReady = false;
  std::uint32_t resetAfter = 0;
  bool resetNever = false;

  std::optional<std::uint8_t> failReceive;  // command code whose RECEIVE fails
  std::vector<std::uint32_t> corrupt;       // memory addresses inverted on read-back
  std::string noPipe;                       // "PIPE00" or "PIPE01"
  std::optional<std::uint32_t> failWriteBlock;
  std::optional<std::uint32_t> failReadBlock;
  std::optional<std::uint32_t> shortWriteBlock;
  std::optional<std::uint32_t> shortReadBlock;
  std::optional<std::uint32_t> unplugAfterBlocks;
};

// False with a message in *error for an unknown option or a bad value.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

}  // namespace kavlen::sim
