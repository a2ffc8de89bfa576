#pragma once
// Where the programs keep their files on this machine: kavlen's settings file
// and the folders searched for the device OS file. A program run from a
// folder its user may write to (a build folder, a Windows install) keeps
// everything beside itself; an installed one (/usr/bin) cannot, and uses the
// user's configuration folder instead.

#include <string>
#include <vector>

namespace kavlen {

// $XDG_CONFIG_HOME/kavlen (an XDG_CONFIG_HOME that is not an absolute path
// does not count), else $HOME/.config/kavlen. Empty when neither is set.
// Windows: empty.
std::string UserConfigDir();

// kavlen.ini beside the program when its folder is writable and is not one
// the package system owns (below /usr); otherwise kavlen.ini in
// UserConfigDir(), whose folders are then created (mode 0700) so that the
// first save finds them. Beside the program when there is no config folder.
// Windows: always beside the program.
std::string SettingsFilePath(const std::string& moduleDir);

// Where the device OS file is looked for, in this order: beside the
// program, then /usr/share/kavlen, then UserConfigDir(). Windows: beside
// the program only.
std::vector<std::string> DeviceOsSearchDirs(const std::string& moduleDir);

}  // namespace kavlen
