#include <windows.h>

#include "platform/profile.h"

namespace kavlen {

std::uint32_t GetPrivateProfileIntA(const char* section, const char* key, std::int32_t defaultValue,
                                    const char* path) {
  return ::GetPrivateProfileIntA(section, key, defaultValue, path);
}

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                       char* out, std::uint32_t size, const char* path) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, out, size, path);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path) {
  return ::WritePrivateProfileStringA(section, key, value, path) != FALSE;
}

}  // namespace kavlen
