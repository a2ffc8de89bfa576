#pragma once
// The window's settings file: an INI file read and written key by key with
// the semantics of the Windows private-profile functions (a missing file,
// section or key reads as the default; a value that is not a number reads
// as 0). A failed write changes nothing and returns false.

#include <cstdint>
#include <string>

namespace kavlen {

class SettingsFile {
 public:
  virtual ~SettingsFile() = default;

  // Where the file of a program in `programDir` lives.
  virtual std::string PathFor(const std::string& programDir) = 0;

  virtual std::uint32_t GetInt(const std::string& section, const std::string& key,
                               std::int32_t defaultValue, const std::string& path) = 0;
  // At most `capacity` - 1 characters of the value (or of the default).
  virtual std::string GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, std::uint32_t capacity,
                                const std::string& path) = 0;
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value, const std::string& path) = 0;
};

}  // namespace kavlen
