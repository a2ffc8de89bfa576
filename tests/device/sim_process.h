#pragma once
// Runs one kavlen-sim process for a test, listening in a private device root
// of its own, and stops it again. The simulator's path comes from the build.

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace kavlen::test {

class SimProcess {
 public:
  // Starts `simPath --dir <private root> <args>` and waits for its
  // "listening on" line; started() is false when it never got there.
  SimProcess(const std::string& simPath, const std::vector<std::string>& args) {
    char pattern[] = "/tmp/kavlen-sim-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    root_ = pattern;
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> argv = {simPath, "--dir", root_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& arg : argv) raw.push_back(arg.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const bool spawned = posix_spawn(&pid_, simPath.c_str(), &actions, nullptr, raw.data(),
                                     environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (!spawned) pid_ = -1;
    std::string line;
    char c = 0;
    while (spawned && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    started_ = line.rfind("listening on", 0) == 0;
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (!root_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(root_, ignored);
    }
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool started() const { return started_; }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  pid_t pid_ = -1;
  bool started_ = false;
};

}  // namespace kavlen::test
