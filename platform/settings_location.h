#pragma once
// Where the programs keep their files on this machine: kavlen's settings file
// and the folders searched for the device OS file. A program run from a
// folder its user may write to (a build folder, an unzipped copy) keeps
// everything beside itself; an installed one (/usr/bin, Program Files)
// cannot, and uses the user's own kavlen folder instead (the choice itself:
// platform/file_places.h).

#include <string>
#include <vector>

namespace kavlen {

// $XDG_CONFIG_HOME/kavlen (an XDG_CONFIG_HOME that is not an absolute path
// does not count), else $HOME/.config/kavlen. Empty when neither is set.
// Windows: %APPDATA%\kavlen.
std::string UserConfigDir();

// kavlen.ini beside the program when its folder is writable and is not one
// the system owns (below /usr; on Windows a Program Files folder), or when a
// writable kavlen.ini already stands there; otherwise kavlen.ini in
// UserConfigDir(), whose folders are then created (mode 0700) so that the
// first save finds them. Beside the program when there is no config folder.
std::string SettingsFilePath(const std::string& moduleDir);

// Where the device OS file is looked for, in this order: beside the
// program, then /usr/share/kavlen, then UserConfigDir(). Windows: beside the
// program, then %APPDATA%\kavlen, then %PROGRAMDATA%\kavlen.
std::vector<std::string> DeviceOsSearchDirs(const std::string& moduleDir);

// The folder a device OS file found in none of those should be put in, so
// that the path the programs report for it says where it goes: beside the
// program when it may write there (as for kavlen.ini), else UserConfigDir().
// Creates nothing.
std::string DeviceOsPlaceDir(const std::string& moduleDir);

}  // namespace kavlen
