#pragma once
// One kavlen-bridge process (the one this build made, or a kavlen-bridge.exe
// under wine) serving the simulators of a device root on a port the system
// picks, its log in a file; the constructor waits for its "listening on"
// line, the destructor kills it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace kavlen::test {

class BridgeProcess {
 public:
  // The token file is made in root unless extraArgs name one. exe: a
  // Windows build to run under wine instead, which reaches the simulators
  // over TCP and is given Windows paths (Z:\...).
  BridgeProcess(const std::string& root, std::vector<std::string> extraArgs = {},
                std::vector<std::string> extraEnv = {}, const std::string& exe = {});
  ~BridgeProcess();
  BridgeProcess(const BridgeProcess&) = delete;
  BridgeProcess& operator=(const BridgeProcess&) = delete;

  bool ready() const { return !address_.empty(); }
  // "127.0.0.1:PORT"
  const std::string& address() const { return address_; }
  const std::string& tokenFile() const { return tokenFile_; }
  // A client's environment for this bridge.
  std::vector<std::string> ClientEnv() const {
    return {"KAVLEN_REMOTE=" + address_, "KAVLEN_REMOTE_TOKEN_FILE=" + tokenFile_};
  }
  // What it printed so far.
  std::string Output() const;
  pid_t pid() const { return pid_; }
  void Kill();

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::string tokenFile_;
  std::string outPath_;
};

}  // namespace kavlen::test
