#pragma once
// Keeps two programs apart on one emulator: a lock named after the device
// interface path, held by a run (or one action of the desktop program) from
// its first request to its last. A second holder waits for it up to a bound.
// POSIX: flock on a hidden file beside the simulator's socket; Windows: a
// named mutex; an emulator of a bridge: a stream on which the bridge holds
// the emulator's lock.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace kavlen {

// How long a program waits for another one to let go of the emulator.
inline constexpr std::chrono::milliseconds kDeviceLockWait{30000};

// KAVLEN_LOCK_WAIT_MS, when it is a number of milliseconds (up to a day),
// shortens or lengthens that wait; otherwise kDeviceLockWait.
std::chrono::milliseconds DeviceLockWaitSetting();

// The process that holds the lock of devicePath, as "<pid> (<name>)", where
// the platform can tell (Linux: the flock holders in /proc/locks); else empty.
std::string DeviceLockHolder(const std::string& devicePath);

class DeviceLock {
 public:
  enum class State {
    NotTaken,  // nothing to lock, or the lock could not be made: not held
    Held,
    Busy,      // another holder kept it for the whole wait
  };

  DeviceLock() = default;
  DeviceLock(DeviceLock&& other) noexcept { *this = std::move(other); }
  DeviceLock& operator=(DeviceLock&& other) noexcept {
    if (this != &other) {
      Release();
      state_ = std::exchange(other.state_, State::NotTaken);
      native_ = std::exchange(other.native_, -1);
      stream_ = std::exchange(other.stream_, -1);
      file_ = std::move(other.file_);
    }
    return *this;
  }
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;
  ~DeviceLock() { Release(); }

  // Waits up to `wait` (0: one try) for the lock of devicePath. A holder
  // must not take the same lock again while it holds it.
  static DeviceLock Acquire(const std::string& devicePath, std::chrono::milliseconds wait);

  State state() const { return state_; }
  bool held() const { return state_ == State::Held; }
  bool busy() const { return state_ == State::Busy; }
  void Release();

 private:
  State state_ = State::NotTaken;
  std::intptr_t native_ = -1;  // POSIX: the locked file; Windows: the owned mutex
  std::string file_;           // POSIX: the lock file's path, removed on release
  std::intptr_t stream_ = -1;  // a bridge's emulator: the stream it holds the lock for
};

}  // namespace kavlen
