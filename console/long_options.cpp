#include "console/long_options.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace kavlen::console {

namespace {

enum class Takes { Nothing, Value };

struct LongOption {
  const char* name;
  Takes takes;
};

constexpr LongOption kLongOptions[] = {
    {"--format", Takes::Value}, {"--base", Takes::Value},   {"--read", Takes::Value},
    {"--list", Takes::Nothing}, {"--device", Takes::Value}, {"--watch", Takes::Nothing},
    {"--help", Takes::Nothing}, {"--version", Takes::Nothing},
    {"--json", Takes::Nothing}, {"--progress", Takes::Value}, {"--verify-only", Takes::Nothing},
    {"--dry-run", Takes::Nothing}, {"--doctor", Takes::Nothing},
    {"--help", Takes::Nothing}, {"--version", Takes::Nothing}, {"--remote", Takes::Value},
    {"--token-file", Takes::Value},
};

const LongOption* Find(const std::string& arg) {
  for (const LongOption& option : kLongOptions) {
    if (arg == option.name) return &option;
  }
  return nullptr;
}

bool Has(const std::vector<std::string>& args, const char* name) {
  return std::find(args.begin(), args.end(), name) != args.end();
}

CommandLine Stop(TraceSink& out, const std::string& message = {}) {
  if (!message.empty()) out.Print(message);
  PrintUsage(out);
  return {};
}

}  // namespace

std::optional<std::uint32_t> ParseAddress(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (hex ? !std::isxdigit(u) : !std::isdigit(u)) return std::nullopt;
    const int digit = std::isdigit(u) ? c - '0' : std::tolower(u) - 'a' + 10;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

void PrintLongOptions(TraceSink& out) {
  out.Print(" --format bin|ihex|srec  image file format; otherwise by extension:\n"
            "          .hex .ihx .ihex = ihex, .s19 .s28 .s37 .srec .mot = srec, else bin\n");
  out.Print(" --base ADDR    address of the ROM's first byte in ihex and srec files\n"
            "          (decimal or 0x hex; default: lowest address rounded down to the ROM size)\n");
  out.Print(" --read FILE    read the emulator's memory back into FILE\n");
  out.Print(" --list         list the attached emulators\n");
  out.Print(" --device N     use emulator N of --list (default: the last one found)\n");
  out.Print(" --watch        download again whenever the -d file changes; Ctrl-C ends\n");
  out.Print(" --json         JSON lines on standard output instead of the texts\n");
  out.Print(" --progress auto|bar|plain|none  progress on standard error (auto: bar on a terminal)\n");
  out.Print(" --verify-only  with -d: compare the emulator with the file, download nothing\n");
  out.Print(" --dry-run      with -d: check the file and say what a run would send\n");
  out.Print(" --doctor       check the set-up and say what to do about each fault\n");
  out.Print(" --remote HOST:PORT  use the emulators of the kavlen-bridge there\n");
  out.Print(" --token-file FILE   a copy of that bridge's token file\n");
  out.Print(" --help         this text\n");
  out.Print(" --version      the program's version\n");
}

void ExportRemoteOptions(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    const char* name = args[i] == "--remote"       ? "KAVLEN_REMOTE"
                       : args[i] == "--token-file" ? "KAVLEN_REMOTE_TOKEN_FILE"
                                                   : nullptr;
    if (name == nullptr || args[i + 1].empty() || args[i + 1][0] == '-') continue;
#ifdef _WIN32
    _putenv_s(name, args[i + 1].c_str());
#else
    setenv(name, args[i + 1].c_str(), 1);
#endif
  }
}

CommandLine ScanCommandLine(const std::vector<std::string>& args, TraceSink& out) {
  CommandLine line;
  if (Has(args, "--version")) return {Job::Version, {}, {}};
  if (Has(args, "--help")) return {Job::Help, {}, {}};
  if (std::none_of(args.begin(), args.end(), [](const std::string& a) { return Find(a); })) {
    const ScanResult scan = ScanOptions(args, out);
    line.settings = scan.settings;
    line.job = scan.outcome == ScanOutcome::Run           ? Job::Run
               : scan.outcome == ScanOutcome::StatusCheck ? Job::StatusCheck
                                                          : Job::Stop;
    return line;
  }

  // Long options and their values are taken out; what is left is scanned as
  // the letters always were.
  std::vector<std::string> rest;
  LongOptions& more = line.more;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) {
      rest.push_back(arg);
      continue;
    }
    const LongOption* option = Find(arg);
    if (option == nullptr) return Stop(out);
    if (option->takes == Takes::Nothing) {
      more.list = more.list || arg == "--list";
      more.watch = more.watch || arg == "--watch";
      more.json = more.json || arg == "--json";
      more.verifyOnly = more.verifyOnly || arg == "--verify-only";
      more.dryRun = more.dryRun || arg == "--dry-run";
      more.doctor = more.doctor || arg == "--doctor";
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1][0] == '-') {
      return Stop(out, "Miss the value of " + arg + " ...\n");
    }
    const std::string& value = args[++i];
    if (arg == "--format") {
      more.format = ImageFormatNamed(value);
      if (!more.format) return Stop(out, "Unknown format " + value + ", use bin, ihex or srec ...\n");
    } else if (arg == "--base") {
      more.base = ParseAddress(value);
      if (!more.base) return Stop(out, "Bad base address " + value + " ...\n");
    } else if (arg == "--progress") {
      more.progress = ProgressModeNamed(value);
      if (!more.progress) return Stop(out, "Unknown progress " + value + ", use auto, bar, plain or none ...\n");
    } else if (arg == "--remote") {
      more.remote = value;
    } else if (arg == "--token-file") {
      more.tokenFile = value;
    } else if (arg == "--device") {
      const std::optional<std::uint32_t> number =
          value.rfind("0x", 0) == 0 ? std::nullopt : ParseAddress(value);
      if (!number || *number == 0) return Stop(out, "Bad device number " + value + " ...\n");
      more.device = *number;
    } else {
      more.readFile = value;
    }
  }

  const bool read = !more.readFile.empty();
  const int jobs = int{more.list} + int{read} + int{more.doctor} + int{more.verifyOnly} + int{more.dryRun};
  if (jobs > 1) return Stop(out);
  if (more.list || read || more.doctor) {
    // a job of its own: no letters beside it
    if (!rest.empty() || more.watch) return Stop(out);
    line.job = more.list ? Job::List : read ? Job::Read : Job::Doctor;
    return line;
  }
  const ScanResult scan = ScanOptions(rest, out);
  line.settings = scan.settings;
  switch (scan.outcome) {
    case ScanOutcome::Run:
      // a check of the emulator or of the file, once
      if ((more.verifyOnly || more.dryRun) && more.watch) return Stop(out);
      line.job = more.verifyOnly ? Job::VerifyOnly : more.dryRun ? Job::DryRun : Job::Run;
      break;
    case ScanOutcome::StatusCheck:
      if (more.watch || more.verifyOnly || more.dryRun) return Stop(out);
      line.job = Job::StatusCheck;
      break;
    case ScanOutcome::Stop:
      line.job = Job::Stop;
      break;
  }
  return line;
}

}  // namespace kavlen::console
