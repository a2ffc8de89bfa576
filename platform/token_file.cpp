#include "platform/token_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/sim_stream.h"
#include "platform/wire_codec.h"

#include <fcntl.h>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kavlen {

namespace {

bool IsToken(const std::string& text) {
  return text.size() == kTokenLength && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Creates the folders above path that are missing, closed to others.
void MakeParents(const std::string& path) {
  for (std::size_t at = path.find_first_of("/\\", 1); at != std::string::npos;
       at = path.find_first_of("/\\", at + 1)) {
    const std::string dir = path.substr(0, at);
#ifdef _WIN32
    if (dir.size() > 2 || dir.back() != ':') _mkdir(dir.c_str());
#else
    mkdir(dir.c_str(), 0700);
#endif
  }
}

}  // namespace

bool ReadTokenFile(const std::string& path, std::string* token) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char text[128];
  const std::size_t got = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  if (got == sizeof text) return false;
  std::string value(text, got);
  const std::size_t first = value.find_first_not_of(" \t\r\n");
  const std::size_t last = value.find_last_not_of(" \t\r\n");
  value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
  if (value.empty() || value.size() > KW_MAX_TOKEN) return false;
  *token = value;
  return true;
}

bool LoadOrCreateToken(const std::string& path, std::string* token, std::string* error) {
  MakeParents(path);
  std::string fresh;
  if (!RandomToken(&fresh)) {
    *error = "no random numbers for a token";
    return false;
  }
  const std::string text = fresh + "\n";
#ifdef _WIN32
  // a file in the user's own profile is closed to other users
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd >= 0) {
    const bool written = _write(fd, text.data(), static_cast<unsigned>(text.size())) ==
                         static_cast<int>(text.size());
    _close(fd);
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
#endif
    if (!written) {
      *error = "cannot write " + path;
      std::remove(path.c_str());
      return false;
    }
    *token = fresh;
    return true;
  }
  if (errno != EEXIST) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
#ifndef _WIN32
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0) {
    *error = path + " is not a file of this user closed to others; refusing it";
    return false;
  }
#endif
  if (!ReadTokenFile(path, token) || !IsToken(*token)) {
    *error = path + " holds no token (32 hex digits)";
    return false;
  }
  return true;
}

}  // namespace kavlen
