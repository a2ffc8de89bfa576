#pragma once
// The simulator's record of every operation: one JSON object per line,
// flushed per line so that tests can read it while the simulator runs.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kavlen::sim {

class EventLog {
 public:
  EventLog() = default;
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Appends to path; false when it cannot be opened.
  bool Open(const std::string& path);

  void Opened(std::string_view target, bool ok);
  void Closed(std::string_view target);
  void Violation(std::string_view target);
  void Ioctl(std::string_view name, const std::uint8_t* in, std::uint32_t inLen, bool ok);
  void Transfer(std::string_view op, std::string_view pipe, std::uint32_t len, bool ok);

 private:
  void Line(const std::string& json);
  std::FILE* file_ = nullptr;
};

// s as a JSON string literal, quotes included.
std::string JsonString(std::string_view s);

}  // namespace kavlen::sim
