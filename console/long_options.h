#pragma once
// The long options of ukavlen (--format, --base, --read, --list, --device,
// --watch, --json, --progress, --verify-only, --dry-run, --doctor, --remote,
// --token-file, --help, --version) and how they combine with the letters of the
// classic option scan, which they leave exactly as it was: a command line
// without a known long option goes through ScanOptions alone.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/options.h"
#include "console/progress_display.h"
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
  bool json = false;                  // --json
  std::optional<ProgressMode> progress = {};  // --progress
  bool verifyOnly = false;            // --verify-only
  bool dryRun = false;                // --dry-run
  bool doctor = false;                // --doctor
  std::string remote = {};            // --remote HOST:PORT
  std::string tokenFile = {};         // --token-file FILE
};

enum class Job {
  Version,      // one line, status 0
  Help,         // usage text and the long options, status 0
  List,         // --list
  Read,         // --read FILE
  StatusCheck,  // -u
  Run,          // -d FILE, once or (--watch) again on every change
  VerifyOnly,   // -d FILE --verify-only
  DryRun,       // -d FILE --dry-run
  Doctor,       // --doctor
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

// --remote HOST:PORT and --token-file FILE, when args hold them, go to the
// environment as KAVLEN_REMOTE and KAVLEN_REMOTE_TOKEN_FILE, where the
// driver layer looks for a bridge; to be called before it is first used.
void ExportRemoteOptions(const std::vector<std::string>& args);

// The lines --help prints after the usage text.
void PrintLongOptions(TraceSink& out);

// "0x" and hexadecimal digits, or decimal digits, the whole text, at most
// 0xFFFFFFFF.
std::optional<std::uint32_t> ParseAddress(const std::string& text);

}  // namespace kavlen::console
