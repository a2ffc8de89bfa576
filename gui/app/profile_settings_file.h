#pragma once
// The window's settings file over the private-profile functions.

#include "gui/settings_file.h"

namespace kavlen {

class ProfileSettingsFile final : public SettingsFile {
 public:
  // Beside the program, or the user's config folder when that is not writable.
  std::string PathFor(const std::string& programDir) override;
  std::uint32_t GetInt(const std::string& section, const std::string& key,
                       std::int32_t defaultValue, const std::string& path) override;
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& defaultValue, std::uint32_t capacity,
                        const std::string& path) override;
  bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) override;
};

}  // namespace kavlen
