#include "platform/settings_location.h"

#include "platform/system.h"

namespace kavlen {

// A Windows program keeps its files in its own folder.
std::string UserConfigDir() { return {}; }

std::string SettingsFilePath(const std::string& moduleDir) { return JoinPath(moduleDir, "kavlen.ini"); }

std::vector<std::string> DeviceOsSearchDirs(const std::string& moduleDir) { return {moduleDir}; }

}  // namespace kavlen
