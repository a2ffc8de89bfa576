#include "console/version_text.h"

#include "kavlen_version.h"

namespace kavlen::console {

std::string VersionLine() { return "ukavlen " KAVLEN_VERSION "\n"; }

}  // namespace kavlen::console
