#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_root.h"
#include "platform/sim_driver.h"
#include "platform/sim_socket.h"
#include "platform/sim_wire.h"
#include "platform/system.h"

namespace kavlen {

namespace {

// SetupDi refuses a detail record whose size field is not its own.
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;
// SPINT_ACTIVE: the interface is present and usable.
constexpr std::uint32_t kInterfaceActive = 1;

thread_local std::uint32_t tLastError = kErrorSuccess;

bool Fail(std::uint32_t error) {
  tLastError = error;
  return false;
}

bool SameGuid(const Guid& a, const Guid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

std::uint32_t ConnectError(int error) {
  switch (error) {
    case ENOENT:
    case ECONNREFUSED:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    default:
      return kErrorGenFailure;
  }
}

// Sockets in the class folder that are this user's own and answer a connect,
// in name order. The probe connection closes without a request, which the
// simulator does not count as an open.
std::vector<std::string> PresentInterfaces(const std::string& root) {
  std::vector<std::string> paths;
  const std::string dir = DeviceClassDir(root);
  if (!IsPrivateDir(root) || !IsPrivateDir(dir)) return paths;
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return paths;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = dir + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != getuid()) continue;
    const int fd = ConnectUnixSocket(path);
    if (fd < 0) continue;
    close(fd);
    paths.push_back(path);
  }
  return paths;
}

class SimDriver final : public DriverApi {
 public:
  explicit SimDriver(std::string root) : root_(std::move(root)) {}
  ~SimDriver() override {
    for (const auto& [handle, fd] : handles_) close(fd);
  }

  DevInfoSet SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t) override {
    std::vector<std::string> paths;
    if (SameGuid(classGuid, kDeviceInterfaceGuid)) {
      paths = PresentInterfaces(root_.empty() ? DeviceRootDir() : root_);
    }
    const std::lock_guard lock(mutex_);
    const DevInfoSet set = nextSet_++;
    sets_[set] = std::move(paths);
    return set;
  }

  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const Guid& classGuid, std::uint32_t index,
                                   DeviceInterfaceData* data) override {
    const std::lock_guard lock(mutex_);
    const auto found = sets_.find(set);
    if (found == sets_.end()) return Fail(kErrorInvalidHandle);
    if (data == nullptr || data->cbSize != sizeof(DeviceInterfaceData)) {
      return Fail(kErrorInvalidUserBuffer);
    }
    if (index >= found->second.size()) return Fail(kErrorNoMoreItems);
    data->interfaceClassGuid = classGuid;
    data->flags = kInterfaceActive;
    data->reserved = std::uintptr_t{index} + 1;
    return true;
  }

  bool SetupDiGetDeviceInterfaceDetailA(DevInfoSet set, DeviceInterfaceData* data, void* detail,
                                        std::uint32_t detailSize,
                                        std::uint32_t* requiredSize) override {
    const std::lock_guard lock(mutex_);
    const auto found = sets_.find(set);
    if (found == sets_.end()) return Fail(kErrorInvalidHandle);
    if (data == nullptr || data->reserved == 0 || data->reserved > found->second.size()) {
      return Fail(kErrorInvalidParameter);
    }
    const std::string& path = found->second[data->reserved - 1];
    const std::uint32_t need =
        kInterfaceDetailPathOffset + static_cast<std::uint32_t>(path.size()) + 1;
    if (requiredSize != nullptr) *requiredSize = need;
    if (detail == nullptr) {
      return Fail(detailSize == 0 ? kErrorInsufficientBuffer : kErrorInvalidUserBuffer);
    }
    if (detailSize < need) return Fail(kErrorInsufficientBuffer);
    std::uint32_t sizeField = 0;
    std::memcpy(&sizeField, detail, sizeof sizeField);
    if (sizeField != kInterfaceDetailFixedSize) return Fail(kErrorInvalidUserBuffer);
    std::memcpy(static_cast<char*>(detail) + kInterfaceDetailPathOffset, path.c_str(),
                path.size() + 1);
    return true;
  }

  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override {
    const std::lock_guard lock(mutex_);
    return sets_.erase(set) == 1 ? true : Fail(kErrorInvalidHandle);
  }

  Handle CreateFileA(const char* path, std::uint32_t, std::uint32_t, std::uint32_t disposition,
                     std::uint32_t) override {
    if (path == nullptr) {
      Fail(kErrorInvalidParameter);
      return kInvalidHandle;
    }
    // interface path + "\" + pipe name opens a pipe of that interface
    const std::string full(path);
    const std::size_t cut = full.rfind('\\');
    const std::string socketPath = cut == std::string::npos ? full : full.substr(0, cut);
    const std::string target = cut == std::string::npos ? std::string() : full.substr(cut + 1);

    const int fd = ConnectUnixSocket(socketPath);
    if (fd < 0) {
      Fail(ConnectError(errno));
      return kInvalidHandle;
    }
    const wire::Request request{wire::kOpen, disposition, static_cast<std::uint32_t>(target.size()), 0};
    wire::Reply reply{};
    if (!Exchange(fd, request, target.data(), &reply, nullptr, 0) || reply.ok == 0) {
      close(fd);
      return kInvalidHandle;
    }
    const std::lock_guard lock(mutex_);
    Handle handle = 1;
    while (handles_.count(handle) != 0) ++handle;
    handles_[handle] = fd;
    return handle;
  }

  bool DeviceIoControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) override {
    const int fd = FdOf(handle);
    if (fd < 0) return Fail(kErrorInvalidHandle);
    if ((in == nullptr && inLen != 0) || (out == nullptr && outLen != 0)) {
      return Fail(kErrorInvalidParameter);
    }
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kIoctl, code, inLen, outLen}, in, &reply, out, outLen);
    if (returned != nullptr) *returned = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool ReadFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* bytesRead) override {
    const int fd = FdOf(handle);
    if (fd < 0) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kRead, 0, 0, length}, nullptr, &reply, buffer, length);
    if (bytesRead != nullptr) *bytesRead = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool WriteFile(Handle handle, const void* buffer, std::uint32_t length,
                 std::uint32_t* bytesWritten) override {
    const int fd = FdOf(handle);
    if (fd < 0) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kWrite, 0, length, 0}, buffer, &reply, nullptr, 0);
    if (bytesWritten != nullptr) *bytesWritten = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  // Waits for the simulator to confirm the close, so that a following open
  // can never overtake it.
  bool CloseHandle(Handle handle) override {
    int fd = -1;
    {
      const std::lock_guard lock(mutex_);
      const auto found = handles_.find(handle);
      if (found == handles_.end()) return Fail(kErrorInvalidHandle);
      fd = found->second;
      handles_.erase(found);
    }
    wire::Reply reply{};
    Exchange(fd, {wire::kClose, 0, 0, 0}, nullptr, &reply, nullptr, 0);
    close(fd);
    return true;
  }

  std::uint32_t GetLastError() override { return tLastError; }

 private:
  int FdOf(Handle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = handles_.find(handle);
    return found == handles_.end() ? -1 : found->second;
  }

  // One request and its reply. The reply payload goes straight into out.
  // False (last error set) when the simulator is gone or breaks the protocol;
  // otherwise true, with the simulator's error as last error if it failed.
  static bool Exchange(int fd, const wire::Request& request, const void* payload,
                       wire::Reply* reply, void* out, std::uint32_t outLen) {
    if (!SendAll(fd, &request, sizeof request, payload, request.length) ||
        !RecvAll(fd, reply, sizeof *reply)) {
      return Fail(kErrorDeviceNotConnected);
    }
    if (reply->length > outLen) return Fail(kErrorGenFailure);
    if (reply->length > 0 && !RecvAll(fd, out, reply->length)) {
      return Fail(kErrorDeviceNotConnected);
    }
    if (reply->ok == 0) tLastError = reply->error;
    return true;
  }

  const std::string root_;
  std::mutex mutex_;
  DevInfoSet nextSet_ = 1;
  std::map<DevInfoSet, std::vector<std::string>> sets_;
  std::map<Handle, int> handles_;
};

}  // namespace

std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir) {
  return std::make_unique<SimDriver>(std::move(rootDir));
}

DriverApi& SystemDriver() {
  static const std::unique_ptr<DriverApi> driver = MakeSimDriver();
  return *driver;
}

}  // namespace kavlen
