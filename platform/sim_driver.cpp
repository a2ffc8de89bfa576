#include "platform/sim_driver.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

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
        if (endpoints_->ProbeEach()) {
          std::uint32_t error = 0;
          std::string token;
          const SocketFd fd = endpoints_->Connect(classDir, name, Deadline(timeout_), &error, &token);
          if (fd == kNoSocket) continue;
          CloseSocket(fd);
        }
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
    // interface path + "\" + pipe name opens a pipe of that interface. Only
    // the part after the class folder is split, so a backslash in the
    // folder's own path (any Windows path, or a POSIX folder named so) hides
    // nothing.
    const std::string classDir = endpoints_->ClassDir();
    const std::string prefix = classDir + endpoints_->Separator();
    const std::string full = path;
    std::string name, pipe;
    if (full.size() <= prefix.size() || full.compare(0, prefix.size(), prefix) != 0 ||
        !endpoints_->Split(full.substr(prefix.size()), &name, &pipe)) {
      Fail(kErrorFileNotFound);
      return kInvalidHandle;
    }
    const Deadline deadline(timeout_);
    std::uint32_t error = kErrorFileNotFound;
    std::string token;
    const SocketFd fd = endpoints_->Connect(classDir, name, deadline, &error, &token);
    if (fd == kNoSocket) {
      Fail(error);
      return kInvalidHandle;
    }
    unsigned char open[KW_MAX_OPEN_PAYLOAD];
    const std::size_t openLength =
        KwEncodeOpen(open, sizeof open, name.data(), name.size(), pipe.data(), pipe.size());
    if (openLength == 0) {
      CloseSocket(fd);
      Fail(kErrorFileNotFound);
      return kInvalidHandle;
    }
    const KwRequest request{KW_OP_OPEN, disposition, static_cast<std::uint32_t>(openLength), 0};
    KwReply reply{};
    std::uint32_t helloStatus = KW_HELLO_OK;
    const bool answered = WireExchange(fd, request, open, &reply, nullptr, 0, deadline, &error,
                                       &token, &helloStatus);
    if (helloStatus != KW_HELLO_OK) endpoints_->Refused(helloStatus);
    if (!answered || reply.ok == 0) {
      Fail(error);
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
    DropOwed(handle, fd);
    KwReply reply{};
    const bool ok = Exchange(fd, {KW_OP_IOCTL, code, inLen, outLen}, in, &reply, out, outLen);
    if (returned != nullptr) *returned = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool ReadFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* bytesRead) override {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    DropOwed(handle, fd);
    KwReply reply{};
    const bool ok = Exchange(fd, {KW_OP_READ, 0, 0, length}, nullptr, &reply, buffer, length);
    if (bytesRead != nullptr) *bytesRead = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool WriteFile(Handle handle, const void* buffer, std::uint32_t length,
                 std::uint32_t* bytesWritten) override {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    DropOwed(handle, fd);
    KwReply reply{};
    const bool ok = Exchange(fd, {KW_OP_WRITE, 0, length, 0}, buffer, &reply, nullptr, 0);
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
    DropOwed(handle, fd);
    KwReply reply{};
    Exchange(fd, {KW_OP_CLOSE, 0, 0, 0}, nullptr, &reply, nullptr, 0);
    CloseSocket(fd);
    return true;
  }

  std::uint32_t GetLastError() override { return tLastError; }

  std::uint32_t PipeDepth() override { return endpoints_->PipeDepth(); }

  bool BeginWriteFile(Handle handle, const void* buffer, std::uint32_t length) override {
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    return Begin(handle, {KW_OP_WRITE, KW_FLAG_AFTER_OK, length, 0}, buffer);
  }

  bool EndWriteFile(Handle handle, std::uint32_t* bytesWritten) override {
    KwReply reply{};
    const bool ok = End(handle, &reply, nullptr, 0);
    *bytesWritten = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

  bool BeginReadFile(Handle handle, std::uint32_t length) override {
    return Begin(handle, {KW_OP_READ, KW_FLAG_AFTER_OK, 0, length}, nullptr);
  }

  bool EndReadFile(Handle handle, void* buffer, std::uint32_t length,
                   std::uint32_t* bytesRead) override {
    *bytesRead = 0;
    if (buffer == nullptr && length != 0) return Fail(kErrorInvalidParameter);
    KwReply reply{};
    const bool ok = End(handle, &reply, buffer, length);
    *bytesRead = ok ? reply.count : 0;
    return ok && reply.ok != 0;
  }

 private:
  bool Begin(Handle handle, const KwRequest& request, const void* payload) {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    std::uint32_t error = kErrorSuccess;
    if (!WireSend(fd, request, payload, Deadline(timeout_), &error)) return Fail(error);
    const std::lock_guard lock(mutex_);
    owed_[handle].push_back(request.wanted);
    return true;
  }

  // The reply of the oldest request begun on handle; false when none is owed.
  bool End(Handle handle, KwReply* reply, void* out, std::uint32_t outLen) {
    const SocketFd fd = FdOf(handle);
    if (fd == kNoSocket) return Fail(kErrorInvalidHandle);
    {
      const std::lock_guard lock(mutex_);
      const auto found = owed_.find(handle);
      if (found == owed_.end() || found->second.empty()) return Fail(kErrorInvalidParameter);
      found->second.pop_front();
    }
    std::uint32_t error = kErrorSuccess;
    const bool answered = WireReceive(fd, reply, out, outLen, Deadline(timeout_), &error);
    if (!answered || reply->ok == 0) tLastError = error;
    return answered;
  }

  // Takes the replies of requests begun and never ended, so that the
  // stream is in step for the next request. One that fails has shut it.
  void DropOwed(Handle handle, SocketFd fd) {
    std::deque<std::uint32_t> owed;
    {
      const std::lock_guard lock(mutex_);
      const auto found = owed_.find(handle);
      if (found == owed_.end()) return;
      owed.swap(found->second);
      owed_.erase(found);
    }
    std::vector<unsigned char> scratch;
    for (const std::uint32_t wanted : owed) {
      scratch.resize(wanted);
      KwReply reply{};
      std::uint32_t error = kErrorSuccess;
      if (!WireReceive(fd, &reply, scratch.data(), wanted, Deadline(timeout_), &error)) return;
    }
  }

  SocketFd FdOf(Handle handle) {
    const std::lock_guard lock(mutex_);
    const auto found = handles_.find(handle);
    return found == handles_.end() ? kNoSocket : found->second;
  }

  bool Exchange(SocketFd fd, const KwRequest& request, const void* payload, KwReply* reply,
                void* out, std::uint32_t outLen) {
    std::uint32_t error = kErrorSuccess;
    const bool answered =
        WireExchange(fd, request, payload, reply, out, outLen, Deadline(timeout_), &error);
    if (!answered || reply->ok == 0) tLastError = error;
    return answered;
  }

  const std::unique_ptr<SimEndpoints> endpoints_;
  const std::chrono::milliseconds timeout_;
  std::mutex mutex_;
  DevInfoSet nextSet_ = 1;
  std::map<DevInfoSet, std::vector<std::string>> sets_;
  std::map<Handle, SocketFd> handles_;
  std::map<Handle, std::deque<std::uint32_t>> owed_;  // the wanted of each request begun
};

}  // namespace

bool SimEndpoints::Split(const std::string& rest, std::string* name, std::string* pipe) {
  const std::size_t cut = rest.find('\\');
  *name = rest.substr(0, cut);
  *pipe = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
  return !name->empty() && name->find_first_of("/\\") == std::string::npos;
}

namespace {

bool Broken(SocketFd fd, std::uint32_t* error, std::uint32_t code) {
  ShutdownSocket(fd);
  *error = code;
  return false;
}

// The request and its payload, after the hello when hello is given.
bool SendRequest(SocketFd fd, const KwRequest& request, const void* payload,
                 const Deadline& deadline, std::uint32_t* error, const std::string* hello) {
  unsigned char head[KW_HELLO_SIZE + KW_MAX_TOKEN + KW_HEADER_SIZE];
  std::size_t used = 0;
  if (hello != nullptr) {
    const std::size_t tokenLength = std::min<std::size_t>(hello->size(), KW_MAX_TOKEN);
    KwEncodeHello(head, static_cast<std::uint32_t>(tokenLength));
    std::memcpy(head + KW_HELLO_SIZE, hello->data(), tokenLength);
    used = KW_HELLO_SIZE + tokenLength;
  }
  KwEncodeRequest(head + used, &request);
  used += KW_HEADER_SIZE;
  if (!SendAll(fd, head, used, payload, request.length, deadline)) {
    return Broken(fd, error, kErrorDeviceNotConnected);
  }
  return true;
}

}  // namespace

bool WireSend(SocketFd fd, const KwRequest& request, const void* payload, const Deadline& deadline,
              std::uint32_t* error) {
  return SendRequest(fd, request, payload, deadline, error, nullptr);
}

bool WireReceive(SocketFd fd, KwReply* reply, void* out, std::uint32_t outLen,
                 const Deadline& deadline, std::uint32_t* error) {
  unsigned char header[KW_HEADER_SIZE];
  if (!RecvAll(fd, header, sizeof header, deadline)) {
    return Broken(fd, error, kErrorDeviceNotConnected);
  }
  if (!KwDecodeReply(header, reply, outLen)) return Broken(fd, error, kErrorGenFailure);
  if (reply->length > 0 && !RecvAll(fd, out, reply->length, deadline)) {
    return Broken(fd, error, kErrorDeviceNotConnected);
  }
  if (reply->ok == 0) *error = reply->error;
  return true;
}

bool WireExchange(SocketFd fd, const KwRequest& request, const void* payload, KwReply* reply,
                  void* out, std::uint32_t outLen, const Deadline& deadline, std::uint32_t* error,
                  const std::string* hello, std::uint32_t* helloStatus) {
  if (!SendRequest(fd, request, payload, deadline, error, hello)) return false;
  if (hello != nullptr) {
    unsigned char greeting[KW_HELLO_REPLY_SIZE];
    if (!RecvAll(fd, greeting, sizeof greeting, deadline)) {
      return Broken(fd, error, kErrorDeviceNotConnected);
    }
    std::uint32_t version = 0;
    KwDecodeHelloReply(greeting, helloStatus, &version);
    if (*helloStatus != KW_HELLO_OK) return Broken(fd, error, kErrorAccessDenied);
  }
  return WireReceive(fd, reply, out, outLen, deadline, error);
}

std::unique_ptr<DriverApi> MakeSimDriverOver(std::unique_ptr<SimEndpoints> endpoints,
                                             std::chrono::milliseconds timeout) {
  return std::make_unique<SimDriver>(std::move(endpoints), timeout);
}

}  // namespace kavlen
