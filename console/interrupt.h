#pragma once
// Ctrl-C (and TERM and HUP, which end a run the same way) during ukavlen
// --watch or --read: the signal only raises a flag, and the run stops at the
// next point where nothing is left open on the device (after the current
// transfer block, or between runs) and cleans up as after any failure.
// Without CatchInterrupts the signals end the program as they always did.

namespace kavlen::console {

// Lowers the flag and lets the signals raise it from now on.
void CatchInterrupts();
bool InterruptRequested();

}  // namespace kavlen::console
