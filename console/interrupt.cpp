#include "console/interrupt.h"

#include <csignal>

namespace kavlen::console {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

void CatchInterrupts() {
  gInterrupted = 0;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#ifdef SIGHUP
  std::signal(SIGHUP, OnInterrupt);
#endif
}

bool InterruptRequested() { return gInterrupted != 0; }

}  // namespace kavlen::console
