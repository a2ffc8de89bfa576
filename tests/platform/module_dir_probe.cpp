// Prints what the platform layer says about the running program, for tests
// that move this program to unusual places.

#include <cstdio>

#include "platform/system.h"

int main() {
  std::printf("%s\n", kavlen::GetModuleDirectory().c_str());
  kavlen::DebugOutput("developer line\n");
  return 0;
}
