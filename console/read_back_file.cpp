#include "console/read_back_file.h"

#include <string>

namespace kavlen::console {

ReadBackFile::ReadBackFile(const ReadRequest& request)
    : request_(request),
      file_(request.fileName, {.writeOthersInPlace = true, .refuseReadOnly = false, .stagingFolder = {}}) {}

bool ReadBackFile::Write(const std::vector<std::uint8_t>& memory) {
  if (request_.format == ImageFormat::Binary) return file_.Commit(memory.data(), memory.size());
  const std::uint32_t size = static_cast<std::uint32_t>(memory.size());
  const std::string text = request_.format == ImageFormat::IntelHex
                               ? FormatIntelHex(memory.data(), size, request_.base)
                               : FormatSrecord(memory.data(), size, request_.base);
  return file_.Commit(text.data(), text.size());
}

}  // namespace kavlen::console
