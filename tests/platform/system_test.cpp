#include "platform/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

namespace fs = std::filesystem;

TEST(JoinPathTest, UsesTheSlash) {
  EXPECT_EQ(JoinPath("/opt/kavlen", "TPROMOS.USB"), "/opt/kavlen/TPROMOS.USB");
  EXPECT_EQ(JoinPath("", "kavlen.ini"), "/kavlen.ini");
}

TEST(ModuleDirectoryTest, IsTheFolderOfTheRunningProgram) {
  EXPECT_EQ(GetModuleDirectory(), fs::canonical(THIS_TEST_DIR).string());
}

// Program folders of every length, well past the 100 and 256 characters
// where a fixed buffer would cut them.
TEST(ModuleDirectoryTest, LongFoldersComeBackWhole) {
  TempDir base;
  for (const std::size_t length : {40u, 150u, 300u, 1000u}) {
    fs::path dir = base.path();
    while (dir.string().size() < length) dir /= std::string(30, 'p');
    fs::create_directories(dir);
    const fs::path probe = dir / "probe";
    fs::copy_file(PROBE_PATH, probe, fs::copy_options::overwrite_existing);
    const RunResult run = RunProgram(probe.string(), {}, base.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, fs::canonical(dir).string() + "\n") << length;
  }
}

TEST(DebugOutputTest, SeenOnlyWhenAskedFor) {
  TempDir base;
  const RunResult quiet = RunProgram(PROBE_PATH, {}, base.path());
  EXPECT_EQ(quiet.err, "");
  const RunResult loud = RunProgram(PROBE_PATH, {}, base.path(), {"KAVLEN_DEBUG=1"});
  EXPECT_EQ(loud.err, "developer line\n");
}

}  // namespace
}  // namespace kavlen::test
