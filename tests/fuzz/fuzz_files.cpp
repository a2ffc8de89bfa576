#include "tests/fuzz/fuzz_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kavlen::fuzz {
namespace {

class PrivateFolder {
 public:
  PrivateFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/kavlen-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("kavlen fuzz: mkdtemp");
      std::abort();
    }
    path_ = pattern;
  }
  ~PrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const PrivateFolder& Folder() {
  static const PrivateFolder folder;
  return folder;
}

}  // namespace

std::string FuzzFilePath(const std::string& name) { return Folder().path() + "/" + name; }

std::string WriteFuzzFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = FuzzFilePath(name);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool ok = fd >= 0;
  std::size_t done = 0;
  while (ok && done < size) {
    const ssize_t wrote = write(fd, data + done, size - done);
    ok = wrote > 0;
    if (ok) done += static_cast<std::size_t>(wrote);
  }
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    std::perror("kavlen fuzz: writing the input file");
    std::abort();
  }
  return path;
}

}  // namespace kavlen::fuzz
