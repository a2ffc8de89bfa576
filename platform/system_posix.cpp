#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/system.h"

namespace kavlen {

std::string GetModuleDirectory() {
  // readlink does not say whether it truncated: grow until the answer fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos || slash == 0) return {};
      path.resize(slash);
      return path;
    }
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  path += '/';
  path += name;
  return path;
}

void DebugOutput(std::string_view text) {
  if (std::getenv("KAVLEN_DEBUG") == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool StdoutIsConsole() { return isatty(STDOUT_FILENO) == 1; }
bool StderrIsConsole() { return isatty(STDERR_FILENO) == 1; }

}  // namespace kavlen
