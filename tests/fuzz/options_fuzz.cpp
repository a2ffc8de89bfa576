// ukavlen's option scan on any command line: the input is the arguments, one
// per line. The scan must not crash, and what it returns must be something
// the run can use.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "console/options.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

class DiscardSink : public kavlen::TraceSink {
 public:
  void Print(std::string_view text) override { printed += text.size(); }
  std::size_t printed = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    args.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  DiscardSink sink;
  const kavlen::console::ScanResult scan = kavlen::console::ScanOptions(args, sink);
  FUZZ_REQUIRE(scan.settings.fillCode <= 2);
  if (scan.outcome == kavlen::console::ScanOutcome::Run) {
    // The file name is one whole argument, never a piece or a mix of them.
    bool isAnArgument = false;
    for (const std::string& arg : args) isAnArgument = isAnArgument || arg == scan.settings.fileName;
    FUZZ_REQUIRE(isAnArgument && !scan.settings.fileName.empty());
  } else if (scan.outcome == kavlen::console::ScanOutcome::Stop) {
    FUZZ_REQUIRE(sink.printed > 0);  // a stop always tells why (at least the usage)
  }
  for (const std::string& arg : args) FUZZ_REQUIRE(kavlen::console::FillCodeOf(arg) <= 2);
  return 0;
}
