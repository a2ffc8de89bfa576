#pragma once
// Small services of the operating system that both programs use besides the
// driver: the program's own directory, path joining, and the developer-only
// debugger output.

#include <string>
#include <string_view>

namespace kavlen {

// Directory of the running program, without a trailing separator. Any length
// of path works. Empty when it cannot be determined.
std::string GetModuleDirectory();

// dir + separator + name, with the platform's separator ('\' on Windows, '/' elsewhere).
std::string JoinPath(std::string_view dir, std::string_view name);

// Developer log the user does not see: OutputDebugStringA on Windows;
// elsewhere standard error, only when KAVLEN_DEBUG is set.
void DebugOutput(std::string_view text);

// Whether standard output is a console (a terminal) rather than a file or pipe.
bool StdoutIsConsole();
// The same for standard error.
bool StderrIsConsole();

}  // namespace kavlen
