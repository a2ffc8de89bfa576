#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <random>
#include <string>

#include "platform/file_replacement.h"

namespace kavlen {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

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

// ".NAME.xxxxxx" in folder: hidden, and never the name of a file that is
// there already (callers make it exclusively and try again when it is).
std::string HiddenName(const std::string& folder, const std::string& name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  std::string hidden = folder + "/." + name + ".";
  for (int i = 0; i < 6; ++i) hidden += kLetters[random() % (sizeof kLetters - 1)];
  return hidden;
}

int MakeHiddenFile(const std::string& folder, const std::string& name, std::string& made) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = HiddenName(folder, name);
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      made = candidate;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return -1;
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// A file with no name in folder, which vanishes with the process unless it
// is linked in; -1 where the system or the file system has none, or /proc
// (through which it is linked) does not show it.
int MakeUnnamedFile(const std::string& folder) {
#ifdef O_TMPFILE
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat own, shown;
  if (fstat(fd, &own) == 0 && stat(ProcPath(fd).c_str(), &shown) == 0 && own.st_dev == shown.st_dev &&
      own.st_ino == shown.st_ino) {
    return fd;
  }
  close(fd);
#else
  (void)folder;
#endif
  return -1;
}

// Gives the unnamed file the target's name. An existing target is replaced
// by a rename, for which the file needs a name of its own for a moment.
bool LinkIn(int fd, const std::string& target) {
  const std::string proc = ProcPath(fd);
  if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno != EEXIST) return false;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string brief = HiddenName(FolderOf(target), NameOf(target));
    if (linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, brief.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (rename(brief.c_str(), target.c_str()) == 0) return true;
      unlink(brief.c_str());
      return false;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// From the file's first byte when fromStart, else wherever the stream is.
bool WriteAll(int fd, const void* data, std::size_t size, bool fromStart) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t wrote = fromStart ? pwrite(fd, bytes + done, size - done, static_cast<off_t>(done))
                                    : write(fd, bytes + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// Room for a longer content is reserved first, so a full disk fails the
// write before any byte of the old content has changed.
bool Rewrite(int fd, const void* data, std::size_t size) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  const off_t newSize = static_cast<off_t>(size);
  if (newSize > info.st_size && posix_fallocate(fd, info.st_size, newSize - info.st_size) != 0) return false;
  return WriteAll(fd, data, size, true) && ftruncate(fd, newSize) == 0 && fsync(fd) == 0;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// The staged file, with the old file's owner and mode when there is one;
// -1 when it cannot be made or given the owner.
int Stage(const std::string& folder, const std::string& name, const struct stat* old, std::string& made) {
  int fd = MakeUnnamedFile(folder);
  if (fd < 0) fd = MakeHiddenFile(folder, name, made);
  if (fd < 0) return -1;
  if (old == nullptr) return fd;
  struct stat own;
  const bool sameOwner = fstat(fd, &own) == 0 && own.st_uid == old->st_uid && own.st_gid == old->st_gid;
  // A new owner clears set-id bits, so the mode is set after it.
  if ((sameOwner || fchown(fd, old->st_uid, old->st_gid) == 0) && fchmod(fd, old->st_mode & 07777) == 0) {
    return fd;
  }
  close(fd);
  if (!made.empty()) unlink(made.c_str());
  made.clear();
  return -1;
}

bool Unwritable(const std::string& path, const struct stat& info) {
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, const ReplaceRules& rules) {
  struct stat named;
  if (stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
    if (!rules.writeOthersInPlace) return;
    // As a shell's redirection would: a FIFO waits here for its reader.
    file_ = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (file_ >= 0) how_ = How::WrittenThrough;
    return;
  }
  target_ = FollowLinks(path);
  if (target_.empty()) return;
  struct stat old;
  const bool existed = lstat(target_.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) return;
  if (existed && (!S_ISREG(old.st_mode) || (rules.refuseReadOnly && Unwritable(target_, old)))) return;
  // Renaming over a hard-linked file would part it from its other names.
  if (!existed || old.st_nlink == 1) {
    const std::string folder = rules.stagingFolder.empty() ? FolderOf(target_) : rules.stagingFolder;
    file_ = Stage(folder, NameOf(target_), existed ? &old : nullptr, staged_);
    if (file_ >= 0) {
      how_ = How::Staged;
      return;
    }
  }
  if (!existed) return;
  // Non-blocking, in case something else took the name since lstat.
  file_ = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (file_ < 0) return;
  struct stat opened;
  if (fstat(static_cast<int>(file_), &opened) == 0 && S_ISREG(opened.st_mode)) {
    how_ = How::Rewritten;
    return;
  }
  Discard();
}

FileReplacement::~FileReplacement() { Discard(); }

bool FileReplacement::Commit(const void* data, std::size_t size) {
  const int fd = static_cast<int>(file_);
  bool ok = false;
  switch (how_) {
    case How::Refused:
      return false;
    case How::WrittenThrough:
      ok = WriteAll(fd, data, size, false);
      break;
    case How::Rewritten:
      ok = Rewrite(fd, data, size);
      break;
    case How::Staged:
      ok = WriteAll(fd, data, size, true) && fsync(fd) == 0 && (!staged_.empty() || LinkIn(fd, target_));
      break;
  }
  if (close(fd) != 0) ok = false;
  file_ = -1;
  if (how_ == How::Staged && !staged_.empty()) {
    if (ok) ok = rename(staged_.c_str(), target_.c_str()) == 0;
    if (ok) staged_.clear();
  }
  if (ok && how_ == How::Staged) SyncFolder(FolderOf(target_));
  how_ = How::Refused;
  Discard();
  return ok;
}

void FileReplacement::Discard() {
  if (file_ >= 0) close(static_cast<int>(file_));
  if (!staged_.empty()) unlink(staged_.c_str());
  file_ = -1;
  staged_.clear();
  how_ = How::Refused;
}

}  // namespace kavlen
