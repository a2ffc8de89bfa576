#include <algorithm>
#include <cctype>
#include <string>

#include "device/image_records.h"

namespace kavlen {

ImageFormat ImageFormatOfPath(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return ImageFormat::Binary;
  }
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* hex : {"hex", "ihx", "ihex"}) {
    if (extension == hex) return ImageFormat::IntelHex;
  }
  for (const char* srec : {"s19", "s28", "s37", "srec", "mot"}) {
    if (extension == srec) return ImageFormat::Srecord;
  }
  return ImageFormat::Binary;
}

std::optional<ImageFormat> ImageFormatNamed(std::string_view name) {
  if (name == "bin") return ImageFormat::Binary;
  if (name == "ihex") return ImageFormat::IntelHex;
  if (name == "srec") return ImageFormat::Srecord;
  return std::nullopt;
}

}  // namespace kavlen
