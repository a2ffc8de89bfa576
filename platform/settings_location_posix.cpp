#include "platform/settings_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_places.h"
#include "platform/system.h"

namespace kavlen {

namespace {

constexpr const char* kSharedDataDir = "/usr/share/kavlen";
constexpr const char* kSettingsFile = "kavlen.ini";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// Folders the package system installs into; a program there must not
// leave files beside itself even when run by root.
bool IsPackageOwned(const std::string& dir) { return dir == "/usr" || dir.rfind("/usr/", 0) == 0; }

// mkdir -p with mode 0700 for the folders it creates.
bool MakeFolders(const std::string& dir) {
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    const std::string part = dir.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string UserConfigDir() {
  const std::string xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg + "/kavlen";
  const std::string home = Env("HOME");
  if (!home.empty()) return home + "/.config/kavlen";
  return {};
}

namespace {

ProgramFolderFacts FactsOf(const std::string& moduleDir, const std::string& config) {
  ProgramFolderFacts facts;
  facts.writable = !moduleDir.empty() && access(moduleDir.c_str(), W_OK) == 0;
  facts.systemOwned = IsPackageOwned(moduleDir);
  facts.settingsFileWritable =
      !moduleDir.empty() && access(JoinPath(moduleDir, kSettingsFile).c_str(), W_OK) == 0;
  facts.hasUserFolder = !config.empty();
  return facts;
}

}  // namespace

std::string SettingsFilePath(const std::string& moduleDir) {
  const std::string config = UserConfigDir();
  if (SettingsFilePlace(FactsOf(moduleDir, config)) == FilePlace::BesideProgram) {
    return JoinPath(moduleDir, kSettingsFile);
  }
  MakeFolders(config);
  return JoinPath(config, kSettingsFile);
}

std::string DeviceOsPlaceDir(const std::string& moduleDir) {
  const std::string config = UserConfigDir();
  return DeviceOsFilePlace(FactsOf(moduleDir, config)) == FilePlace::BesideProgram ? moduleDir : config;
}

std::vector<std::string> DeviceOsSearchDirs(const std::string& moduleDir) {
  std::vector<std::string> dirs{moduleDir, kSharedDataDir};
  const std::string config = UserConfigDir();
  if (!config.empty()) dirs.push_back(config);
  return dirs;
}

}  // namespace kavlen
