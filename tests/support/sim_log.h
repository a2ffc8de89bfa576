#pragma once
// Reading kavlen-sim's log, one JSON object a line. A line with "violation"
// in it reports a break of the device discipline.

#include <string>
#include <vector>

namespace kavlen::test {

// The string value of `name` in one log line; empty when the line has none.
inline std::string SimLogField(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const std::size_t start = line.find(key);
  if (start == std::string::npos) return {};
  const std::size_t from = start + key.size();
  return line.substr(from, line.find('"', from) - from);
}

inline std::vector<std::string> DisciplineViolations(const std::vector<std::string>& log) {
  std::vector<std::string> found;
  for (const std::string& line : log) {
    if (line.find("violation") != std::string::npos) found.push_back(line);
  }
  return found;
}

}  // namespace kavlen::test
