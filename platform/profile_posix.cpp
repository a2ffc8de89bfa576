#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_text.h"
#include "platform/profile.h"

namespace kavlen {
namespace {

enum class FileRead { Read, Missing, Failed };

FileRead ReadWholeFile(const char* path, std::string& text) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
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

IniText LoadIni(const char* path) {
  std::string text;
  if (path != nullptr) ReadWholeFile(path, text);
  return IniText(text);
}

// Decimal digits after an optional sign, wrapping modulo 2^32 as Windows does.
std::uint32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? 0u - number : number;
}

std::uint32_t CopyText(std::string_view text, char* out, std::uint32_t size) {
  const std::size_t count = text.size() < size - 1u ? text.size() : size - 1u;
  std::memcpy(out, text.data(), count);
  out[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

// Names one after the other, each nul-terminated, one more nul at the end.
// When they do not fit the last one is cut and the result is size - 2.
std::uint32_t CopyNameList(const std::vector<std::string>& names, char* out, std::uint32_t size) {
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::size_t used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      std::memcpy(out + used, name.data(), size - 2 - used);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(out + used, name.data(), name.size());
    used += name.size();
    out[used++] = '\0';
  }
  out[used] = '\0';
  if (used == 0) out[1] = '\0';
  return static_cast<std::uint32_t>(used);
}

// A name or value that would change the file's structure when written:
// line breaks everywhere, '=' or a leading '[' / ';' in a key, ']' in a section.
bool BreaksTheFile(const char* section, const char* key, const char* value) {
  const auto hasBreak = [](const char* text) { return text != nullptr && std::strpbrk(text, "\r\n") != nullptr; };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return true;
  if (std::strchr(section, ']') != nullptr) return true;
  if (key != nullptr) {
    const std::string_view name(key);
    const std::size_t first = name.find_first_not_of(" \t");
    if (name.find('=') != std::string_view::npos) return true;
    if (first == std::string_view::npos || name[first] == '[' || name[first] == ';') return true;
  }
  return false;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// The file a settings path names, following a symbolic link so that the
// link stays in place and its target gets the new text.
std::string WriteTarget(const char* path) {
  struct stat info;
  if (lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* resolved = realpath(path, nullptr)) {
      std::string target(resolved);
      std::free(resolved);
      return target;
    }
  }
  return path;
}

// The new text goes to a temporary file in the same folder, which is
// flushed and then renamed over the old file: the file holds either the old
// or the new settings, whenever the program or the machine stops.
bool ReplaceFile(const char* path, const std::string& text) {
  const std::string target = WriteTarget(path);
  struct stat old;
  const bool existed = stat(target.c_str(), &old) == 0;
  // A file without write permission bits stays read-only even for root, like
  // a file with the read-only attribute on Windows.
  if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                  access(target.c_str(), W_OK) != 0)) {
    return false;
  }

  std::string temp;
  int fd = -1;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text);
  if (ok && existed) ok = fchmod(fd, old.st_mode & 07777) == 0;
  if (ok) ok = fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

}  // namespace

std::uint32_t GetPrivateProfileIntA(const char* section, const char* key, std::int32_t defaultValue,
                                    const char* path) {
  const std::uint32_t fallback = static_cast<std::uint32_t>(defaultValue);
  if (section == nullptr || key == nullptr) return fallback;
  const std::optional<std::string> value = LoadIni(path).Find(section, key);
  if (!value || value->empty()) return fallback;
  return LeadingNumber(*value);
}

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                       char* out, std::uint32_t size, const char* path) {
  if (out == nullptr || size == 0) return 0;
  const IniText ini = LoadIni(path);
  if (section == nullptr) return CopyNameList(ini.SectionNames(), out, size);
  if (key == nullptr) return CopyNameList(ini.KeyNames(section), out, size);
  if (const std::optional<std::string> value = ini.Find(section, key)) return CopyText(*value, out, size);
  // Trailing blanks of the default are dropped, as the Windows call does.
  std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyText(fallback, out, size);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path) {
  if (section == nullptr || path == nullptr || path[0] == '\0') return false;
  if (BreaksTheFile(section, key, value)) return false;
  std::string text;
  const FileRead read = ReadWholeFile(path, text);
  if (read == FileRead::Failed) return false;
  IniText ini(text);
  if (key == nullptr) {
    if (read == FileRead::Missing) return true;
    ini.RemoveSection(section);
  } else if (value == nullptr) {
    if (read == FileRead::Missing) return true;
    ini.RemoveKey(section, key);
  } else {
    ini.Set(section, key, value);
  }
  return ReplaceFile(path, ini.Text());
}

}  // namespace kavlen
