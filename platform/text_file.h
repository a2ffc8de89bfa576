#pragma once
// Whole small text files (the settings file) read and written so that a
// write never leaves half a file behind, never blocks on something that is
// not a file, and keeps the file's identity: its links, owner and mode.

#include <string>

namespace kavlen {

enum class FileRead { Read, Missing, Failed };

// Reads only a regular file (through symbolic links); a FIFO, a device or a
// folder of that name is Failed without being opened for reading.
FileRead ReadTextFile(const std::string& path, std::string& text);

// Gives the file named by path (through symbolic links, dangling ones too:
// the link's target is created) the new text, the way FileReplacement does
// (file_replacement.h), with the content staged in stagingFolder (the
// target's own folder when empty). False when nothing was written: a file
// without write permission (whoever runs), a path that names no regular
// file, a missing folder.
bool WriteTextFile(const std::string& path, const std::string& text,
                   const std::string& stagingFolder = {});

}  // namespace kavlen
