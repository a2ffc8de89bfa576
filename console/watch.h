#pragma once
// ukavlen -d FILE ... --watch: the run, then again each time FILE changes,
// until Ctrl-C.

#include <functional>
#include <string>

#include "device/trace_sink.h"

namespace kavlen::console {

// Calls runOnce (the download run, returning its exit status), prints one
// line with the time and its result, and waits for the file to change and
// then hold still (same size and modification time for 300 ms) before the
// next run. A failed run does not
// end the watch; Ctrl-C does, between runs or after the current block.
// Returns the exit status of the last run.
int WatchAndRun(const std::string& fileName, const std::function<int()>& runOnce, TraceSink& sink);

}  // namespace kavlen::console
