#pragma once
// The device layer's trace lines of kavlen go to standard output, which
// users of a desktop program do not see; each line is flushed at once so
// that a developer watching it follows the actions as they happen.

#include <cstdio>
#include <string_view>

#include "device/trace_sink.h"

namespace kavlen {

class StdoutTraceSink final : public TraceSink {
 public:
  void Print(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

}  // namespace kavlen
