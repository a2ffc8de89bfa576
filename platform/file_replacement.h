#pragma once
// Gives a file new content without losing what its name stood for: the file
// holds the old or the new content whenever the program or the machine
// stops, and the content is staged in a file that no one else's name can
// clash with. POSIX: the new bytes go to the file a symbolic link names (a
// dangling link's target is made); an existing file keeps its mode, its
// owner and its hard links. The content is staged in an unnamed file in the
// target's folder on Linux, linked in when it is complete, so that a killed
// program leaves nothing behind; elsewhere, and where the file system has no
// unnamed files, under a hidden name made exclusively beside the target. A
// hard-linked file, one whose owner the staged file cannot be given, and one
// whose folder takes no new file are rewritten in place instead. Windows: the
// content is staged under a hidden name made exclusively beside the target
// and moved over it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavlen {

struct ReplaceRules {
  // A name that is no regular file (a FIFO, a terminal, a device) is written
  // to as it is, never replaced; without this it is refused.
  bool writeOthersInPlace = false;
  // A file without write permission is refused, even for root, as the
  // read-only attribute refuses it on Windows; without this it is replaced.
  bool refuseReadOnly = false;
  // Where the content is staged; the target's own folder when empty.
  std::string stagingFolder;
};

class FileReplacement {
 public:
  // Makes ready to give `path` new content; nothing changes under the name
  // until Commit. Not ready() when the name cannot take it: a missing
  // folder, a name the rules refuse, nowhere to stage and no file to
  // rewrite.
  FileReplacement(const std::string& path, const ReplaceRules& rules);
  // Without a Commit the name is left as it was and the staged file goes.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  bool ready() const { return how_ != How::Refused; }
  // Writes the bytes and puts them in place, once. False when they could
  // not all be written and put in place; a replaced file then keeps its old
  // content.
  bool Commit(const void* data, std::size_t size);

 private:
  enum class How {
    Refused,
    Staged,          // a new file that takes the target's place
    Rewritten,       // the target's own bytes overwritten
    WrittenThrough,  // a FIFO, terminal or device: the bytes written to it
  };
  void Discard();

  How how_ = How::Refused;
  std::intptr_t file_ = -1;  // the open file descriptor or HANDLE
  std::string target_;       // the name (symbolic links followed) that gets the content
  std::string staged_;       // the staged file's name; empty when it has none
};

}  // namespace kavlen
