#pragma once
// One client of the simulator on an already-connected stream descriptor: it
// reads one request at a time and sends its one reply. The server polls
// many of them; a test or fuzz target can drive one over a socket pair.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim_stream.h"
#include "sim/device_model.h"

namespace kavlen::sim {

class ClientConnection {
 public:
  // Takes fd. token: when not null, the client's first bytes must be this
  // token (a TCP client), before any request; it must outlive the client.
  ClientConnection(int fd, DeviceModel& model, const std::string* token)
      : fd_(fd), model_(&model), token_(token), needsToken_(token != nullptr) {}

  int fd() const { return fd_; }
  bool closed() const { return fd_ < 0; }

  // Reads the token or one request and sends the reply. False when the
  // client went away, stalled past the deadline or broke the protocol: the
  // caller then calls Close. payload and out are scratch buffers shared
  // between clients, so that a large transfer is not held per connection.
  bool Serve(const Deadline& deadline, std::vector<std::uint8_t>& payload,
             std::vector<std::uint8_t>& out);
  // Closes the device handle the client left open, then the descriptor.
  void Close();

 private:
  bool TokenMatches(const char* sent) const;

  int fd_;
  DeviceModel* model_;
  const std::string* token_;
  bool needsToken_;
  bool opened_ = false;
  std::string target_;
};

}  // namespace kavlen::sim
