// Where the Windows programs keep their files: %APPDATA%\kavlen for the
// user's, %PROGRAMDATA%\kavlen for the machine's, and beside the program
// when it was unzipped to a folder of its user's.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>

#include "platform/file_places.h"
#include "platform/settings_location.h"
#include "platform/system.h"

namespace kavlen {

namespace {

constexpr const char* kSettingsFile = "kavlen.ini";

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
  return path;
}

std::string KavlenFolderIn(int csidl) {
  const std::string base = ShellFolder(csidl);
  return base.empty() ? std::string() : JoinPath(base, "kavlen");
}

// Both Program Files folders; a 32-bit program on 64-bit Windows learns the
// 64-bit one only from ProgramW6432.
bool IsUnderProgramFiles(const std::string& dir) {
  const char* w6432 = std::getenv("ProgramW6432");
  for (const std::string& folder : {ShellFolder(CSIDL_PROGRAM_FILES), ShellFolder(CSIDL_PROGRAM_FILESX86),
                                    std::string(w6432 != nullptr ? w6432 : "")}) {
    if (IsInWindowsFolder(dir, folder)) return true;
  }
  return false;
}

// The access rights of a folder show only in a try: a probe file, gone as
// soon as its handle closes.
bool CanMakeFileIn(const std::string& dir) {
  const std::string probe = JoinPath(dir, "kavlen-write-test-" + std::to_string(GetCurrentProcessId()) + ".tmp");
  const HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool CanWriteFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

ProgramFolderFacts FactsOf(const std::string& moduleDir, const std::string& userDir) {
  ProgramFolderFacts facts;
  if (!moduleDir.empty()) {
    facts.writable = CanMakeFileIn(moduleDir);
    facts.systemOwned = IsUnderProgramFiles(moduleDir);
    facts.settingsFileWritable = CanWriteFile(JoinPath(moduleDir, kSettingsFile));
  }
  facts.hasUserFolder = !userDir.empty();
  return facts;
}

}  // namespace

std::string UserConfigDir() { return KavlenFolderIn(CSIDL_APPDATA); }

std::string SettingsFilePath(const std::string& moduleDir) {
  const std::string userDir = UserConfigDir();
  if (SettingsFilePlace(FactsOf(moduleDir, userDir)) == FilePlace::BesideProgram) {
    return JoinPath(moduleDir, kSettingsFile);
  }
  // %APPDATA% itself always exists; the first save needs its kavlen folder.
  CreateDirectoryA(userDir.c_str(), nullptr);
  return JoinPath(userDir, kSettingsFile);
}

std::vector<std::string> DeviceOsSearchDirs(const std::string& moduleDir) {
  std::vector<std::string> dirs{moduleDir};
  for (const std::string& dir : {UserConfigDir(), KavlenFolderIn(CSIDL_COMMON_APPDATA)}) {
    if (!dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

std::string DeviceOsPlaceDir(const std::string& moduleDir) {
  const std::string userDir = UserConfigDir();
  return DeviceOsFilePlace(FactsOf(moduleDir, userDir)) == FilePlace::BesideProgram ? moduleDir : userDir;
}

}  // namespace kavlen
