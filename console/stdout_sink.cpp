#include "console/stdout_sink.h"

#include <cstdio>

namespace kavlen::console {

void StdoutSink::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (flushEachMessage_) std::fflush(stdout);
}

}  // namespace kavlen::console
