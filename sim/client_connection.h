#pragma once
// One client of the simulator on an already-connected non-blocking stream
// descriptor. It takes the hello (with the token, for a TCP client) and
// answers it, then takes one request at a time and sends that request's one
// reply, each as far as the socket allows:
// what has come or gone so far is kept here, so the call never waits and a
// client that stalls holds up no other. The server polls many of them; a
// test or fuzz target can drive one over a socket pair.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/after_ok_rule.h"
#include "platform/hello_gate.h"
#include "platform/sim_stream.h"
#include "platform/wire_codec.h"
#include "sim/device_model.h"

namespace kavlen::sim {

class ClientConnection {
 public:
  // Takes fd. token: when not null, the client's hello must carry this
  // token (a TCP client); it must outlive the client. timeout: how long the
  // hello may take from now (for a TCP client), and a request with its reply
  // from the request's first byte.
  ClientConnection(int fd, DeviceModel& model, const std::string* token,
                   std::chrono::milliseconds timeout);

  int fd() const { return fd_; }
  bool closed() const { return fd_ < 0; }
  // Sent the right token, or never owed one.
  bool proven() const { return proven_; }
  // What to poll for: the reply under way, else more bytes.
  short events() const { return stage_ == Stage::kReply ? POLLOUT : POLLIN; }
  // Milliseconds left for the hello, or for the request under way and its
  // reply (0 once passed: the caller drops the client); -1 while the client
  // is idle between requests, which it may be for as long as it likes.
  int LeftMs() const {
    if (stage_ == Stage::kHello) return gate_.LeftMs();
    return deadline_ ? deadline_->LeftMs() : -1;
  }

  // Takes what the socket holds and sends what it can take, runs a request
  // once all of it is in, and returns without waiting; it returns right
  // after the hello, so the caller can count the client as proven. False
  // when the client went away or broke the protocol: the caller then calls
  // Close.
  bool Progress();
  // Closes the device handle the client left open, then the descriptor.
  void Close();

 private:
  enum class Stage { kHello, kHeader, kPayload, kReply };
  enum class Io { kDone, kWait, kFailed };

  // Receives into part until it holds size bytes.
  Io Fill(void* part, std::size_t size);
  // Sends what is left of the reply (or the hello reply).
  Io Flush();
  // Runs the request and builds its reply.
  void Run();
  void Reply(bool ok, std::uint32_t error, std::uint32_t count);
  void Finish();

  int fd_;
  DeviceModel* model_;
  HelloGate gate_;
  std::chrono::milliseconds timeout_;
  Stage stage_;
  std::optional<Deadline> deadline_;
  bool proven_;
  bool refused_ = false;  // the hello reply under way refuses it
  std::size_t done_ = 0;  // bytes of the current part received or sent
  unsigned char header_[KW_HEADER_SIZE] = {};
  KwRequest request_{};
  AfterOkRule afterOk_;
  std::vector<std::uint8_t> payload_;
  unsigned char replyHead_[KW_HEADER_SIZE] = {};
  std::size_t replyHeadSize_ = 0;
  std::vector<std::uint8_t> out_;
  bool opened_ = false;
  std::string target_;
};

}  // namespace kavlen::sim
