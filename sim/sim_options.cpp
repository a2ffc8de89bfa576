#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace kavlen::sim {

namespace {

// Decimal, or hexadecimal with 0x; the whole text must be the number.
bool ParseNumber(const std::string& text, std::uint32_t max, std::uint32_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = static_cast<std::uint32_t>(parsed);
  return true;
}

using Setter = std::function<bool(SimOptions&, const std::string&)>;

template <typename T>
Setter Number(T SimOptions::*field, std::uint32_t max) {
  return [field, max](SimOptions& o, const std::string& v) {
    std::uint32_t n = 0;
    if (!ParseNumber(v, max, &n)) return false;
    o.*field = static_cast<T>(n);
    return true;
  };
}

template <typename T>
Setter OptionalNumber(std::optional<T> SimOptions::*field, std::uint32_t max) {
  return [field, max](SimOptions& o, const std::string& v) {
    std::uint32_t n = 0;
    if (!ParseNumber(v, max, &n)) return false;
    o.*field = static_cast<T>(n);
    return true;
  };
}

Setter Text(std::string SimOptions::*field) {
  return [field](SimOptions& o, const std::string& v) {
    if (v.empty()) return false;
    o.*field = v;
    return true;
  };
}

const std::map<std::string, Setter>& ValueOptions() {
  static const std::map<std::string, Setter> options = {
      {"--dir", Text(&SimOptions::dir)},
      {"--name",
       [](SimOptions& o, const std::string& v) {
         // the name is one entry of the class folder, and dot names are not enumerated
         if (v.empty() || v[0] == '.' || v.find_first_of("/\\") != std::string::npos) return false;
         // "<name>.tcp" describes the TCP listener of the simulator <name>
         if (v.size() >= 4 && v.compare(v.size() - 4, 4, ".tcp") == 0) return false;
         o.name = v;
         return true;
       }},
      {"--log", Text(&SimOptions::logPath)},
      {"--dump", Text(&SimOptions::dumpPath)},
      {"--state",
       [](SimOptions& o, const std::string& v) {
         if (v != "boot" && v != "os") return false;
         o.osRunning = v == "os";
         return true;
       }},
      {"--model", Number(&SimOptions::model, 0xFF)},
      {"--version", Number(&SimOptions::version, 0xFF)},
      {"--capacity-mask", Number(&SimOptions::capacityMask, 0xFF)},
      {"--os-checksum", OptionalNumber(&SimOptions::osChecksum, 0xFFFF)},
      {"--boot-reply", OptionalNumber(&SimOptions::bootReply, 0xFF)},
      {"--ready-after", Number(&SimOptions::readyAfter, 0xFFFFFFFF)},
      {"--reset-after", Number(&SimOptions::resetAfter, 0xFFFFFFFF)},
      {"--fail-receive", OptionalNumber(&SimOptions::failReceive, 0xFF)},
      {"--corrupt",  // may be given more than once
       [](SimOptions& o, const std::string& v) {
         std::uint32_t address = 0;
         if (!ParseNumber(v, 0xFFFFFFFF, &address)) return false;
         o.corrupt.push_back(address);
         return true;
       }},
      {"--no-pipe",
       [](SimOptions& o, const std::string& v) {
         if (v != "PIPE00" && v != "PIPE01") return false;
         o.noPipe = v;
         return true;
       }},
      {"--fail-write-block", OptionalNumber(&SimOptions::failWriteBlock, 0xFFFFFFFF)},
      {"--fail-read-block", OptionalNumber(&SimOptions::failReadBlock, 0xFFFFFFFF)},
      {"--short-write-block", OptionalNumber(&SimOptions::shortWriteBlock, 0xFFFFFFFF)},
      {"--short-read-block", OptionalNumber(&SimOptions::shortReadBlock, 0xFFFFFFFF)},
      {"--unplug-after-blocks", OptionalNumber(&SimOptions::unplugAfterBlocks, 0xFFFFFFFF)},
  };
  return options;
}

const std::map<std::string, bool SimOptions::*>& FlagOptions() {
  static const std::map<std::string, bool SimOptions::*> flags = {
      {"--refuse-open", &SimOptions::refuseOpen},
      {"--tcp", &SimOptions::tcp},
      {"--start-os-fails", &SimOptions::startOsFails},
      {"--never-ready", &SimOptions::neverReady},
      {"--reset-never", &SimOptions::resetNever},
  };
  return flags;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const auto flag = FlagOptions().find(arg); flag != FlagOptions().end()) {
      options->*(flag->second) = true;
      continue;
    }
    const auto setter = ValueOptions().find(arg);
    if (setter == ValueOptions().end()) {
      *error = "unknown option " + arg;
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    if (!setter->second(*options, args[++i])) {
      *error = "bad value for " + arg + ": " + args[i];
      return false;
    }
  }
  return true;
}

}  // namespace kavlen::sim
