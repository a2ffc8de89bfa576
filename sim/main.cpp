// kavlen-sim: plays one attached emulator for the programs and their tests.

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kavlen_version.h"
#include "platform/device_root.h"
#include "platform/sim_stream.h"
#include "sim/device_model.h"
#include "sim/event_log.h"
#include "sim/sim_options.h"
#include "sim/sim_server.h"

namespace {

constexpr const char* kUsage =
    "usage: kavlen-sim [--dir DIR] [--name NAME] [--tcp] [--log FILE] [--dump FILE] [--refuse-open]\n"
    "  [--state boot|os] [--model N] [--version 0xMN] [--capacity-mask M] [--os-checksum N]\n"
    "  [--start-os-fails] [--boot-reply BYTE] [--ready-after N] [--never-ready]\n"
    "  [--reset-after N] [--reset-never] [--fail-receive CODE] [--corrupt OFFSET]...\n"
    "  [--no-pipe PIPE00|PIPE01] [--fail-write-block K] [--fail-read-block K]\n"
    "  [--short-write-block K] [--short-read-block K] [--unplug-after-blocks K]\n"
    "--tcp also listens on 127.0.0.1 and writes the port and a token to NAME.tcp.\n"
    "A client that stalls for KAVLEN_TIMEOUT_MS milliseconds (10000) is dropped.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace kavlen::sim;
  signal(SIGPIPE, SIG_IGN);
  // Held back until the server waits for them, so that a stop request right
  // after "listening on" still removes the socket.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // Alone, --version names the program's version; with a value it sets the
  // emulated device's version (a switch below).
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("kavlen-sim %s\n", KAVLEN_VERSION);
    return 0;
  }
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "kavlen-sim: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  EventLog log;
  DeviceModel model(options, log);
  SimServer server(model, kavlen::TransportTimeout());
  const std::string root = options.dir.empty() ? kavlen::DeviceRootDir() : options.dir;
  if (!server.Listen(root, options.name, &error) || (options.tcp && !server.ListenTcp(&error))) {
    std::fprintf(stderr, "kavlen-sim: %s\n", error.c_str());
    return 1;
  }
  // opened once the device root exists, since the log may live in it
  if (!options.logPath.empty() && !log.Open(options.logPath)) {
    std::fprintf(stderr, "kavlen-sim: cannot open log %s\n", options.logPath.c_str());
    return 1;
  }
  std::printf("listening on %s\n", server.socketPath().c_str());
  std::fflush(stdout);
  return server.Run();
}
