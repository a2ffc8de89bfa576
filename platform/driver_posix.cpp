// POSIX backend: the devices are the kavlen-sim processes of the device
// folder, each reached through its Unix socket, or through loopback TCP when
// only its "<name>.tcp" file is there.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/device_root.h"
#include "platform/remote_driver.h"
#include "platform/sim_driver.h"
#include "platform/sim_socket.h"

namespace kavlen {

namespace {

constexpr const char* kTcpSuffix = ".tcp";
constexpr std::size_t kTcpSuffixLength = 4;

std::uint32_t ConnectError(int error) {
  switch (error) {
    case ENOENT:
    case ECONNREFUSED:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ETIMEDOUT:
      return kErrorDeviceNotConnected;
    default:
      return kErrorGenFailure;
  }
}

bool OwnEntry(const std::string& path, mode_t type) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type && st.st_uid == getuid();
}

class PosixEndpoints final : public SimEndpoints {
 public:
  explicit PosixEndpoints(std::string root) : root_(std::move(root)) {}

  std::string ClassDir() override {
    return DeviceClassDir(root_.empty() ? DeviceRootDir() : root_);
  }
  char Separator() const override { return '/'; }

  // A folder anyone could fill with sockets is not trusted.
  std::vector<std::string> Names(const std::string& classDir) override {
    std::vector<std::string> names;
    const std::string root = classDir.substr(0, classDir.rfind('/'));
    if (!IsPrivateDir(root) || !IsPrivateDir(classDir)) return names;
    DIR* listing = opendir(classDir.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = readdir(listing)) {
      std::string name = entry->d_name;
      if (name[0] == '.') continue;
      if (name.size() > kTcpSuffixLength &&
          name.compare(name.size() - kTcpSuffixLength, kTcpSuffixLength, kTcpSuffix) == 0) {
        name.resize(name.size() - kTcpSuffixLength);
      }
      names.push_back(std::move(name));
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }

  SocketFd Connect(const std::string& classDir, const std::string& name, const Deadline& deadline,
                   std::uint32_t* error, std::string* token) override {
    const std::string path = classDir + "/" + name;
    *error = kErrorFileNotFound;
    token->clear();
    if (OwnEntry(path, S_IFSOCK)) {
      const int fd = ConnectUnixSocket(path, deadline);
      if (fd >= 0) return fd;
      *error = ConnectError(errno);
    }
    TcpEndpoint endpoint;
    const std::string file = path + kTcpSuffix;
    if (!OwnEntry(file, S_IFREG) || !ReadTcpEndpoint(file, &endpoint)) return kNoSocket;
    bool timedOut = false;
    const SocketFd fd = ConnectTcp(endpoint, deadline, &timedOut);
    if (fd == kNoSocket) *error = timedOut ? kErrorDeviceNotConnected : kErrorFileNotFound;
    *token = endpoint.token;
    return fd;
  }

 private:
  const std::string root_;
};

}  // namespace

std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir, std::chrono::milliseconds timeout) {
  return MakeSimDriverOver(std::make_unique<PosixEndpoints>(std::move(rootDir)), timeout);
}

DriverApi& SystemDriver() {
  static const std::unique_ptr<DriverApi> driver = []() -> std::unique_ptr<DriverApi> {
    RemoteBridge bridge;
    if (RemoteBridgeSetting(&bridge)) return MakeRemoteDriver(bridge);
    return MakeSimDriver();
  }();
  return *driver;
}

}  // namespace kavlen
