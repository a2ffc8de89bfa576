#include "device/device_link.h"

#include <cstring>
#include <memory>
#include <new>

#include "device/str_printf.h"

namespace kavlen {

namespace {

constexpr std::uint32_t kPresentInterfaces = kDigcfPresent | kDigcfDeviceInterface;
constexpr std::uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr std::uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;
// A detail record is a size field and one path; anything larger is a broken answer.
constexpr std::uint32_t kMaxDetailSize = 64 * 1024;
// A driver that keeps failing indices with errors other than the end of the
// list must not hold the caller for ever.
constexpr std::uint32_t kMaxFailedIndices = 1024;

}  // namespace

DeviceLink::DeviceLink(DriverApi& api, TraceSink& sink, Flavour flavour)
    : api_(api), sink_(sink), flavour_(flavour) {}

bool DeviceLink::ReadInterfacePath(DevInfoSet set, DeviceInterfaceData* data, std::string& path) {
  std::uint32_t required = 0;
  api_.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required);
  if (required <= kInterfaceDetailPathOffset || required > kMaxDetailSize) return false;
  const std::unique_ptr<char[]> detail(new (std::nothrow) char[required]());
  if (!detail) return false;
  std::memcpy(detail.get(), &kInterfaceDetailFixedSize, sizeof kInterfaceDetailFixedSize);
  if (!api_.SetupDiGetDeviceInterfaceDetailA(set, data, detail.get(), required, nullptr)) {
    return false;
  }
  const char* text = detail.get() + kInterfaceDetailPathOffset;
  path.assign(text, strnlen(text, required - kInterfaceDetailPathOffset));
  return true;
}

Handle DeviceLink::OpenInterfacePath(DevInfoSet set, DeviceInterfaceData* data) {
  if (!ReadInterfacePath(set, data, path_)) return kInvalidHandle;

  if (flavour_ == Flavour::Gui) sink_.Print(StrPrintf("Attempting to open %s\n", path_.c_str()));
  const Handle handle = api_.CreateFileA(path_.c_str(), kReadWrite, kShareReadWrite, kCreateNew, 0);
  if (handle == kInvalidHandle) sink_.Print(StrPrintf("FAILED to open %s\n", path_.c_str()));
  return handle;
}

template <typename EachInterface>
void DeviceLink::Enumerate(const Guid& classGuid, EachInterface each) {
  const DevInfoSet set = api_.SetupDiGetClassDevsA(classGuid, kPresentInterfaces);
  if (set == kInvalidHandle) return;
  std::uint32_t failedIndices = 0;
  for (std::uint32_t index = 0;; ++index) {
    DeviceInterfaceData data{};
    data.cbSize = sizeof data;
    if (api_.SetupDiEnumDeviceInterfaces(set, classGuid, index, &data)) {
      each(set, &data);
      continue;
    }
    if (api_.GetLastError() == kErrorNoMoreItems || ++failedIndices >= kMaxFailedIndices) break;
  }
  api_.SetupDiDestroyDeviceInfoList(set);
}

Handle DeviceLink::EnumerateAndOpen(const Guid& classGuid) {
  Handle result = kInvalidHandle;
  std::uint32_t found = 0;
  Enumerate(classGuid, [&](DevInfoSet set, DeviceInterfaceData* data) {
    ++found;
    if (selected_ != 0) {
      // the chosen one alone is opened
      if (found == selected_) result = OpenInterfacePath(set, data);
      return;
    }
    // Only the last interface enumerated is kept open.
    if (result != kInvalidHandle) api_.CloseHandle(result);
    result = OpenInterfacePath(set, data);
  });
  return result;
}

std::string DeviceLink::FindDevicePath(const Guid& classGuid) {
  std::string chosen;
  std::uint32_t found = 0;
  Enumerate(classGuid, [&](DevInfoSet set, DeviceInterfaceData* data) {
    ++found;
    if (selected_ != 0 && found != selected_) return;
    std::string path;
    chosen = ReadInterfacePath(set, data, path) ? path : std::string();
  });
  return chosen;
}

DeviceLock DeviceLink::HoldDevice(std::chrono::milliseconds wait) {
  return DeviceLock::Acquire(FindDevicePath(kDeviceInterfaceGuid), wait);
}

std::vector<std::string> DeviceLink::EmulatorPaths() {
  std::vector<std::string> paths;
  Enumerate(kDeviceInterfaceGuid, [&](DevInfoSet set, DeviceInterfaceData* data) {
    std::string path;
    paths.push_back(ReadInterfacePath(set, data, path) ? path : std::string());
  });
  return paths;
}

int DeviceLink::GetUsbDeviceFileName(const Guid& classGuid) {
  const Handle handle = EnumerateAndOpen(classGuid);
  if (handle == kInvalidHandle) return 0;
  api_.CloseHandle(handle);
  return 1;
}

Handle DeviceLink::OpenDevice() {
  // A handle still held here would be a second one on the emulator.
  CloseDevice();
  device_ = EnumerateAndOpen(kDeviceInterfaceGuid);
  if (flavour_ == Flavour::Gui) {
    if (device_ == kInvalidHandle) {
      sink_.Print(StrPrintf("Failed to open (%s) = %d", path_.c_str(),
                            static_cast<int>(api_.GetLastError())));
    } else {
      sink_.Print(StrPrintf("DeviceName = (%s)\n", path_.c_str()));
    }
  }
  return device_;
}

void DeviceLink::CloseDevice() {
  if (device_ == kInvalidHandle) return;
  api_.CloseHandle(device_);
  device_ = kInvalidHandle;
}

Handle DeviceLink::OpenPipe(const char* pipeName) {
  if (GetUsbDeviceFileName(kDeviceInterfaceGuid) == 0) {
    sink_.Print(flavour_ == Flavour::Gui ? "Failed to GetUsbDeviceFileName\n"
                                         : "Cannot Find USB Device... Fail !! \n");
    return kInvalidHandle;
  }
  path_ += '\\';
  path_ += pipeName;
  if (flavour_ == Flavour::Gui) sink_.Print(StrPrintf("completeDeviceName = (%s)\n", path_.c_str()));

  const Handle pipe = api_.CreateFileA(path_.c_str(), kReadWrite, kShareReadWrite, kOpenExisting, 0);
  if (pipe == kInvalidHandle) {
    sink_.Print(StrPrintf("Failed to open (%s) = %d", path_.c_str(),
                          static_cast<int>(api_.GetLastError())));
    return kInvalidHandle;
  }
  if (flavour_ == Flavour::Gui) sink_.Print("Opened successfully.\n");
  return pipe;
}

}  // namespace kavlen
