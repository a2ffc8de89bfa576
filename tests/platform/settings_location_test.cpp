#include "platform/settings_location.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

namespace fs = std::filesystem;

// Sets (or, with nullopt, removes) one environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// "@" in a row stands for the test's private folder.
std::string InTemp(const std::string& text, const std::string& temp) {
  return text.rfind('@', 0) == 0 ? temp + text.substr(1) : text;
}

TEST(SettingsFilePathTest, BesideTheProgramOnlyWhereItMayWrite) {
  const struct {
    const char* name;
    const char* moduleDir;
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    const char* expected;
    const char* createdFolder;  // made for the first save, mode 0700; null: none
  } cases[] = {
      {"BuildFolder", "@/prog", "@/cfg", "@/home", "@/prog/kavlen.ini", nullptr},
      {"InstalledProgram", "/usr/bin", "@/cfg", "@/home", "@/cfg/kavlen/kavlen.ini", "@/cfg/kavlen"},
      {"LocalInstall", "/usr/local/bin", "@/cfg", "@/home", "@/cfg/kavlen/kavlen.ini", "@/cfg/kavlen"},
      {"ProgramFolderGone", "@/gone", "@/cfg", "@/home", "@/cfg/kavlen/kavlen.ini", "@/cfg/kavlen"},
      {"NoXdgUsesHome", "/usr/bin", std::nullopt, "@/home", "@/home/.config/kavlen/kavlen.ini",
       "@/home/.config/kavlen"},
      {"RelativeXdgIgnored", "/usr/bin", "cfg", "@/home", "@/home/.config/kavlen/kavlen.ini",
       "@/home/.config/kavlen"},
      {"NowhereElse", "/usr/bin", std::nullopt, std::nullopt, "/usr/bin/kavlen.ini", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir temp;
    fs::create_directory(temp.path() + "/prog");
    const auto fromRow = [&](const std::optional<std::string>& v) {
      return v ? std::optional<std::string>(InTemp(*v, temp.path())) : std::nullopt;
    };
    ScopedEnv xdg("XDG_CONFIG_HOME", fromRow(c.xdgConfigHome));
    ScopedEnv home("HOME", fromRow(c.home));

    EXPECT_EQ(SettingsFilePath(InTemp(c.moduleDir, temp.path())), InTemp(c.expected, temp.path()));

    EXPECT_FALSE(fs::exists(InTemp(c.expected, temp.path()))) << "only a save writes the file";
    if (c.createdFolder == nullptr) {
      EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1)
          << "no folder made";
    } else {
      struct stat st {};
      ASSERT_EQ(stat(InTemp(c.createdFolder, temp.path()).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
  }
}

TEST(DeviceOsSearchDirsTest, ProgramFolderThenSharedDataThenConfig) {
  ScopedEnv xdg("XDG_CONFIG_HOME", "/home/u/.cfg");
  EXPECT_EQ(DeviceOsSearchDirs("/opt/kavlen"),
            (std::vector<std::string>{"/opt/kavlen", "/usr/share/kavlen", "/home/u/.cfg/kavlen"}));
  ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv noHome("HOME", std::nullopt);
  EXPECT_EQ(DeviceOsSearchDirs("/opt/kavlen"), (std::vector<std::string>{"/opt/kavlen", "/usr/share/kavlen"}));
}

TEST(DeviceOsPlaceDirTest, AMissingFileIsNamedWhereItCanBePut) {
  TempDir temp;
  ScopedEnv xdg("XDG_CONFIG_HOME", temp.path() + "/cfg");
  EXPECT_EQ(DeviceOsPlaceDir(temp.path()), temp.path());
  EXPECT_EQ(DeviceOsPlaceDir("/usr/bin"), temp.path() + "/cfg/kavlen");
  EXPECT_FALSE(std::filesystem::exists(temp.path() + "/cfg")) << "nothing made";
}

}  // namespace
}  // namespace kavlen::test
