#include "bridge/bridge_options.h"

#include <cstdlib>

#include "platform/settings_location.h"
#include "platform/sim_stream.h"

namespace kavlen::bridge {

bool ParseBridgeOptions(const std::vector<std::string>& args, BridgeOptions* options,
                        std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--list") {
      options->list = true;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--listen" || arg == "--token-file") {
      if (!hasValue || args[i + 1].empty()) {
        *error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--token-file") {
        options->tokenFile = value;
      } else {
        // port 0: one the system picks
        const bool zero = value.size() > 2 && value.compare(value.size() - 2, 2, ":0") == 0;
        std::string host;
        std::uint16_t port = 0;
        if (!SplitHostPort(zero ? value.substr(0, value.size() - 2) + ":1" : value, &host, &port)) {
          *error = "--listen takes ADDR:PORT, not " + value;
          return false;
        }
        options->host = host;
        options->port = zero ? 0 : port;
        options->listenGiven = true;
      }
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

std::string DefaultTokenFile() {
#ifdef _WIN32
  const char* local = std::getenv("LOCALAPPDATA");
  if (local == nullptr || *local == '\0') return {};
  return std::string(local) + "\\kavlen\\bridge.token";
#else
  const std::string dir = UserConfigDir();
  return dir.empty() ? std::string() : dir + "/bridge.token";
#endif
}

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

}  // namespace kavlen::bridge
