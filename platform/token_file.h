#pragma once
// The bridge's token: 128 random bits as 32 hex digits in a file only its
// owner may read. A client holds a copy of it.

#include <string>

namespace kavlen {

// Reads the token from path, or makes a fresh one there (owner-only, with
// its folder) when the file is missing. False with *error when the file
// cannot be made or read, is open to others, or holds no token.
bool LoadOrCreateToken(const std::string& path, std::string* token, std::string* error);

// Reads a copy of a token file; false when it is missing, too long or not a
// token (surrounding blanks and line ends are not part of it).
bool ReadTokenFile(const std::string& path, std::string* token);

}  // namespace kavlen
