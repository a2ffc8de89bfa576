#pragma once
// Where the library's trace lines go: one callback for the whole process,
// set by kv_set_log; nowhere until then.

#include <string_view>

#include "device/trace_sink.h"
#include "include/kavlen/kavlen.h"

namespace kavlen::lib {

void SetLog(kv_log callback, void* user);

// Hands every line to the callback set at the time it is printed.
class LogSink final : public TraceSink {
 public:
  void Print(std::string_view text) override;
};

}  // namespace kavlen::lib
