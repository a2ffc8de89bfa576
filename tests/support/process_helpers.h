#pragma once
// Running the real programs from tests: a private temporary device root, a
// kavlen-sim process that is always killed and reaped, and one-shot runs of a
// program with its output captured.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kavlen::test {

// mkdtemp folder (mode 0700), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes bytes to name (which may hold a subfolder that exists) inside the
  // folder; returns the file's path, or "" when it could not be written.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// One kavlen-sim process (the one this build made) in root; started by the
// constructor, which waits for its "listening on" line. The destructor stops
// it even when a test failed.
class SimProcess {
 public:
  SimProcess(const std::string& root, std::vector<std::string> extraArgs,
             const std::string& name = "emu0");
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ready() const { return !socketPath_.empty(); }
  const std::string& socketPath() const { return socketPath_; }
  const std::string& logPath() const { return logPath_; }
  // What the simulator printed before it listened or exited (its complaint).
  const std::string& output() const { return output_; }
  pid_t pid() const { return pid_; }
  std::vector<std::string> LogLines() const;
  // SIGTERM (or SIGKILL) and reap; returns the wait status or -1 if gone.
  int Stop(int signal);
  // Waits for the process to end by itself; returns its wait status.
  int Wait();

 private:
  pid_t pid_ = -1;
  std::string socketPath_;
  std::string logPath_;
  std::string output_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs program with args, KAVLEN_DEVICE_DIR=deviceDir (none when empty)
// and the NAME=value entries of extraEnv, output captured.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& deviceDir, const std::vector<std::string>& extraEnv = {});

}  // namespace kavlen::test
