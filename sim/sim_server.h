#pragma once
// The simulator's socket side: it owns the emulator's socket in the device
// root (and, when asked, a loopback TCP listener described by a "<name>.tcp"
// file beside it) and serves one connection per open handle, one request at
// a time, on a single thread. Every socket is non-blocking and each client
// keeps what it has sent or been sent so far, so no client holds the others
// up; one that has not sent its whole token, or finished a request and read
// its reply, within the client deadline is dropped.

#include <chrono>
#include <string>
#include <vector>

#include "sim/client_connection.h"
#include "sim/device_model.h"

namespace kavlen::sim {

class SimServer {
 public:
  SimServer(DeviceModel& model, std::chrono::milliseconds clientTimeout)
      : model_(model), clientTimeout_(clientTimeout) {}
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Creates the private device folders and takes <root>/<class>/<name>.
  // Refuses a name another simulator is listening on. False with *error set.
  bool Listen(const std::string& root, const std::string& name, std::string* error);
  // After Listen: also listens on 127.0.0.1 at a port the system picks, and
  // writes the port and a fresh random token to <socket path>.tcp (mode 0600).
  bool ListenTcp(std::string* error);
  const std::string& socketPath() const { return socketPath_; }

  // Serves until SIGINT or SIGTERM, or until the device is unplugged; the
  // socket and the TCP file are removed in both cases. Returns the process
  // exit status.
  int Run();

 private:
  // False when accept failed for a reason that calls for a pause.
  bool Accept(int listenFd, bool tcp);
  // Open clients that have proven the token (or never owed it), or not.
  std::size_t Count(bool proven) const;
  void Shutdown();

  DeviceModel& model_;
  const std::chrono::milliseconds clientTimeout_;
  std::string socketPath_;
  int listenFd_ = -1;
  int tcpFd_ = -1;
  std::string tcpFilePath_;
  std::string token_;
  std::vector<ClientConnection> connections_;  // in the order they came
};

}  // namespace kavlen::sim
