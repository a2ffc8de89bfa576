// The private-profile calls on any settings file, with any names, values and
// buffer sizes. Properties:
// - no call writes behind the buffer it was given (guard bytes), and every
//   result is nul-terminated within it;
// - a write that succeeds reads back: the value under its names;
// - a write that fails leaves the file's bytes as they were.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

constexpr std::size_t kGuard = 16;

// Calls GetPrivateProfileStringA into a buffer of `size` bytes followed by
// guard bytes; returns what it wrote into the buffer.
std::string ReadInto(const char* section, const char* key, const char* defaultValue, std::uint32_t size,
                     const std::string& path) {
  std::vector<char> out(size + kGuard, '#');
  const std::uint32_t copied = kavlen::GetPrivateProfileStringA(section, key, defaultValue, out.data(), size, path.c_str());
  for (std::size_t i = size; i < out.size(); ++i) FUZZ_REQUIRE(out[i] == '#');
  FUZZ_REQUIRE(copied < size);
  FUZZ_REQUIRE(out[copied] == '\0');
  // A list ends with two nuls: its last name's and one more, or, cut to
  // size - 2, in the buffer's last two bytes.
  const bool list = section == nullptr || key == nullptr;
  if (list && size >= 2) {
    FUZZ_REQUIRE((copied == size - 2 && out[size - 1] == '\0') || out[copied == 0 ? 1 : copied - 1] == '\0');
  }
  return std::string(out.data(), copied);
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

bool ReadsBackAsIs(const std::string& value) {
  if (value.empty()) return true;
  return !Blank(value.front()) && !Blank(value.back()) && value.front() != '"' && value.front() != '\'';
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::uint8_t chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(file);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::uint32_t bufferSize = input.ConsumeIntegralInRange<std::uint32_t>(1, 300);
  const bool keyGiven = input.ConsumeBool();
  const bool valueGiven = input.ConsumeBool();
  // C strings: each stops at its first nul.
  const std::string section = input.ConsumeRandomLengthString(24).c_str();
  const std::string key = input.ConsumeRandomLengthString(24).c_str();
  const std::string value = input.ConsumeRandomLengthString(40).c_str();
  const std::vector<std::uint8_t> text = input.ConsumeRemainingBytes<std::uint8_t>();
  const std::string path = kavlen::fuzz::WriteFuzzFile("kavlen.ini", text.data(), text.size());

  ReadInto(nullptr, nullptr, "", bufferSize, path);
  ReadInto(section.c_str(), nullptr, "", bufferSize, path);
  ReadInto(section.c_str(), key.c_str(), value.c_str(), bufferSize, path);
  kavlen::GetPrivateProfileIntA(section.c_str(), key.c_str(), 255, path.c_str());

  const char* keyArg = keyGiven ? key.c_str() : nullptr;
  const char* valueArg = valueGiven ? value.c_str() : nullptr;
  if (!kavlen::WritePrivateProfileStringA(section.c_str(), keyArg, valueArg, path.c_str())) {
    FUZZ_REQUIRE(FileBytes(path) == text);
    return 0;
  }
  if (keyArg != nullptr && valueArg != nullptr && ReadsBackAsIs(value)) {
    const auto readBack = static_cast<std::uint32_t>(value.size() + 1);
    FUZZ_REQUIRE(ReadInto(section.c_str(), key.c_str(), "\x01 not this", readBack, path) == value);
  }
  return 0;
}
