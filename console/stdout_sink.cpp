#include "console/stdout_sink.h"

#include <cstdio>

namespace kavlen::console {

void StdoutSink::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (flushEachMessage_) std::fflush(stdout);
}

void StderrSink::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace kavlen::console
