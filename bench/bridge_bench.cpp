// `ukavlen -d <4 MB image> -v` against a local simulator and, in the same
// run, against the same simulator through a kavlen-bridge on loopback and
// through it across a link that holds each byte 0.1 ms each way, each
// repetition one of each in turn; prints the medians and their ratios.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "delay_link.h"
#include "median.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each way of the link of line 4: a network with a switch or two between.
constexpr int kOneWayUs = 100;

// Seconds from spawn to exit, or a negative value when it failed.
double Run(const char* path, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, path, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Starts a server whose first line is "listening on X"; X, or "" when it did not start.
std::string Start(const char* path, std::vector<std::string> args, const std::string& out, pid_t* pid) {
  *pid = fork();
  if (*pid == 0) {
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(127);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(path, argv.data());
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(out);
    std::string line;
    if (std::getline(in, line) && line.rfind("listening on ", 0) == 0) return line.substr(13);
    usleep(20000);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = std::max(5, argc > 1 ? std::atoi(argv[1]) : 7);
  char pattern[] = "/tmp/kavlen-bridge-bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string work = pattern;
  const std::string devices = work + "/devices";
  const std::string image = work + "/image.bin";
  std::vector<char> bytes(4u << 20);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 14));
  std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  pid_t sim = -1, bridge = -1;
  setenv("KAVLEN_DEVICE_DIR", devices.c_str(), 1);
  const bool simUp =
      !Start(KAVLEN_SIM_PATH, {"kavlen-sim", "--dir", devices, "--state", "os"}, work + "/sim.out", &sim).empty();
  const std::string address =
      simUp ? Start(KAVLEN_BRIDGE_PATH,
                    {"kavlen-bridge", "--listen", "127.0.0.1:0", "--token-file", work + "/token"},
                    work + "/bridge.out", &bridge)
            : std::string();
  const std::uint16_t bridgePort =
      address.empty() ? 0 : static_cast<std::uint16_t>(std::atoi(address.c_str() + address.rfind(':') + 1));
  const DelayLink link(bridgePort, std::chrono::microseconds(kOneWayUs));
  const std::string linked = "127.0.0.1:" + std::to_string(link.port());
  const auto viaBridge = [&](const std::string& at) {
    setenv("KAVLEN_REMOTE", at.c_str(), 1);
    setenv("KAVLEN_REMOTE_TOKEN_FILE", (work + "/token").c_str(), 1);
    const double seconds = Run(KAVLEN_UKAVLEN_PATH, {"ukavlen", "-d", image, "-v"});
    unsetenv("KAVLEN_REMOTE");
    unsetenv("KAVLEN_REMOTE_TOKEN_FILE");
    return seconds;
  };
  std::vector<double> local, remote, far;
  bool failed = address.empty() || link.port() == 0;
  for (int r = 0; r < reps && !failed; ++r) {
    local.push_back(Run(KAVLEN_UKAVLEN_PATH, {"ukavlen", "-d", image, "-v"}));
    remote.push_back(viaBridge(address));
    far.push_back(viaBridge(linked));
    failed = local.back() < 0 || remote.back() < 0 || far.back() < 0;
  }
  for (const pid_t pid : {bridge, sim}) {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  if (failed) {
    std::fprintf(stderr, "bridge_bench: a server did not start or a run failed\n");
    return 1;
  }
  const double l = Median(local), b = Median(remote), f = Median(far);
  std::printf("medians over %d repetitions of ukavlen -d <4 MB image> -v\n", reps);
  std::printf("1. local simulator:                         %8.2f ms\n", l * 1e3);
  std::printf("2. the same through kavlen-bridge (loopback): %6.2f ms\n", b * 1e3);
  std::printf("3. ratio 2 / 1:                             %8.2f   (target <= 1.3)\n", b / l);
  std::printf("4. through the bridge, %.1f ms round trip:    %8.2f ms (ratio to 1: %.2f)\n",
              2 * kOneWayUs / 1000.0, f * 1e3, f / l);
  return 0;
}
