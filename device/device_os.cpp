#include "device/device_os.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>

#include "device/protocol.h"
#include "platform/settings_location.h"
#include "platform/system.h"

namespace kavlen {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Length of an open file, or -1 when it cannot be told or is too long to
// send in one request.
long long FileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
  if (static_cast<unsigned long long>(end) > 0xFFFFFFFFull) return -1;
  return end;
}

}  // namespace

std::string FindDeviceOsFile(const std::vector<std::string>& dirs) {
  for (const std::string& dir : dirs) {
    const std::string path = JoinPath(dir, kDeviceOsFileName);
    std::error_code error;
    // Any entry of that name counts: one that cannot be read is reported as such.
    if (std::filesystem::exists(path, error)) return path;
  }
  return JoinPath(dirs.empty() ? std::string() : dirs.front(), kDeviceOsFileName);
}

std::string DeviceOsPath(const std::string& moduleDir) {
  const std::string path = FindDeviceOsFile(DeviceOsSearchDirs(moduleDir));
  std::error_code error;
  if (std::filesystem::exists(path, error)) return path;
  // Named where its user can put it.
  return JoinPath(DeviceOsPlaceDir(moduleDir), kDeviceOsFileName);
}

DeviceOsImage ReadDeviceOsFile(const std::string& path) {
  DeviceOsImage image;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    if (errno != ENOENT) image.outcome = DeviceOsRead::Unopenable;
    return image;
  }
  image.outcome = DeviceOsRead::ShortRead;
  const long long length = FileLength(file.get());
  if (length < 0) return image;
  const auto wanted = static_cast<std::size_t>(length);
  // One byte at least, so that an empty file still has a buffer to point at.
  image.bytes.reset(new (std::nothrow) std::uint8_t[wanted > 0 ? wanted : 1]);
  if (!image.bytes) return image;
  const std::size_t got = std::fread(image.bytes.get(), 1, wanted, file.get());
  if (got != wanted || std::ferror(file.get()) != 0) {
    image.bytes.reset();
    return image;
  }
  image.length = static_cast<std::uint32_t>(got);
  image.outcome = DeviceOsRead::Ok;
  return image;
}

void SendDeviceOs(DriverApi& api, Handle device, DeviceOsImage& image) {
  std::uint32_t returned = 0;
  api.DeviceIoControl(device, IOCTL_LOAD_DEVICE_OS, image.bytes.get(), image.length,
                      image.bytes.get(), image.length, &returned);
}

void StartDeviceOs(DriverApi& api, Handle device, CommandBlock& block) {
  BuildHeadCommand(block, CMD_START_OS);
  HeadExchange(api, device, block);
}

GuiOsLoad LoadDeviceOsForGui(DriverApi& api, Handle device, CommandBlock& block,
                             const std::string& moduleDir) {
  DeviceOsImage image = ReadDeviceOsFile(DeviceOsPath(moduleDir));
  if (image.outcome == DeviceOsRead::Missing || image.outcome == DeviceOsRead::Unopenable) {
    return GuiOsLoad::MissingFile;
  }
  if (image.outcome == DeviceOsRead::ShortRead) return GuiOsLoad::ShortRead;
  SendDeviceOs(api, device, image);
  StartDeviceOs(api, device, block);
  return block[0] == 0 ? GuiOsLoad::Started : GuiOsLoad::StartFailed;
}

}  // namespace kavlen
