#include "platform/file_places.h"

#include <gtest/gtest.h>

namespace kavlen::test {
namespace {

constexpr FilePlace kBeside = FilePlace::BesideProgram;
constexpr FilePlace kUser = FilePlace::UserFolder;

TEST(FilePlacesTest, BesideTheProgramOnlyWhereItMayStay) {
  const struct {
    const char* name;
    ProgramFolderFacts facts;  // writable, systemOwned, settingsFileWritable, hasUserFolder
    FilePlace settings;
    FilePlace deviceOs;
  } cases[] = {
      {"UnzippedCopy", {true, false, false, true}, kBeside, kBeside},
      {"ProgramFilesWritableByAll", {true, true, false, true}, kUser, kUser},
      {"ProgramFilesReadOnly", {false, true, false, true}, kUser, kUser},
      {"ReadOnlyFolderElsewhere", {false, false, false, true}, kUser, kUser},
      {"WritableIniInProgramFiles", {false, true, true, true}, kBeside, kUser},
      {"NoUserFolder", {false, true, false, false}, kBeside, kBeside},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SettingsFilePlace(c.facts), c.settings);
    EXPECT_EQ(DeviceOsFilePlace(c.facts), c.deviceOs);
  }
}

TEST(FilePlacesTest, WindowsFolderContainment) {
  const struct {
    const char* path;
    const char* folder;
    bool inside;
  } cases[] = {
      {"C:\\Program Files\\kavlen", "C:\\Program Files", true},
      {"c:/PROGRAM FILES/kavlen", "C:\\Program Files\\", true},
      {"C:\\Program Files", "C:\\Program Files", true},
      {"C:\\Program Files (x86)\\kavlen", "C:\\Program Files", false},
      {"C:\\Program", "C:\\Program Files", false},
      {"D:\\Program Files\\kavlen", "C:\\Program Files", false},
      {"C:\\Users\\u\\kavlen", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " in " + c.folder);
    EXPECT_EQ(IsInWindowsFolder(c.path, c.folder), c.inside);
  }
}

}  // namespace
}  // namespace kavlen::test
