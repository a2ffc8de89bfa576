#pragma once
// The long options of ukavlen (--format, --base, --read, --list, --device,
// --watch, --help, --version) and how they combine with the letters of the
// classic option scan, which they leave exactly as it was: a command line
// without a known long option goes through ScanOptions alone.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/options.h"
#include "device/image_records.h"
#include "device/trace_sink.h"

namespace kavlen::console {

struct LongOptions {
  std::optional<ImageFormat> format = {};  // --format; otherwise by the file's extension
  std::optional<std::uint32_t> base = {};  // --base
  std::string readFile = {};          // --read
  bool list = false;                  // --list
  std::uint32_t device = 0;           // --device N; 0: the last emulator found
  bool watch = false;                 // --watch
};

enum class Job {
  Version,      // one line, status 0
  Help,         // usage text and the long options, status 0
  List,         // --list
  Read,         // --read FILE
  StatusCheck,  // -u
  Run,          // -d FILE, once or (--watch) again on every change
  Stop,         // usage or a complaint was printed: status 1
};

struct CommandLine {
  Job job = Job::Stop;
  ConsoleSettings settings;
  LongOptions more;
};

// args are the arguments after the program name. Prints the scan's own
// messages (never the banner, the help or the version).
CommandLine ScanCommandLine(const std::vector<std::string>& args, TraceSink& out);

// The lines --help prints after the usage text.
void PrintLongOptions(TraceSink& out);

// "0x" and hexadecimal digits, or decimal digits, the whole text, at most
// 0xFFFFFFFF.
std::optional<std::uint32_t> ParseAddress(const std::string& text);

}  // namespace kavlen::console
