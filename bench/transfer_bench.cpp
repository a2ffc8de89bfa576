// Measures, in one run against one simulator with a 4 MB capacity:
//   1. the transport limit: 256 block writes and 256 block reads of 16 KB
//      through the same platform layer and socket, with no program logic;
//   2. `ukavlen -d <4 MB image> -v` from start to exit;
//   3. the ratio 2 / 1 and ukavlen's CPU time (user + system).
// Each figure is the median of the repetitions (default 7, at least 5).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

#include "median.h"

#include "device/command_block.h"
#include "device/device_link.h"
#include "platform/driver_api.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBlocks = 256;

class NullSink : public kavlen::TraceSink {
 public:
  void Print(std::string_view) override {}
};

bool Announce(kavlen::DeviceLink& link, std::uint8_t code) {
  if (link.OpenDevice() == kavlen::kInvalidHandle) return false;
  kavlen::CommandBlock& block = link.block();
  block.fill(0);
  block[56] = code;
  block[57] = 1;
  block[60] = kBlocks & 0xFF;
  block[61] = kBlocks >> 8;
  std::uint32_t count = 0;
  link.api().DeviceIoControl(link.device(), kavlen::IOCTL_TAIL_SEND, block.data(), 64, block.data(), 64, &count);
  link.api().DeviceIoControl(link.device(), kavlen::IOCTL_TAIL_RECEIVE, block.data(), 64, block.data(), 64, &count);
  link.CloseDevice();
  return true;
}

bool MovePipe(kavlen::DeviceLink& link, const char* pipe, std::vector<std::uint8_t>& buffer, bool write) {
  const kavlen::Handle h = link.OpenPipe(pipe);
  if (h == kavlen::kInvalidHandle) return false;
  bool ok = true;
  for (int k = 0; k < kBlocks && ok; ++k) {
    std::uint8_t* block = buffer.data() + static_cast<std::size_t>(k) * kavlen::kTransferBlockSize;
    std::uint32_t count = 0;
    ok = write ? link.api().WriteFile(h, block, kavlen::kTransferBlockSize, &count)
               : link.api().ReadFile(h, block, kavlen::kTransferBlockSize, &count);
    ok = ok && count == kavlen::kTransferBlockSize;
  }
  link.api().CloseHandle(h);
  return ok;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One round trip of the raw transport; seconds, or a negative value on failure.
double TransportOnce(std::vector<std::uint8_t>& image) {
  NullSink sink;
  kavlen::DeviceLink link(kavlen::SystemDriver(), sink, kavlen::Flavour::Console);
  const auto start = Clock::now();
  const bool ok = Announce(link, kavlen::CMD_DOWNLOAD) && MovePipe(link, kavlen::kPipeOut, image, true) &&
                  Announce(link, kavlen::CMD_UPLOAD) && MovePipe(link, kavlen::kPipeIn, image, false);
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  return ok ? elapsed.count() : -1.0;
}

struct ChildRun {
  double seconds = -1;
  double cpuSeconds = -1;
  int status = -1;
};

// Spawned without copying this process (posix_spawn), so that only ukavlen's
// own start-up is measured; its output goes to /dev/null.
ChildRun RunUkavlen(std::vector<std::string> args) {
  ChildRun run;
  args.insert(args.begin(), "ukavlen");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, KAVLEN_UKAVLEN_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) return run;
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  run.seconds = elapsed.count();
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

pid_t StartSimulator(const std::string& devices, const std::string& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(127);
    execl(KAVLEN_SIM_PATH, "kavlen-sim", "--dir", devices.c_str(), "--state", "os", "--capacity-mask", "0x3F",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(out);
    std::string line;
    if (std::getline(in, line) && line.rfind("listening on", 0) == 0) return pid;
    usleep(20000);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = std::max(5, argc > 1 ? std::atoi(argv[1]) : 7);
  char pattern[] = "/tmp/kavlen-bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string work = pattern;
  const std::string devices = work + "/devices";
  const std::string imagePath = work + "/image.bin";

  std::vector<std::uint8_t> image(static_cast<std::size_t>(kBlocks) * kavlen::kTransferBlockSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 131 + (i >> 14));
  std::ofstream(imagePath, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                   static_cast<std::streamsize>(image.size()));

  const pid_t sim = StartSimulator(devices, work + "/sim.out");
  if (sim < 0) {
    std::fprintf(stderr, "transfer_bench: the simulator did not start\n");
    return 1;
  }
  setenv("KAVLEN_DEVICE_DIR", devices.c_str(), 1);

  // Besides the three figures: ukavlen -u (start-up, one open, exit) and the
  // download alone, to show where the time beyond the transport goes.
  std::vector<double> transport, transportCpu, whole, cpu, startup, startupCpu, download, downloadCpu;
  bool failed = false;
  for (int r = 0; r < reps && !failed; ++r) {
    const double cpuBefore = CpuSeconds();
    const double t = TransportOnce(image);
    transportCpu.push_back(CpuSeconds() - cpuBefore);
    const ChildRun run = RunUkavlen({"-d", imagePath, "-v"});
    const ChildRun status = RunUkavlen({"-u"});
    const ChildRun down = RunUkavlen({"-d", imagePath});
    failed = t < 0 || run.status != 0 || status.status != 1 || down.status != 0;
    transport.push_back(t);
    whole.push_back(run.seconds);
    cpu.push_back(run.cpuSeconds);
    startup.push_back(status.seconds);
    startupCpu.push_back(status.cpuSeconds);
    download.push_back(down.seconds);
    downloadCpu.push_back(down.cpuSeconds);
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  if (failed) {
    std::fprintf(stderr, "transfer_bench: a run failed (transport or ukavlen exit status)\n");
    return 1;
  }

  const double t1 = Median(transport), t2 = Median(whole), c2 = Median(cpu);
  const double megabytes = 2.0 * static_cast<double>(image.size()) / 1e6;
  std::printf("medians over %d repetitions, %.1f MB moved per run (4 MB down, 4 MB back)\n", reps, megabytes);
  std::printf("1. transport limit (256 writes + 256 reads of 16 KB): %8.2f ms  (%.0f MB/s)\n", t1 * 1e3,
              megabytes / t1);
  std::printf("   its CPU time (user + system):                     %8.2f ms\n", Median(transportCpu) * 1e3);
  std::printf("2. ukavlen -d <4 MB image> -v, start to exit:        %8.2f ms\n", t2 * 1e3);
  std::printf("3. ratio 2 / 1:                                      %8.2f   (target <= 1.3)\n", t2 / t1);
  std::printf("   ukavlen CPU time (user + system):                 %8.2f ms  (target <= 8 ms)\n", c2 * 1e3);
  std::printf("   ukavlen -u (start-up, one open, exit):             %8.2f ms, CPU %.2f ms\n",
              Median(startup) * 1e3, Median(startupCpu) * 1e3);
  std::printf("   ukavlen -d <4 MB image> (no verify):               %8.2f ms, CPU %.2f ms\n",
              Median(download) * 1e3, Median(downloadCpu) * 1e3);
  std::printf("   USB 2.0 high-speed bulk limit for the same bytes: %8.2f ms\n", megabytes / 53.248 * 1e3);
  return 0;
}
