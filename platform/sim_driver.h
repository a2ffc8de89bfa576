#pragma once
// The driver backend that reaches kavlen-sim processes instead of the USB
// driver: each simulator listening in the device folder is one attached
// emulator. The enumeration, the handles and the request protocol are the
// same on every system; only how a simulator is found and connected differs
// (Unix sockets and TCP files on POSIX, TCP files through Winsock on Windows).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/driver_api.h"
#include "platform/sim_stream.h"

namespace kavlen {

class SimEndpoints {
 public:
  virtual ~SimEndpoints() = default;
  // "<root><separator>{GUID}": an interface path is this folder, the
  // separator and a device name.
  virtual std::string ClassDir() = 0;
  virtual char Separator() const = 0;
  // The devices of the class folder by name, sorted, each once.
  virtual std::vector<std::string> Names(const std::string& classDir) = 0;
  // A stream to the named device, ready for requests; kNoSocket with *error
  // set to a GetLastError code.
  virtual SocketFd Connect(const std::string& classDir, const std::string& name,
                           const Deadline& deadline, std::uint32_t* error) = 0;
};

// Every operation of the driver ends within timeout; one that runs out fails
// with ERROR_DEVICE_NOT_CONNECTED, as on an unplugged device.
std::unique_ptr<DriverApi> MakeSimDriverOver(std::unique_ptr<SimEndpoints> endpoints,
                                             std::chrono::milliseconds timeout);

// The folder's devices as this system reaches them. rootDir empty: the
// default device root is looked up afresh at each enumeration.
std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir = {},
                                         std::chrono::milliseconds timeout = TransportTimeout());

}  // namespace kavlen
