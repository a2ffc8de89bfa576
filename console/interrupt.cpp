#include "console/interrupt.h"

#include <csignal>

namespace kavlen::console {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) { gInterrupted = 1; }

}  // namespace

void CatchInterrupts() { std::signal(SIGINT, OnInterrupt); }

bool InterruptRequested() { return gInterrupted != 0; }

}  // namespace kavlen::console
