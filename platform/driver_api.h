#pragma once
// The driver interface in the shape of the Windows calls that reach the
// emulator's USB kernel driver: device-interface enumeration of a class,
// interface detail, open with a creation disposition, device control
// requests, pipe reads and writes, close and last error.
//
// Windows conventions are kept on purpose: handles are -1 when invalid,
// results are booleans, failures leave a GetLastError-style code. The device
// layer is written once against this interface; the Windows backend passes
// each call through, the POSIX backend reaches kavlen-sim processes, and
// tests script any answer with a fake.
//
// Constants carry a k prefix so that this header can share a translation
// unit with <windows.h>, whose macros have the plain Windows names.

#include <cstdint>

namespace kavlen {

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// Device information set (HDEVINFO); kInvalidHandle when it cannot be had.
using DevInfoSet = std::intptr_t;

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

// {89BB4816-3E22-4979-8B14-0538FDA9687D}: the emulator's device interface class.
inline constexpr Guid kDeviceInterfaceGuid = {
    0x89BB4816, 0x3E22, 0x4979, {0x8B, 0x14, 0x05, 0x38, 0xFD, 0xA9, 0x68, 0x7D}};
// The same GUID as text, the way device paths and folders name it.
inline constexpr const char* kDeviceInterfaceGuidText = "{89BB4816-3E22-4979-8B14-0538FDA9687D}";

// Laid out like SP_DEVICE_INTERFACE_DATA: 28 bytes on 32-bit Windows, 32 on
// 64-bit. Callers set cbSize to sizeof(DeviceInterfaceData) before enumerating.
struct DeviceInterfaceData {
  std::uint32_t cbSize;
  Guid interfaceClassGuid;
  std::uint32_t flags;
  std::uintptr_t reserved;
};

// The interface detail record is a byte buffer: a 32-bit size field, then
// the nul-terminated interface path. The size field must hold the platform's
// sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A): 5 on 32-bit Windows (packed),
// 8 on 64-bit Windows. A fixed 5 fails on 64-bit Windows.
inline constexpr std::uint32_t kInterfaceDetailFixedSize = sizeof(void*) == 8 ? 8 : 5;
inline constexpr std::uint32_t kInterfaceDetailPathOffset = 4;

// SetupDiGetClassDevsA flags.
inline constexpr std::uint32_t kDigcfPresent = 0x02;
inline constexpr std::uint32_t kDigcfDeviceInterface = 0x10;

// CreateFileA arguments.
inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kOpenExisting = 3;

// GetLastError codes.
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

class DriverApi {
 public:
  virtual ~DriverApi() = default;

  // SetupDiGetClassDevsA(guid, no enumerator, no window, flags).
  virtual DevInfoSet SetupDiGetClassDevsA(const Guid& classGuid, std::uint32_t flags) = 0;
  // SetupDiEnumDeviceInterfaces(set, no device info, guid, index, data).
  virtual bool SetupDiEnumDeviceInterfaces(DevInfoSet set, const Guid& classGuid,
                                           std::uint32_t memberIndex,
                                           DeviceInterfaceData* data) = 0;
  // SetupDiGetDeviceInterfaceDetailA(set, data, detail, detailSize, requiredSize, no device info).
  // detail may be null with detailSize 0 to learn the required size.
  virtual bool SetupDiGetDeviceInterfaceDetailA(DevInfoSet set, DeviceInterfaceData* data,
                                                void* detail, std::uint32_t detailSize,
                                                std::uint32_t* requiredSize) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(DevInfoSet set) = 0;

  // CreateFileA(path, access, share, no security attributes, disposition, attributes, no template).
  virtual Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t attributes) = 0;
  // DeviceIoControl(handle, code, in, inLen, out, outLen, returned, no overlapped).
  virtual bool DeviceIoControl(Handle handle, std::uint32_t code, void* in, std::uint32_t inLen,
                               void* out, std::uint32_t outLen, std::uint32_t* returned) = 0;
  virtual bool ReadFile(Handle handle, void* buffer, std::uint32_t length,
                        std::uint32_t* bytesRead) = 0;
  virtual bool WriteFile(Handle handle, const void* buffer, std::uint32_t length,
                         std::uint32_t* bytesWritten) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  virtual std::uint32_t GetLastError() = 0;

  // Pipe transfers kept in flight, for a driver whose every request pays a
  // network round trip: up to PipeDepth() writes or reads begun on a pipe
  // before the oldest is ended. Each End gives, in the order begun, the
  // result WriteFile or ReadFile would have given; any other call on the
  // handle first takes the results still owed and drops them. At depth 1
  // (every local driver) the Begin and End calls are not used.
  virtual std::uint32_t PipeDepth() { return 1; }
  virtual bool BeginWriteFile(Handle, const void*, std::uint32_t) { return false; }
  virtual bool EndWriteFile(Handle, std::uint32_t* bytesWritten) {
    *bytesWritten = 0;
    return false;
  }
  virtual bool BeginReadFile(Handle, std::uint32_t) { return false; }
  virtual bool EndReadFile(Handle, void*, std::uint32_t, std::uint32_t* bytesRead) {
    *bytesRead = 0;
    return false;
  }
};

// The driver of the machine the program runs on: the Windows driver on
// Windows, kavlen-sim processes elsewhere. Lives for the whole program.
DriverApi& SystemDriver();

}  // namespace kavlen
