#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_replacement.h"
#include "platform/text_file.h"

namespace kavlen {

FileRead ReadTextFile(const std::string& path, std::string& text) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  if (!S_ISREG(info.st_mode)) return FileRead::Failed;
  // Non-blocking, in case something else took the name since stat.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return FileRead::Failed;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      return FileRead::Failed;
    }
    if (got == 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  return FileRead::Read;
}

bool WriteTextFile(const std::string& path, const std::string& text, const std::string& stagingFolder) {
  FileReplacement file(path,
                       {.writeOthersInPlace = false, .refuseReadOnly = true, .stagingFolder = stagingFolder});
  return file.ready() && file.Commit(text.data(), text.size());
}

}  // namespace kavlen
