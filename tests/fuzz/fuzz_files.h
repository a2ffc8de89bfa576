#pragma once
// Files the fuzz targets hand their input to: one private folder per fuzzing
// process (under $TMPDIR, else /tmp), removed when the process ends.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavlen::fuzz {

// The path of name inside the private folder.
std::string FuzzFilePath(const std::string& name);

// Writes the bytes to name in the private folder; returns its path. Aborts
// when the file cannot be written (a broken fuzzing set-up, not a finding).
std::string WriteFuzzFile(const std::string& name, const std::uint8_t* data, std::size_t size);

}  // namespace kavlen::fuzz
