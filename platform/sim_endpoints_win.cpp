// Windows programs reach kavlen-sim through loopback TCP when
// KAVLEN_DEVICE_DIR names a device folder: each "<name>.tcp" file of its
// class folder is one attached emulator. (Under wine the simulator's Linux
// folder is reachable as Z:\..., and wine has no Unix-domain sockets.)

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim_driver.h"

namespace kavlen {

namespace {

constexpr const char* kTcpSuffix = ".tcp";
constexpr std::size_t kTcpSuffixLength = 4;

class TcpEndpoints final : public SimEndpoints {
 public:
  explicit TcpEndpoints(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && (root_.back() == '\\' || root_.back() == '/')) root_.pop_back();
  }

  std::string ClassDir() override { return root_ + "\\" + kDeviceInterfaceGuidText; }
  char Separator() const override { return '\\'; }

  std::vector<std::string> Names(const std::string& classDir) override {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const std::string pattern = classDir + "\\*" + kTcpSuffix;
    const HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      std::string name = found.cFileName;
      // the pattern also matches longer suffixes such as ".tcpx" in short names
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name[0] == '.' ||
          name.size() <= kTcpSuffixLength ||
          name.compare(name.size() - kTcpSuffixLength, kTcpSuffixLength, kTcpSuffix) != 0) {
        continue;
      }
      name.resize(name.size() - kTcpSuffixLength);
      names.push_back(std::move(name));
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }

  SocketFd Connect(const std::string& classDir, const std::string& name, const Deadline& deadline,
                   std::uint32_t* error, std::string* token) override {
    *error = kErrorFileNotFound;
    TcpEndpoint endpoint;
    if (!ReadTcpEndpoint(classDir + "\\" + name + kTcpSuffix, &endpoint)) return kNoSocket;
    bool timedOut = false;
    const SocketFd fd = ConnectTcp(endpoint, deadline, &timedOut);
    if (fd == kNoSocket && timedOut) *error = kErrorDeviceNotConnected;
    *token = endpoint.token;
    return fd;
  }

 private:
  std::string root_;
};

}  // namespace

std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir, std::chrono::milliseconds timeout) {
  return MakeSimDriverOver(std::make_unique<TcpEndpoints>(std::move(rootDir)), timeout);
}

}  // namespace kavlen
