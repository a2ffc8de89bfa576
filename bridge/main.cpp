// kavlen-bridge: serves the emulators attached to this machine to programs
// on others, over TCP, through the machine's own driver calls.

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "bridge/bridge_options.h"
#include "bridge/bridge_server.h"
#include "device/device_link.h"
#include "device/trace_sink.h"
#include "kavlen_version.h"
#include "platform/driver_api.h"
#include "platform/sim_stream.h"
#include "platform/token_file.h"

namespace {

constexpr const char* kUsage =
    "usage: kavlen-bridge [--listen ADDR:PORT] [--token-file FILE] [--list] [--version] [--help]\n"
    "Serves this machine's emulators to kavlen and ukavlen elsewhere (KAVLEN_REMOTE=HOST:PORT).\n"
    "  --listen ADDR:PORT  where to listen (127.0.0.1:7362; port 0: one the system picks)\n"
    "  --token-file FILE   the token clients must show, made when missing\n"
    "  --list              print the emulators it would serve and exit\n"
    "A client that stalls for KAVLEN_TIMEOUT_MS milliseconds (10000) is dropped.\n";

std::atomic<bool> gStopping{false};

void OnStop(int) { gStopping = true; }

class StdoutSink final : public kavlen::TraceSink {
 public:
  void Print(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

int ListServed(kavlen::DriverApi& api) {
  StdoutSink sink;
  kavlen::DeviceLink link(api, sink, kavlen::Flavour::Console);
  const std::vector<std::string> paths = link.EmulatorPaths();
  for (std::size_t i = 0; i < paths.size(); ++i) std::printf("%zu: %s\n", i + 1, paths[i].c_str());
  if (paths.empty()) std::printf("no emulator attached\n");
  return paths.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kavlen;
  bridge::BridgeOptions options;
  std::string error;
  if (!bridge::ParseBridgeOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "kavlen-bridge: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("kavlen-bridge %s\n", KAVLEN_VERSION);
    return 0;
  }
  DriverApi& api = SystemDriver();
  if (options.list) return ListServed(api);

  const std::string tokenFile =
      options.tokenFile.empty() ? bridge::DefaultTokenFile() : options.tokenFile;
  std::string token;
  if (tokenFile.empty()) {
    std::fprintf(stderr, "kavlen-bridge: no folder for the token file; name one with --token-file\n");
    return 1;
  }
  if (!LoadOrCreateToken(tokenFile, &token, &error)) {
    std::fprintf(stderr, "kavlen-bridge: %s\n", error.c_str());
    return 1;
  }
#ifndef _WIN32
  signal(SIGPIPE, SIG_IGN);
#endif
  signal(SIGINT, OnStop);
  signal(SIGTERM, OnStop);
  bridge::BridgeServer server(api, token, TransportTimeout());
  if (!server.Listen(options.host, options.port, &error)) {
    std::fprintf(stderr, "kavlen-bridge: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on %s\n", server.address().c_str());
  if (!bridge::IsLoopbackHost(options.host)) {
    std::printf(
        "note: the link is not encrypted; across an untrusted network listen on 127.0.0.1 and "
        "reach it with ssh -L PORT:127.0.0.1:PORT\n");
  }
  std::printf("token in %s\n", tokenFile.c_str());
  std::fflush(stdout);
  server.Run(gStopping, stdout);
  return 0;
}
