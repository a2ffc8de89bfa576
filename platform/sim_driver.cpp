#include "platform/sim_driver.h"

#include <cstring>
#include <map>
#include <mutex>

#include "platform/sim_wire.h"

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

struct Target {
  std::string name;  // device name in the class folder; empty: not one of ours
  std::string pipe;  // "" for the interface itself
};

// interface path + "\" + pipe name opens a pipe of that interface. Only the
// part after the class folder is split, so a backslash in the folder's own
// path (any Windows path, or a POSIX folder named so) hides nothing.
Target SplitDevicePath(const std::string& path, const std::string& classDir, char separator) {
  const std::string prefix = classDir + separator;
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return {};
  const std::string rest = path.substr(prefix.size());
  const std::size_t cut = rest.find('\\');
  Target target{rest.substr(0, cut), cut == std::string::npos ? std::string() : rest.substr(cut + 1)};
  if (target.name.find_first_of("/\\") != std::string::npos) return {};
  return target;
}

class SimDriver final : public DriverApi {
 public:
  SimDriver(std::unique_ptr<SimEndpoints> endpoints, std::chrono::milliseconds timeout)
      : endpoints_(std::move(endpoints)), timeout_(timeout) {}
  ~SimDriver() override {
    for (const auto& [handle, fd] : handles_) CloseSocket(fd);
  }

  // Devices that answer a connect, in name order. The probe connection
  // closes without a request, which the simulator does not count as an open.
  DevInfoSet SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t) override {
    std::vector<std::string> paths;
    if (SameGuid(classGuid, kDeviceInterfaceGuid)) {
      const std::string classDir = endpoints_->ClassDir();
      for (const std::string& name : endpoints_->Names(classDir)) {
        std::uint32_t error = 0;
        const SocketFd fd = endpoints_->Connect(classDir, name, Deadline(timeout_), &error);
        if (fd == kNoSocket) continue;
        CloseSocket(fd);
        paths.push_back(classDir + endpoints_->Separator() + name);
      }
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
    const std::string classDir = endpoints_->ClassDir();
    const Target target = SplitDevicePath(path, classDir, endpoints_->Separator());
    if (target.name.empty()) {
      Fail(kErrorFileNotFound);
      return kInvalidHandle;
    }
    const Deadline deadline(timeout_);
    std::uint32_t error = kErrorFileNotFound;
    const SocketFd fd = endpoints_->Connect(classDir, target.name, deadline, &error);
    if (fd == kNoSocket) {
      Fail(error);
      return kInvalidHandle;
    }
    const wire::Request request{wire::kOpen, disposition,
                                static_cast<std::uint32_t>(target.pipe.size()), 0};
    wire::Reply reply{};
    if (!Exchange(fd, request, target.pipe.data(), &reply, nullptr, 0, deadline) ||
        reply.ok == 0) {
      CloseSocket(fd);
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
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    if ((in == nullptr && inLen != 0) || (out == nullptr && outLen != 0)) {
      return Fail(kErrorInvalidParameter);
    }
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kIoctl, code, inLen, outLen}, in, &reply, out, outLen,
                             Deadline(timeout_));
    if (returned != nullptr) *returned = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool ReadFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* bytesRead) override {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kRead, 0, 0, length}, nullptr, &reply, buffer, length,
                             Deadline(timeout_));
    if (bytesRead != nullptr) *bytesRead = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool WriteFile(Handle handle, const void* buffer, std::uint32_t length,
                 std::uint32_t* bytesWritten) override {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    wire::Reply reply{};
    const bool ok = Exchange(fd, {wire::kWrite, 0, length, 0}, buffer, &reply, nullptr, 0,
                             Deadline(timeout_));
    if (bytesWritten != nullptr) *bytesWritten = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  // Waits for the simulator to confirm the close, so that a following open
  // can never overtake it.
  bool CloseHandle(Handle handle) override {
    SocketFd fd = kNoSocket;
    {
      const std::lock_guard lock(mutex_);
      const auto found = handles_.find(handle);
      if (found == handles_.end()) return Fail(kErrorInvalidHandle);
      fd = found->second;
      handles_.erase(found);
    }
    wire::Reply reply{};
    Exchange(fd, {wire::kClose, 0, 0, 0}, nullptr, &reply, nullptr, 0, Deadline(timeout_));
    CloseSocket(fd);
    return true;
  }

  std::uint32_t GetLastError() override { return tLastError; }

 private:
  SocketFd FdOf(Handle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = handles_.find(handle);
    return found == handles_.end() ? kNoSocket : found->second;
  }

  // One request and its reply. The reply payload goes straight into out.
  // False (last error set) when the simulator is gone, breaks the protocol or
  // does not answer in time; such a stream is shut so that every later call
  // on its handle fails at once. Otherwise true, with the simulator's error
  // as last error if it failed.
  static bool Exchange(SocketFd fd, const wire::Request& request, const void* payload,
                       wire::Reply* reply, void* out, std::uint32_t outLen,
                       const Deadline& deadline) {
    if (!SendAll(fd, &request, sizeof request, payload, request.length, deadline) ||
        !RecvAll(fd, reply, sizeof *reply, deadline)) {
      return Broken(fd, kErrorDeviceNotConnected);
    }
    if (reply->length > outLen) return Broken(fd, kErrorGenFailure);
    if (reply->length > 0 && !RecvAll(fd, out, reply->length, deadline)) {
      return Broken(fd, kErrorDeviceNotConnected);
    }
    if (reply->ok == 0) tLastError = reply->error;
    return true;
  }

  static bool Broken(SocketFd fd, std::uint32_t error) {
    ShutdownSocket(fd);
    return Fail(error);
  }

  const std::unique_ptr<SimEndpoints> endpoints_;
  const std::chrono::milliseconds timeout_;
  std::mutex mutex_;
  DevInfoSet nextSet_ = 1;
  std::map<DevInfoSet, std::vector<std::string>> sets_;
  std::map<Handle, SocketFd> handles_;
};

}  // namespace

std::unique_ptr<DriverApi> MakeSimDriverOver(std::unique_ptr<SimEndpoints> endpoints,
                                             std::chrono::milliseconds timeout) {
  return std::make_unique<SimDriver>(std::move(endpoints), timeout);
}

}  // namespace kavlen
