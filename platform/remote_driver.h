#pragma once
// The emulators a kavlen-bridge on another machine serves, reached as if
// they were attached here: KAVLEN_REMOTE=HOST:PORT names the bridge and
// KAVLEN_REMOTE_TOKEN_FILE a copy of its token file. An emulator's interface
// path is "HOST:PORT:" and the path the bridge lists for it. A bridge that
// goes away is an unplugged device; one that refuses the token says so on
// standard error.

#include <chrono>
#include <memory>
#include <string>

#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/sim_stream.h"

namespace kavlen {

struct RemoteBridge {
  std::string address;  // "HOST:PORT"
  std::string tokenFile;
};

// From the environment; false when KAVLEN_REMOTE is not set.
bool RemoteBridgeSetting(RemoteBridge* bridge);

std::unique_ptr<DriverApi> MakeRemoteDriver(const RemoteBridge& bridge,
                                             std::chrono::milliseconds timeout = TransportTimeout());

// The lock of an emulator the bridge serves, held by the bridge while the
// returned stream stays open. False when devicePath is not the bridge's;
// otherwise *state is Held (with *stream), Busy once wait has passed with
// the emulator held by another, or NotTaken when the bridge cannot be had.
bool AcquireRemoteLock(const std::string& devicePath, std::chrono::milliseconds wait,
                       DeviceLock::State* state, SocketFd* stream);

}  // namespace kavlen
