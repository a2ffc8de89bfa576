#pragma once
// What ukavlen --version prints.

#include <string>

namespace kavlen::console {

// "ukavlen <version>\n"
std::string VersionLine();

}  // namespace kavlen::console
