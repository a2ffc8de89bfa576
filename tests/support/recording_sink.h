#pragma once
// A trace sink that keeps everything printed to it, so a test can compare the
// exact text a call produced.

#include <string>
#include <string_view>

#include "device/trace_sink.h"

namespace kavlen::test {

struct RecordingSink : TraceSink {
  std::string text;
  void Print(std::string_view line) override { text += line; }
};

}  // namespace kavlen::test
