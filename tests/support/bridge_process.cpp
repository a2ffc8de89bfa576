#include "tests/support/bridge_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace kavlen::test {

namespace {

std::string WindowsPath(const std::string& path) {
  std::string mapped = "Z:" + path;
  std::replace(mapped.begin(), mapped.end(), '/', '\\');
  return mapped;
}

}  // namespace

BridgeProcess::BridgeProcess(const std::string& root, std::vector<std::string> extraArgs,
                             std::vector<std::string> extraEnv, const std::string& exe)
    : tokenFile_(root + "/bridge.token"), outPath_(root + "/bridge.out." + std::to_string(getpid())) {
  const auto path = [&exe](const std::string& p) { return exe.empty() ? p : WindowsPath(p); };
  std::vector<std::string> args = {KAVLEN_BRIDGE_PATH, "--listen", "127.0.0.1:0"};
  if (!exe.empty()) {
    // as scripts/wine-run.sh finds it
    const char* wine = access("/usr/lib/wine/wine64", X_OK) == 0 ? "/usr/lib/wine/wine64" : "wine64";
    args = {"/usr/bin/env", "WINEDEBUG=-all", wine, exe, "--listen", "127.0.0.1:0"};
  }
  bool tokenGiven = false;
  for (std::size_t i = 0; i + 1 < extraArgs.size(); ++i) {
    if (extraArgs[i] == "--token-file") {
      tokenGiven = true;
      tokenFile_ = extraArgs[i + 1];
    }
  }
  if (!tokenGiven) args.insert(args.end(), {"--token-file", path(tokenFile_)});
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  extraEnv.push_back("KAVLEN_DEVICE_DIR=" + path(root));
  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int none = open("/dev/null", O_RDONLY);
    dup2(none, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    for (const std::string& entry : extraEnv) putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  const std::string prefix = "listening on ";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < until) {
    const std::string out = Output();
    const std::size_t end = out.find('\n');
    if (end != std::string::npos) {
      // a Windows program ends its line with CR LF
      const std::size_t cut = end > 0 && out[end - 1] == '\r' ? end - 1 : end;
      if (out.rfind(prefix, 0) == 0) address_ = out.substr(prefix.size(), cut - prefix.size());
      break;
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

BridgeProcess::~BridgeProcess() {
  Kill();
  unlink(outPath_.c_str());
}

std::string BridgeProcess::Output() const {
  std::ifstream in(outPath_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BridgeProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace kavlen::test
