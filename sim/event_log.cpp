#include "sim/event_log.h"

#include <algorithm>

namespace kavlen::sim {

namespace {

std::string Hex(const std::uint8_t* bytes, std::uint32_t len) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(std::size_t{len} * 2);
  for (std::uint32_t i = 0; i < len; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

const char* Bool(bool value) { return value ? "true" : "false"; }

// A device OS image may be megabytes long: its line shows the first bytes
// and the whole length.
constexpr std::uint32_t kLoggedBytes = 65536;

}  // namespace

std::string JsonString(std::string_view s) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "\"";
  for (const char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      text += "\\u00";
      text += kDigits[byte >> 4];
      text += kDigits[byte & 0x0F];
    } else {
      text += c;
    }
  }
  return text + "\"";
}

EventLog::~EventLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EventLog::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void EventLog::Opened(std::string_view target, bool ok) {
  Line("{\"op\":\"open\",\"target\":" + JsonString(target) + ",\"ok\":" + Bool(ok) + "}");
}

void EventLog::Closed(std::string_view target) {
  Line("{\"op\":\"close\",\"target\":" + JsonString(target) + "}");
}

void EventLog::Violation(std::string_view target) {
  Line("{\"op\":\"violation\",\"target\":" + JsonString(target) +
       ",\"reason\":\"second handle opened while one is open\"}");
}

void EventLog::Ioctl(std::string_view name, const std::uint8_t* in, std::uint32_t inLen, bool ok) {
  const std::string length = inLen > kLoggedBytes ? ",\"len\":" + std::to_string(inLen) : "";
  Line("{\"op\":\"ioctl\",\"ioctl\":" + JsonString(name) + ",\"in\":\"" +
       Hex(in, std::min(inLen, kLoggedBytes)) + "\"" + length + ",\"ok\":" + Bool(ok) + "}");
}

void EventLog::Transfer(std::string_view op, std::string_view pipe, std::uint32_t len, bool ok) {
  Line("{\"op\":" + JsonString(op) + ",\"pipe\":" + JsonString(pipe) +
       ",\"len\":" + std::to_string(len) + ",\"ok\":" + Bool(ok) + "}");
}

void EventLog::Line(const std::string& json) {
  if (file_ == nullptr) return;
  std::fputs(json.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace kavlen::sim
