#pragma once
// The simulator's socket side: it owns the emulator's socket in the device
// root and serves one connection per open handle, one request at a time,
// on a single thread.

#include <string>
#include <vector>

#include "sim/device_model.h"

namespace kavlen::sim {

class SimServer {
 public:
  explicit SimServer(DeviceModel& model) : model_(model) {}
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Creates the private device folders and takes <root>/<class>/<name>.
  // Refuses a name another simulator is listening on. False with *error set.
  bool Listen(const std::string& root, const std::string& name, std::string* error);
  const std::string& socketPath() const { return socketPath_; }

  // Serves until SIGINT or SIGTERM, or until the device is unplugged; the
  // socket is removed in both cases. Returns the process exit status.
  int Run();

 private:
  struct Connection {
    int fd = -1;
    bool opened = false;
    std::string target;
  };

  bool Serve(Connection& connection);
  void Drop(Connection& connection);
  void Shutdown();

  DeviceModel& model_;
  std::string socketPath_;
  int listenFd_ = -1;
  std::vector<Connection> connections_;
  std::vector<std::uint8_t> payload_;
  std::vector<std::uint8_t> out_;
};

}  // namespace kavlen::sim
