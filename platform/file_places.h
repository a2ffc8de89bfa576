#pragma once
// The one rule both systems follow for a program's own files (kavlen.ini,
// and the folder a missing TPROMOS.USB is named in): beside the program
// when its folder may hold them, else in the user's own kavlen folder. Each
// system's code gathers the facts about the program's folder; the choice
// lives here.

#include <string>

namespace kavlen {

struct ProgramFolderFacts {
  bool writable = false;              // a file can be made in the program's folder
  bool systemOwned = false;           // below /usr, or a Program Files folder
  bool settingsFileWritable = false;  // a kavlen.ini stands beside the program and can be written
  bool hasUserFolder = false;         // the user's kavlen folder can be named
};

enum class FilePlace { BesideProgram, UserFolder };

// Beside the program when its folder is writable and not system-owned, or
// when a writable kavlen.ini already stands there; otherwise the user's
// folder; beside the program when there is no user folder either.
FilePlace SettingsFilePlace(const ProgramFolderFacts& facts);

// Where a device OS file that is nowhere to be found should be put: as the
// settings file, but a kavlen.ini beside the program does not count.
FilePlace DeviceOsFilePlace(const ProgramFolderFacts& facts);

// Whether path is folder or lies below it, compared as Windows does: ASCII
// letters in either case, '\' and '/' alike, trailing separators ignored.
// An empty folder contains nothing.
bool IsInWindowsFolder(const std::string& path, const std::string& folder);

}  // namespace kavlen
