#pragma once
// The command line of ukavlen: banner, usage text and the option scan.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/image_records.h"
#include "device/trace_sink.h"

namespace kavlen::console {

struct ConsoleSettings {
  std::string fileName;       // -d
  std::uint8_t fillCode = 0;  // -f: 0 fills with 0x00, 1 with 0xFF, 2 leaves the buffer as it is
  bool verify = false;        // -v
  std::optional<ImageFormat> format = {};  // --format; otherwise by the file's extension
  std::optional<std::uint32_t> base = {};  // --base, for HEX and S-record images
};

enum class ScanOutcome {
  StatusCheck,  // -u alone: report whether the emulator is attached
  Run,          // a file name was given: run the download
  Stop,         // usage or a complaint was printed: exit with status 1
};

struct ScanResult {
  ScanOutcome outcome = ScanOutcome::Stop;
  ConsoleSettings settings;
};

void PrintBanner(TraceSink& out);
void PrintUsage(TraceSink& out);

// args are the arguments after the program name. Prints the scan's own
// messages (never the banner).
ScanResult ScanOptions(const std::vector<std::string>& args, TraceSink& out);

// The fill code of a -f value: 0 and 1 as given, any other number 2, and a
// value that holds no number 0.
std::uint8_t FillCodeOf(const std::string& value);

}  // namespace kavlen::console
