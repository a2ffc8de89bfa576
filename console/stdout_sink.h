#pragma once
// Standard output, flushed after every message so that progress shows while
// the blocks move.

#include "device/trace_sink.h"

namespace kavlen::console {

class StdoutSink final : public TraceSink {
 public:
  void Print(std::string_view text) override;
};

}  // namespace kavlen::console
