#pragma once
// printf-style formatting into a std::string: the messages of both programs
// are printf formats and are kept as such.

#include <string>

namespace kavlen {

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string StrPrintf(const char* format, ...);

}  // namespace kavlen
