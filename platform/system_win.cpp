#include <windows.h>
#include <io.h>

#include <cstdio>

#include <string>

#include "platform/system.h"

namespace kavlen {

std::string GetModuleDirectory() {
  // GetModuleFileNameA cuts silently at the buffer's size: grow until the
  // whole path fits, so a deep install directory still works.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos || slash == 0) return {};
  path.resize(slash);
  return path;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string joined(dir);
  joined += '\\';
  joined += name;
  return joined;
}

void DebugOutput(std::string_view text) {
  const std::string line(text);
  ::OutputDebugStringA(line.c_str());
}

bool StdoutIsConsole() { return _isatty(_fileno(stdout)) != 0; }
bool StderrIsConsole() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace kavlen
