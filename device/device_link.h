#pragma once
// Finding and opening the emulator and its two bulk pipes. A DeviceLink is
// the program's one connection state: the path buffer, the device handle and
// the command block. The program owns it; nothing here is global.
//
// Discipline the callers keep: at most one handle on the emulator is open at
// any moment. Close the device handle (CloseDevice) before OpenPipe; close
// the pipe before the next OpenDevice.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "device/trace_sink.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"

namespace kavlen {

class DeviceLink {
 public:
  DeviceLink(DriverApi& api, TraceSink& sink, Flavour flavour);
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Opens the device interface path of the selected emulator (the last one
  // enumerated unless SelectEmulator chose another) and keeps the handle as
  // device(); -1 when none could be opened.
  Handle OpenDevice();
  // From now on every open (device and pipes) reaches the number-th emulator
  // in enumeration order, counting from 1; 0 goes back to the last one.
  void SelectEmulator(std::uint32_t number) { selected_ = number; }
  // The interface paths of the emulators present, in enumeration order.
  // Opens nothing.
  std::vector<std::string> EmulatorPaths();
  // Closes device() if open and sets it to -1.
  void CloseDevice();
  // Holds the emulator that OpenDevice would open against other programs,
  // waiting up to `wait` while one of them holds it; released when the
  // returned lock goes. The emulator is found by enumeration alone: a
  // program that waits never touches it. Not held (and not busy) when no
  // emulator is attached.
  DeviceLock HoldDevice(std::chrono::milliseconds wait);
  // Probes the device once more, then opens interface path + "\" + pipeName.
  // Returns the pipe handle (the caller closes it) or -1.
  Handle OpenPipe(const char* pipeName);

  // Lower steps, public for tests and for callers that need them alone.
  Handle EnumerateAndOpen(const Guid& classGuid);
  int GetUsbDeviceFileName(const Guid& classGuid);
  // The interface path of the emulator OpenDevice would open, opening
  // nothing; empty when it is not attached.
  std::string FindDevicePath(const Guid& classGuid);

  Handle device() const { return device_; }
  const std::string& path() const { return path_; }
  CommandBlock& block() { return block_; }
  DriverApi& api() { return api_; }
  TraceSink& sink() { return sink_; }
  Flavour flavour() const { return flavour_; }

 private:
  template <typename EachInterface>
  void Enumerate(const Guid& classGuid, EachInterface each);
  bool ReadInterfacePath(DevInfoSet set, DeviceInterfaceData* data, std::string& path);
  Handle OpenInterfacePath(DevInfoSet set, DeviceInterfaceData* data);

  DriverApi& api_;
  TraceSink& sink_;
  Flavour flavour_;
  std::string path_;
  Handle device_ = kInvalidHandle;
  std::uint32_t selected_ = 0;
  CommandBlock block_{};
};

}  // namespace kavlen
