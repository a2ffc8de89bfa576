#pragma once
// kavlen-bridge's command line.

#include <cstdint>
#include <string>
#include <vector>

namespace kavlen::bridge {

struct BridgeOptions {
  std::string host = "127.0.0.1";  // --listen ADDR:PORT
  std::uint16_t port = 7362;
  bool listenGiven = false;
  std::string tokenFile;  // empty: DefaultTokenFile()
  bool list = false;
  bool help = false;
  bool version = false;
};

// False with a message in *error for an unknown option or a bad value.
bool ParseBridgeOptions(const std::vector<std::string>& args, BridgeOptions* options,
                        std::string* error);

// Where the token is kept unless --token-file names a file:
// $XDG_CONFIG_HOME/kavlen/bridge.token (POSIX), %LOCALAPPDATA%\kavlen\bridge.token
// (Windows); empty when there is no such folder.
std::string DefaultTokenFile();

// True when host is a loopback address (127.0.0.0/8, ::1, localhost).
bool IsLoopbackHost(const std::string& host);

}  // namespace kavlen::bridge
