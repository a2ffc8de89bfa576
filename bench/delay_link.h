#pragma once
// A TCP relay on loopback that holds every byte for a fixed time in each
// direction, as a network between a client and a bridge would: a client
// that waits for each reply pays the round trip once per request.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DelayLink {
 public:
  using Clock = std::chrono::steady_clock;

  // Relays connections to 127.0.0.1:to; port() is 0 when it could not listen.
  DelayLink(std::uint16_t to, std::chrono::microseconds oneWay) : to_(to), oneWay_(oneWay) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Accept(); }).detach();  // lives as long as the program
  }
  std::uint16_t port() const { return port_; }

 private:
  struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes;  // empty: the end of the stream
  };
  struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Chunk> chunks;
  };

  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  void Accept() {
    for (;;) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      const int server = socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in address = Loopback(to_);
      if (connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        close(server);
        continue;
      }
      for (const int fd : {client, server}) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      }
      const auto pair = std::make_shared<Pair>(client, server);
      Direction(pair, client, server);
      Direction(pair, server, client);
    }
  }

  // Both ends of a relayed connection, closed once both directions are done.
  struct Pair {
    Pair(int a, int b) : a(a), b(b) {}
    ~Pair() {
      close(a);
      close(b);
    }
    const int a, b;
  };

  // Bytes read from `from` are written to `to` oneWay_ after they came.
  void Direction(const std::shared_ptr<Pair>& pair, int from, int to) {
    auto queue = std::make_shared<Queue>();
    std::thread([pair, queue, from, delay = oneWay_] {
      std::vector<char> buffer(1 << 16);
      for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        Chunk chunk{Clock::now() + delay, {}};
        if (got > 0) chunk.bytes.assign(buffer.data(), buffer.data() + got);
        {
          const std::lock_guard lock(queue->mutex);
          queue->chunks.push_back(std::move(chunk));
        }
        queue->ready.notify_one();
        if (got <= 0) return;
      }
    }).detach();
    std::thread([pair, queue, to] {
      for (;;) {
        Chunk chunk;
        {
          std::unique_lock lock(queue->mutex);
          queue->ready.wait(lock, [&] { return !queue->chunks.empty(); });
          chunk = std::move(queue->chunks.front());
          queue->chunks.pop_front();
        }
        std::this_thread::sleep_until(chunk.due);
        if (chunk.bytes.empty()) {
          shutdown(to, SHUT_WR);
          return;
        }
        for (std::size_t at = 0; at < chunk.bytes.size();) {
          const ssize_t sent = write(to, chunk.bytes.data() + at, chunk.bytes.size() - at);
          if (sent <= 0) return;
          at += static_cast<std::size_t>(sent);
        }
      }
    }).detach();
  }

  const std::uint16_t to_;
  const std::chrono::microseconds oneWay_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
};
