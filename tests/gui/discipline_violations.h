#pragma once
// kavlen-sim logs a line with "violation" in it for every break of the
// device discipline it sees.

#include <string>
#include <vector>

namespace kavlen::test {

inline std::vector<std::string> DisciplineViolations(const std::vector<std::string>& log) {
  std::vector<std::string> found;
  for (const std::string& line : log) {
    if (line.find("violation") != std::string::npos) found.push_back(line);
  }
  return found;
}

}  // namespace kavlen::test
