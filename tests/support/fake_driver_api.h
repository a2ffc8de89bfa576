#pragma once
// A scripted driver for unit tests: each test sets only the hooks it needs.
// A hook left empty answers as a driver with no emulator would (enumeration
// ends at once, every open and request fails), and every call is counted.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/driver_api.h"

namespace kavlen::test {

class FakeDriverApi : public DriverApi {
 public:
  std::function<DevInfoSet(const Guid&, std::uint32_t)> getClassDevs;
  std::function<bool(DevInfoSet, const Guid&, std::uint32_t, DeviceInterfaceData*)> enumInterfaces;
  std::function<bool(DevInfoSet, DeviceInterfaceData*, void*, std::uint32_t, std::uint32_t*)> getDetail;
  std::function<bool(DevInfoSet)> destroyList;
  std::function<Handle(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)> createFile;
  std::function<bool(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t, std::uint32_t*)> ioctl;
  std::function<bool(Handle, void*, std::uint32_t, std::uint32_t*)> readFile;
  std::function<bool(Handle, const void*, std::uint32_t, std::uint32_t*)> writeFile;
  std::function<bool(Handle)> closeHandle;

  std::uint32_t lastError = kErrorSuccess;
  int getClassDevsCalls = 0, enumCalls = 0, detailCalls = 0, destroyCalls = 0;
  int createCalls = 0, ioctlCalls = 0, readCalls = 0, writeCalls = 0, closeCalls = 0;
  std::vector<Handle> closed;

  DevInfoSet SetupDiGetClassDevsA(const Guid& g, std::uint32_t flags) override {
    ++getClassDevsCalls;
    return getClassDevs ? getClassDevs(g, flags) : DevInfoSet{1};
  }
  bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const Guid& g, std::uint32_t index,
                                   DeviceInterfaceData* data) override {
    ++enumCalls;
    if (enumInterfaces) return enumInterfaces(set, g, index, data);
    lastError = kErrorNoMoreItems;
    return false;
  }
  bool SetupDiGetDeviceInterfaceDetailA(DevInfoSet set, DeviceInterfaceData* data, void* detail,
                                        std::uint32_t size, std::uint32_t* required) override {
    ++detailCalls;
    if (getDetail) return getDetail(set, data, detail, size, required);
    lastError = kErrorInvalidParameter;
    return false;
  }
  bool SetupDiDestroyDeviceInfoList(DevInfoSet set) override {
    ++destroyCalls;
    return destroyList ? destroyList(set) : true;
  }
  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t disposition, std::uint32_t attributes) override {
    ++createCalls;
    if (createFile) return createFile(path, access, share, disposition, attributes);
    lastError = kErrorFileNotFound;
    return kInvalidHandle;
  }
  bool DeviceIoControl(Handle h, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) override {
    ++ioctlCalls;
    if (ioctl) return ioctl(h, code, in, inLen, out, outLen, returned);
    lastError = kErrorInvalidHandle;
    return false;
  }
  bool ReadFile(Handle h, void* buffer, std::uint32_t length, std::uint32_t* got) override {
    ++readCalls;
    if (readFile) return readFile(h, buffer, length, got);
    lastError = kErrorInvalidHandle;
    return false;
  }
  bool WriteFile(Handle h, const void* buffer, std::uint32_t length,
                 std::uint32_t* written) override {
    ++writeCalls;
    if (writeFile) return writeFile(h, buffer, length, written);
    lastError = kErrorInvalidHandle;
    return false;
  }
  bool CloseHandle(Handle h) override {
    ++closeCalls;
    closed.push_back(h);
    return closeHandle ? closeHandle(h) : true;
  }
  std::uint32_t GetLastError() override { return lastError; }
};

}  // namespace kavlen::test
