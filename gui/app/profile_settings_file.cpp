#include "gui/app/profile_settings_file.h"

#include <vector>

#include "platform/profile.h"
#include "platform/settings_location.h"

namespace kavlen {

std::string ProfileSettingsFile::PathFor(const std::string& programDir) {
  return SettingsFilePath(programDir);
}

std::uint32_t ProfileSettingsFile::GetInt(const std::string& section, const std::string& key,
                                          std::int32_t defaultValue, const std::string& path) {
  return GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, path.c_str());
}

std::string ProfileSettingsFile::GetString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue,
                                           std::uint32_t capacity, const std::string& path) {
  if (capacity == 0) return {};
  std::vector<char> out(capacity, '\0');
  const std::uint32_t length = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                                        defaultValue.c_str(), out.data(),
                                                        capacity, path.c_str());
  return std::string(out.data(), length < capacity ? length : capacity - 1);
}

bool ProfileSettingsFile::WriteString(const std::string& section, const std::string& key,
                                      const std::string& value, const std::string& path) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
}

}  // namespace kavlen
