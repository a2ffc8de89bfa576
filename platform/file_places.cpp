#include "platform/file_places.h"

namespace kavlen {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Folded(char c) {
  if (IsSeparator(c)) return '\\';
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t WithoutTrailingSeparators(const std::string& path) {
  std::size_t length = path.size();
  while (length > 0 && IsSeparator(path[length - 1])) --length;
  return length;
}

}  // namespace

FilePlace SettingsFilePlace(const ProgramFolderFacts& facts) {
  if (facts.settingsFileWritable) return FilePlace::BesideProgram;
  return DeviceOsFilePlace(facts);
}

FilePlace DeviceOsFilePlace(const ProgramFolderFacts& facts) {
  if (facts.writable && !facts.systemOwned) return FilePlace::BesideProgram;
  return facts.hasUserFolder ? FilePlace::UserFolder : FilePlace::BesideProgram;
}

bool IsInWindowsFolder(const std::string& path, const std::string& folder) {
  const std::size_t folderLength = WithoutTrailingSeparators(folder);
  if (folderLength == 0 || path.size() < folderLength) return false;
  for (std::size_t i = 0; i < folderLength; ++i) {
    if (Folded(path[i]) != Folded(folder[i])) return false;
  }
  return path.size() == folderLength || IsSeparator(path[folderLength]);
}

}  // namespace kavlen
