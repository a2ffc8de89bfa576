// Windows backend: every call passes straight through to the setup service
// and the file I/O of the emulator's USB kernel driver. When KAVLEN_DEVICE_DIR
// is set, the program talks to simulators in that folder instead.

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/driver_api.h"
#include "platform/remote_driver.h"
#include "platform/sim_driver.h"

namespace kavlen {
namespace {

static_assert(sizeof(DeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA),
              "DeviceInterfaceData must mirror SP_DEVICE_INTERFACE_DATA");
static_assert(offsetof(DeviceInterfaceData, reserved) == offsetof(SP_DEVICE_INTERFACE_DATA, Reserved),
              "DeviceInterfaceData must mirror SP_DEVICE_INTERFACE_DATA");
static_assert(kInterfaceDetailFixedSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A),
              "the detail record's size field must be the platform's own");
static_assert(kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath),
              "the interface path follows the 4-byte size field");

GUID ToWindows(const Guid& g) {
  GUID w;
  w.Data1 = g.data1;
  w.Data2 = g.data2;
  w.Data3 = g.data3;
  std::memcpy(w.Data4, g.data4, sizeof w.Data4);
  return w;
}

HANDLE ToWindows(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromWindows(HANDLE h) { return reinterpret_cast<Handle>(h); }

class WindowsDriverApi final : public DriverApi {
 public:
  DevInfoSet SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) override {
    const GUID guid = ToWindows(classGuid);
    return FromWindows(::SetupDiGetClassDevsA(&guid, nullptr, nullptr, flags));
  }

  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const Guid& classGuid, std::uint32_t memberIndex,
                                   DeviceInterfaceData* data) override {
    const GUID guid = ToWindows(classGuid);
    SP_DEVICE_INTERFACE_DATA native;
    std::memcpy(&native, data, sizeof native);
    const BOOL ok = ::SetupDiEnumDeviceInterfaces(ToWindows(set), nullptr, &guid, memberIndex, &native);
    std::memcpy(data, &native, sizeof native);
    return ok != FALSE;
  }

  bool SetupDiGetDeviceInterfaceDetailA(DevInfoSet set, DeviceInterfaceData* data, void* detail,
                                        std::uint32_t detailSize, std::uint32_t* requiredSize) override {
    SP_DEVICE_INTERFACE_DATA native;
    std::memcpy(&native, data, sizeof native);
    DWORD required = 0;
    const BOOL ok = ::SetupDiGetDeviceInterfaceDetailA(
        ToWindows(set), &native, static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), detailSize,
        &required, nullptr);
    if (requiredSize != nullptr) *requiredSize = required;
    return ok != FALSE;
  }

  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override {
    return ::SetupDiDestroyDeviceInfoList(ToWindows(set)) != FALSE;
  }

  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t disposition, std::uint32_t attributes) override {
    return FromWindows(::CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr));
  }

  bool DeviceIoControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) override {
    DWORD count = 0;
    const BOOL ok = ::DeviceIoControl(ToWindows(handle), code, in, inLen, out, outLen, &count, nullptr);
    if (returned != nullptr) *returned = count;
    return ok != FALSE;
  }

  bool ReadFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* bytesRead) override {
    DWORD count = 0;
    const BOOL ok = ::ReadFile(ToWindows(handle), buffer, length, &count, nullptr);
    if (bytesRead != nullptr) *bytesRead = count;
    return ok != FALSE;
  }

  bool WriteFile(Handle handle, const void* buffer, std::uint32_t length,
                 std::uint32_t* bytesWritten) override {
    DWORD count = 0;
    const BOOL ok = ::WriteFile(ToWindows(handle), buffer, length, &count, nullptr);
    if (bytesWritten != nullptr) *bytesWritten = count;
    return ok != FALSE;
  }

  bool CloseHandle(Handle handle) override { return ::CloseHandle(ToWindows(handle)) != FALSE; }

  std::uint32_t GetLastError() override { return ::GetLastError(); }
};

}  // namespace

DriverApi& SystemDriver() {
  static const std::unique_ptr<DriverApi> driver = []() -> std::unique_ptr<DriverApi> {
    RemoteBridge bridge;
    if (RemoteBridgeSetting(&bridge)) return MakeRemoteDriver(bridge);
    const char* simulators = std::getenv("KAVLEN_DEVICE_DIR");
    if (simulators != nullptr && *simulators != '\0') return MakeSimDriver(simulators);
    return std::make_unique<WindowsDriverApi>();
  }();
  return *driver;
}

}  // namespace kavlen
