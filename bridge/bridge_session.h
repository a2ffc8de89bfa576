#pragma once
// One proven client of kavlen-bridge on its own thread: its requests, one at
// a time, carried out with the machine's driver calls on the emulators the
// driver enumerates, and nothing else. Blocking is fine here: the waits are
// this client's alone, each read and write bounded by the deadline.

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/after_ok_rule.h"
#include "platform/device_lock.h"
#include "platform/driver_api.h"
#include "platform/hello_gate.h"
#include "platform/sim_stream.h"
#include "platform/wire_codec.h"

namespace kavlen::bridge {

// What the sessions share: the emulators the driver enumerated last, and
// those whose lock a client's lock stream holds (that client's own opens run
// under it).
class BridgeState {
 public:
  explicit BridgeState(DriverApi& api) : api_(api) {}
  // The interface paths of the emulators present, in enumeration order:
  // enumerated afresh, or (recent) as enumerated within the last second, so
  // that the opens of one run do not each enumerate again.
  std::vector<std::string> Emulators(bool recent);

  bool Holds(const std::string& path);
  void Add(const std::string& path);
  void Remove(const std::string& path);

 private:
  DriverApi& api_;
  std::mutex mutex_;
  std::set<std::string> locked_;
  std::vector<std::string> emulators_;
  std::chrono::steady_clock::time_point enumerated_{};
};

class BridgeSession {
 public:
  BridgeSession(SocketFd fd, DriverApi& api, BridgeState& state, std::chrono::milliseconds timeout,
                const std::atomic<bool>& stopping)
      : fd_(fd), api_(api), state_(state), timeout_(timeout), stopping_(stopping) {}
  ~BridgeSession();
  BridgeSession(const BridgeSession&) = delete;
  BridgeSession& operator=(const BridgeSession&) = delete;

  // Serves until the client goes, breaks the protocol or stalls, or the
  // bridge stops. Returns the log line's end: the emulator and how it ended.
  std::string Serve();

 private:
  // The reply to request_ with payload_ in; false to end the stream.
  void Run(KwReply* reply);
  void Open(KwReply* reply);
  void Lock(KwReply* reply);
  void List(KwReply* reply);
  // The interface path of the emulator a client named (its number from 1 or
  // its path); empty when the driver enumerates none such.
  std::string Resolve(const char* name, std::size_t length);
  void Release();

  SocketFd fd_;
  DriverApi& api_;
  BridgeState& state_;
  const std::chrono::milliseconds timeout_;
  const std::atomic<bool>& stopping_;
  KwRequest request_{};
  std::vector<std::uint8_t> payload_;
  std::vector<std::uint8_t> out_;
  Handle handle_ = kInvalidHandle;
  std::string emulator_;   // what the client opened or locked
  DeviceLock lock_;        // held for this stream
  bool lockStream_ = false;  // lock_ is a client's lock request
  std::string what_;       // the log's word for the stream
  AfterOkRule afterOk_;
};

}  // namespace kavlen::bridge
