#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_text.h"
#include "platform/profile.h"
#include "platform/text_file.h"

namespace kavlen {
namespace {

IniText LoadIni(const char* path) {
  std::string text;
  if (path != nullptr) ReadTextFile(path, text);
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
// When they do not fit, the list is cut (the name at the cut loses its end)
// and ends with two nuls in the buffer's last two bytes; the result is then
// size - 2.
std::uint32_t CopyNameList(const std::vector<std::string>& names, char* out, std::uint32_t size) {
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::size_t used = 0;  // never more than size - 1: a copied name left room for the list's end
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      const std::size_t room = used < size - 2u ? size - 2u - used : 0;
      std::memcpy(out + used, name.data(), room);
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
  const FileRead read = ReadTextFile(path, text);
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
  return WriteTextFile(path, ini.Text());
}

}  // namespace kavlen
