#pragma once
// Private-profile (INI) settings files with the Win32 calls' behaviour:
// sections and keys match without regard to case or to blanks around their
// names, values come back trimmed, a missing file, section or key gives the
// caller's default. Windows passes the calls through; elsewhere they work on
// the text file directly.

#include <cstdint>

namespace kavlen {

// The leading decimal number of the value (a leading '-' wraps the way an
// unsigned 32-bit value does, "-1" reads as 0xFFFFFFFF); a value that does
// not start with a number reads as 0; missing or empty gives defaultValue.
std::uint32_t GetPrivateProfileIntA(const char* section, const char* key, std::int32_t defaultValue,
                                    const char* path);

// Copies the value (or defaultValue, or "" when that is null) into out,
// at most size - 1 characters and a terminating nul; returns the number of
// characters copied. A null key lists the section's keys, a null section the
// file's sections, each nul-terminated with one more nul at the end; a list
// that does not fit is cut to size - 2 bytes plus two nuls and size - 2 is
// returned. Only a regular file is read: anything else reads as missing.
std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                       char* out, std::uint32_t size, const char* path);

// Sets key in section, creating the file, the section or the key as needed.
// A null value removes the key, a null key the whole section. Lines the call
// does not change keep their bytes. Returns false when the file could not be
// written (read-only, not a regular file, no such folder, disk full); it is
// then left as it was.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path);

}  // namespace kavlen
