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
#include "platform/wire_codec.h"

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
  // A stream to the named device, its hello still to be sent with *token
  // (empty: none owed); kNoSocket with *error set to a GetLastError code.
  virtual SocketFd Connect(const std::string& classDir, const std::string& name,
                           const Deadline& deadline, std::uint32_t* error, std::string* token) = 0;
  // What follows the class folder and separator in an interface path: the
  // device's name, then "\" and a pipe name if it is a pipe. False when it
  // names no device of ours.
  virtual bool Split(const std::string& rest, std::string* name, std::string* pipe);
  // Whether each listed device must answer a connect to count as present.
  virtual bool ProbeEach() const { return true; }
  // The server refused the hello (a KW_HELLO_ status).
  virtual void Refused(std::uint32_t /*status*/) {}
  // The driver's PipeDepth: how many pipe requests may be in flight.
  virtual std::uint32_t PipeDepth() const { return 1; }
};

// One request and its reply on a greeted stream, the reply payload straight
// into out. False (last error in *error) when the peer is gone, breaks the
// protocol or does not answer in time; such a stream is shut so that every
// later call on it fails at once. Otherwise true, with the peer's error in
// *error if it failed the request. hello: the token when the hello is to go
// first, with the request (its reply is taken before the request's).
bool WireExchange(SocketFd fd, const KwRequest& request, const void* payload, KwReply* reply,
                  void* out, std::uint32_t outLen, const Deadline& deadline, std::uint32_t* error,
                  const std::string* hello = nullptr, std::uint32_t* helloStatus = nullptr);

// The two halves of an exchange on a greeted stream, for requests kept in
// flight: the request, then (in the order sent) its reply.
bool WireSend(SocketFd fd, const KwRequest& request, const void* payload, const Deadline& deadline,
              std::uint32_t* error);
bool WireReceive(SocketFd fd, KwReply* reply, void* out, std::uint32_t outLen,
                 const Deadline& deadline, std::uint32_t* error);

// Every operation of the driver ends within timeout; one that runs out fails
// with ERROR_DEVICE_NOT_CONNECTED, as on an unplugged device.
std::unique_ptr<DriverApi> MakeSimDriverOver(std::unique_ptr<SimEndpoints> endpoints,
                                             std::chrono::milliseconds timeout);

// The folder's devices as this system reaches them. rootDir empty: the
// default device root is looked up afresh at each enumeration.
std::unique_ptr<DriverApi> MakeSimDriver(std::string rootDir = {},
                                         std::chrono::milliseconds timeout = TransportTimeout());

}  // namespace kavlen
