#include "tests/support/process_helpers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kavlen::test {

namespace {

constexpr int kTimeoutMs = 20000;

std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Reads fds until all reach end of file or the time runs out.
void Drain(std::vector<int> fds, std::vector<std::string*> into, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    std::vector<pollfd> polls;
    for (const int fd : fds) {
      if (fd >= 0) polls.push_back({fd, POLLIN, 0});
    }
    if (polls.empty()) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(polls.data(), polls.size(), static_cast<int>(left.count())) <= 0) {
      for (const int fd : fds) {
        if (fd >= 0) close(fd);
      }
      return;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i] < 0) continue;
      char buffer[4096];
      pollfd check{fds[i], POLLIN, 0};
      if (poll(&check, 1, 0) <= 0) continue;
      const ssize_t got = read(fds[i], buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i]);
        fds[i] = -1;
      } else {
        into[i]->append(buffer, static_cast<std::size_t>(got));
      }
    }
  }
}

int ExitStatus(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavlen-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  if (path_.empty()) return {};
  const std::string file = path_ + "/" + name;
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? file : std::string();
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SimProcess::SimProcess(const std::string& root, std::vector<std::string> extraArgs,
                       const std::string& name)
    : logPath_(root + "/" + name + ".log") {
  std::vector<std::string> args = {"--dir", root, "--name", name, "--log", logPath_};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  const std::string program = KAVLEN_SIM_PATH;
  const std::vector<char*> argv = Argv(program, args);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  // read up to the first line, which says where it listens
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (output_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd check{out[0], POLLIN, 0};
    if (poll(&check, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(out[0], buffer, sizeof buffer);
    if (got <= 0) break;
    output_.append(buffer, static_cast<std::size_t>(got));
  }
  close(out[0]);
  const std::string prefix = "listening on ";
  if (output_.rfind(prefix, 0) == 0 && output_.find('\n') != std::string::npos) {
    socketPath_ = output_.substr(prefix.size(), output_.find('\n') - prefix.size());
  }
}

SimProcess::~SimProcess() { Stop(SIGKILL); }

int SimProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  return Wait();
}

int SimProcess::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return status;
}

std::vector<std::string> SimProcess::LogLines() const {
  std::vector<std::string> lines;
  std::ifstream log(logPath_);
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& deviceDir, const std::vector<std::string>& extraEnv) {
  RunResult result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  const std::vector<char*> argv = Argv(program, args);
  const std::string env = "KAVLEN_DEVICE_DIR=" + deviceDir;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (deviceDir.empty()) {
      unsetenv("KAVLEN_DEVICE_DIR");
    } else {
      putenv(const_cast<char*>(env.c_str()));
    }
    unsetenv("KAVLEN_DEBUG");
    for (const std::string& entry : extraEnv) putenv(const_cast<char*>(entry.c_str()));
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Drain({out[0], err[0]}, {&result.out, &result.err}, kTimeoutMs);
  if (pid <= 0) return result;
  // a program that does not finish in time is killed, and the test sees -1
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return result;
    }
    usleep(1000);
  }
  result.status = ExitStatus(status);
  return result;
}

}  // namespace kavlen::test
