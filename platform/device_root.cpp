#include "platform/device_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/driver_api.h"

namespace kavlen {

namespace {

std::string NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

std::string DeviceRootDir() {
  std::string dir = NonEmptyEnv("KAVLEN_DEVICE_DIR");
  if (!dir.empty()) return dir;
  dir = NonEmptyEnv("XDG_RUNTIME_DIR");
  if (!dir.empty()) return dir + "/kavlen";
  return "/tmp/kavlen-" + std::to_string(static_cast<unsigned long>(getuid()));
}

std::string DeviceClassDir(const std::string& root) {
  return root + "/" + kDeviceInterfaceGuidText;
}

bool IsPrivateDir(const std::string& dir) {
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace kavlen
