#pragma once
// kavlen-bridge's listener: one TCP socket, clients that still owe their
// hello in a pool of their own on the listener's thread (platform/hello_gate.h),
// and each proven client served on a worker thread of its own, at most
// kMaxConnections at once. Workers stay for the next client: a connection
// per open handle must not cost a thread's start each time.

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "bridge/bridge_session.h"
#include "platform/driver_api.h"
#include "platform/hello_gate.h"
#include "platform/sim_stream.h"

namespace kavlen::bridge {

class BridgeServer {
 public:
  BridgeServer(DriverApi& api, std::string token, std::chrono::milliseconds timeout)
      : api_(api), token_(std::move(token)), timeout_(timeout), state_(api) {}
  ~BridgeServer();
  BridgeServer(const BridgeServer&) = delete;
  BridgeServer& operator=(const BridgeServer&) = delete;

  // Binds host:port (0: a port the system picks). False with *error set.
  bool Listen(const std::string& host, std::uint16_t port, std::string* error);
  // "HOST:PORT" as bound.
  const std::string& address() const { return address_; }

  // Serves until stopping is set; one log line per connection goes to log.
  void Run(const std::atomic<bool>& stopping, std::FILE* log);

 private:
  struct Waiting {
    SocketFd fd;
    std::string peer;
    HelloGate gate;
  };
  struct Proven {
    SocketFd fd;
    std::string peer;
  };

  // False when no client was waiting to be accepted.
  bool Accept(std::FILE* log);
  // The gate's answer to a client whose hello is complete.
  void Admit(Waiting& client, HelloGate::State state, const std::atomic<bool>& stopping,
             std::FILE* log);
  void Log(std::FILE* log, const std::string& line);
  // A worker: serves the proven clients handed to it until the bridge stops.
  void Work(const std::atomic<bool>& stopping, std::FILE* log);

  DriverApi& api_;
  const std::string token_;
  const std::chrono::milliseconds timeout_;
  SocketFd listenFd_ = kNoSocket;
  std::string address_;
  const std::atomic<bool>* stopping_ = nullptr;
  std::list<Waiting> waiting_;  // in the order they came
  BridgeState state_;
  std::mutex logMutex_;

  std::mutex mutex_;  // guards what follows
  std::condition_variable handed_;
  std::list<Proven> proven_;  // not yet taken by a worker
  std::set<SocketFd> serving_;
  std::size_t idle_ = 0;
  bool quit_ = false;
  std::list<std::thread> workers_;
};

}  // namespace kavlen::bridge
