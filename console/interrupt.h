#pragma once
// Ctrl-C during ukavlen --watch: the signal only raises a flag, and the run
// stops at the next point where nothing is left open on the device (after the
// current transfer block, or between runs). Without CatchInterrupts the
// signal ends the program as it always did.

namespace kavlen::console {

void CatchInterrupts();
bool InterruptRequested();

}  // namespace kavlen::console
