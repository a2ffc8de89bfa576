#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/text_file.h"

namespace kavlen {
namespace {

constexpr int kMaxLinkHops = 40;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The path at the end of a chain of symbolic links, whether or not it
// exists; empty for a loop.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return {};
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
  }
  return {};
}

bool WriteAllAt(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Keeps the file (its inode, links, owner and mode) and overwrites its
// bytes. Room for a longer text is reserved first, so a full disk fails
// the write before any byte of the old text has changed.
bool RewriteInPlace(const std::string& target, const std::string& text) {
  const int fd = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  const off_t oldSize = ok ? info.st_size : 0;
  const off_t newSize = static_cast<off_t>(text.size());
  if (ok && newSize > oldSize) ok = posix_fallocate(fd, oldSize, newSize - oldSize) == 0;
  if (ok) ok = WriteAllAt(fd, text) && ftruncate(fd, newSize) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

enum class Replace { Done, Failed, CannotStage };

// The new text in a temporary file that takes the old file's owner and
// mode and is then renamed over it. CannotStage when the temporary file
// cannot be made or given the owner; nothing was changed then.
Replace ReplaceThroughTemporary(const std::string& target, const std::string& text, const struct stat* old,
                                const std::string& stagingFolder) {
  const std::string folder = stagingFolder.empty() ? FolderOf(target) : stagingFolder;
  const std::string name = target.substr(target.rfind('/') + 1);
  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = folder + "/" + name + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Replace::CannotStage;

  bool ok = true;
  if (old != nullptr) {
    struct stat made;
    const bool sameOwner = fstat(fd, &made) == 0 && made.st_uid == old->st_uid && made.st_gid == old->st_gid;
    // A new owner clears set-id bits, so the mode is set after it.
    if (!sameOwner && fchown(fd, old->st_uid, old->st_gid) != 0) {
      close(fd);
      unlink(temp.c_str());
      return Replace::CannotStage;
    }
    ok = fchmod(fd, old->st_mode & 07777) == 0;
  }
  if (ok) ok = WriteAllAt(fd, text) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return Replace::Failed;
  }
  SyncFolder(FolderOf(target));
  return Replace::Done;
}

}  // namespace

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
  const std::string target = FollowLinks(path);
  if (target.empty()) return false;
  struct stat old;
  const bool existed = lstat(target.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) return false;
  // A file without write permission bits stays read-only even for root, like
  // a file with the read-only attribute on Windows.
  if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                  access(target.c_str(), W_OK) != 0)) {
    return false;
  }
  // Renaming over a hard-linked file would part it from its other names.
  if (existed && old.st_nlink > 1) return RewriteInPlace(target, text);
  switch (ReplaceThroughTemporary(target, text, existed ? &old : nullptr, stagingFolder)) {
    case Replace::Done:
      return true;
    case Replace::Failed:
      return false;
    case Replace::CannotStage:
      break;
  }
  return existed && RewriteInPlace(target, text);
}

}  // namespace kavlen
