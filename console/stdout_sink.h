#pragma once
// Standard output. On a console every message is flushed at once, so that the
// progress dots show while the blocks move; into a file or pipe the output is
// buffered and leaves in a few writes at the end.

#include "device/trace_sink.h"

namespace kavlen::console {

class StdoutSink final : public TraceSink {
 public:
  explicit StdoutSink(bool flushEachMessage) : flushEachMessage_(flushEachMessage) {}
  void Print(std::string_view text) override;

 private:
  bool flushEachMessage_;
};

// Standard error, written at once: where --progress draws.
class StderrSink final : public TraceSink {
 public:
  void Print(std::string_view text) override;
};

}  // namespace kavlen::console
