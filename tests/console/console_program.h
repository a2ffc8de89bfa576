#pragma once
// The console program a table runs: the native ukavlen, or the Windows
// ukavlen.exe under wine (when KAVLEN_UKAVLEN_EXE names it; scripts/test-wine.sh
// sets it), which reaches its simulators over loopback TCP and is given
// Windows paths (Z:\...) in its arguments and KAVLEN_DEVICE_DIR.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process_helpers.h"

namespace kavlen::test {

struct ConsoleProgram {
  std::string binary;
  bool windows = false;

  static ConsoleProgram Native() { return {UKAVLEN_PATH, false}; }
  static ConsoleProgram Exe() {
    const char* exe = std::getenv("KAVLEN_UKAVLEN_EXE");
    return {exe != nullptr ? exe : "", true};
  }

  std::string FileName() const { return windows ? "ukavlen.exe" : "ukavlen"; }

  // How the program names a path of this machine.
  std::string Path(const std::string& path) const {
    if (!windows) return path;
    std::string mapped = "Z:" + path;
    std::replace(mapped.begin(), mapped.end(), '/', '\\');
    return mapped;
  }

  // The switches a simulator needs to be reachable by this program.
  std::vector<std::string> SimArgs(std::vector<std::string> args) const {
    if (windows) args.push_back("--tcp");
    return args;
  }

  // What starts program with args: the program itself, or the wine wrapper
  // with the program as its first argument.
  std::string Runner(const std::string& program) const {
    return windows ? WINE_RUN_PATH : program;
  }
  std::vector<std::string> RunnerArgs(const std::string& program,
                                      std::vector<std::string> args) const {
    if (windows) args.insert(args.begin(), program);
    return args;
  }

  // A Windows console program ends its lines with CR LF: each line end is
  // checked for its CR, and the text is returned with the CRs taken out.
  std::string Text(const std::string& out) const {
    if (!windows) return out;
    std::string text;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') {
        text += '\n';
        ++i;
        continue;
      }
      EXPECT_NE(out[i], '\n') << "a line end without CR at byte " << i;
      text += out[i];
    }
    return text;
  }

  // Runs program (a copy of binary, or binary itself) against the device
  // root; its output as Text() gives it.
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const std::string& deviceRoot, const std::vector<std::string>& env = {}) const {
    RunResult run = RunProgram(Runner(program), RunnerArgs(program, args), Path(deviceRoot), env);
    run.out = Text(run.out);
    return run;
  }
};

// The rows a table runs for ukavlen.exe: all of them, or none when no
// Windows program is named.
template <typename Row, std::size_t N>
std::vector<Row> ExeRows(const Row (&rows)[N]) {
  if (std::getenv("KAVLEN_UKAVLEN_EXE") == nullptr) return {};
  return {std::begin(rows), std::end(rows)};
}

}  // namespace kavlen::test
