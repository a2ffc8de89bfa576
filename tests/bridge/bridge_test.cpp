// kavlen-bridge against clients that misbehave or lose it: tokens, names it
// does not serve, a held emulator, a flood of connections, and the bridge
// killed under a running download or verify.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_lock.h"
#include "platform/remote_driver.h"
#include "platform/sim_driver.h"
#include "platform/sim_stream.h"
#include "platform/wire_codec.h"
#include "tests/console/console_texts.h"
#include "tests/support/bridge_process.h"
#include "tests/support/pattern_bytes.h"
#include "tests/support/process_helpers.h"

namespace kavlen::test {
namespace {

using namespace std::chrono_literals;

const std::string kNotAttached = kUkavlenBanner + "USB Device not Attached !! \n";
const std::string kRefused = "the bridge refused the token\n";

class BridgeTest : public testing::Test {
 protected:
  BridgeTest() : sim_(root_.path(), {"--state", "os"}), bridge_(root_.path()) {}

  std::string Image(std::size_t size) {
    const std::vector<std::uint8_t> bytes = PatternBytes(size);
    return root_.Write("image.bin", bytes);
  }
  RunResult Ukavlen(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    const std::vector<std::string> bridgeEnv = bridge_.ClientEnv();
    env.insert(env.begin(), bridgeEnv.begin(), bridgeEnv.end());
    return RunProgram(UKAVLEN_PATH, args, root_.path(), env);
  }
  std::uint16_t Port() const {
    return static_cast<std::uint16_t>(std::stoi(bridge_.address().substr(bridge_.address().rfind(':') + 1)));
  }

  TempDir root_;
  SimProcess sim_;
  BridgeProcess bridge_;
};

struct TokenCase {
  const char* name;
  std::string token;  // "{right}": the bridge's own
  std::string out;
  int status;
  std::string err;    // "{file}": the copy's path
};

TEST_F(BridgeTest, OnlyTheRightTokenReachesTheEmulator) {
  ASSERT_TRUE(sim_.ready() && bridge_.ready()) << bridge_.Output();
  std::string right;
  std::ifstream(bridge_.tokenFile()) >> right;
  ASSERT_EQ(right.size(), kTokenLength);
  const TokenCase cases[] = {
      {"right token", right + "\n", kUkavlenBanner + "USB Device attached ...\n", 1, ""},
      {"wrong token", std::string(right.rbegin(), right.rend()), kNotAttached, 1, kRefused},
      {"short token", right.substr(1), kNotAttached, 1, kRefused},
      {"token longer than any", right + right + "0", kNotAttached, 1,
       "cannot read the bridge's token file {file}\n" + kRefused},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string copy = root_.Write("copy.token", std::vector<std::uint8_t>(c.token.begin(), c.token.end()));
    const RunResult run = Ukavlen({"-u"}, {"KAVLEN_REMOTE_TOKEN_FILE=" + copy});
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.status, c.status);
    std::string err = c.err;
    ReplaceAll(err, "{file}", copy);
    EXPECT_EQ(run.err, err);
  }
}

struct NameCase {
  const char* name;
  std::string emulator;  // "{sock}": the simulator's path
  std::string pipe;
  std::uint32_t error;   // 0: opened
};

TEST_F(BridgeTest, ClientsOpenOnlyTheEmulatorsItListsAndTheirPipes) {
  ASSERT_TRUE(sim_.ready() && bridge_.ready()) << bridge_.Output();
  const std::string sock = sim_.socketPath();
  const NameCase cases[] = {
      {"by number", "1", "", 0},
      {"by path", "{sock}", "PIPE00", 0},
      {"a file of its choosing", "/etc/passwd", "", kErrorFileNotFound},
      {"a path beside the emulator", "{sock}/../../bridge.token", "", kErrorFileNotFound},
      {"a pipe it has not", "{sock}", "PIPE02", kErrorFileNotFound},
      {"a pipe path", "{sock}", "..\\PIPE00", kErrorFileNotFound},
      {"number past the last", "2", "", kErrorFileNotFound},
      {"number 0", "0", "", kErrorFileNotFound},
  };
  std::string token;
  std::ifstream(bridge_.tokenFile()) >> token;
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string emulator = c.emulator == "{sock}" ? sock : c.emulator;
    const std::string full = c.emulator == "{sock}/../../bridge.token" ? sock + "/../../bridge.token" : emulator;
    unsigned char open[KW_MAX_OPEN_PAYLOAD];
    const std::size_t length =
        KwEncodeOpen(open, sizeof open, full.data(), full.size(), c.pipe.data(), c.pipe.size());
    const Deadline deadline(5000ms);
    bool timedOut = false;
    const SocketFd fd = ConnectTcpTo("127.0.0.1", Port(), deadline, &timedOut);
    ASSERT_NE(fd, kNoSocket);
    KwReply reply{};
    std::uint32_t error = 0, status = 0;
    ASSERT_TRUE(WireExchange(fd, {KW_OP_OPEN, c.pipe.empty() ? kCreateNew : kOpenExisting,
                                  static_cast<std::uint32_t>(length), 0},
                             open, &reply, nullptr, 0, deadline, &error, &token, &status));
    EXPECT_EQ(reply.ok == 1 ? 0u : reply.error, c.error);
    // closed as the driver closes, so that the next open never finds the
    // emulator still locked by a stream whose end the bridge has yet to see
    if (reply.ok == 1) {
      EXPECT_TRUE(WireExchange(fd, {KW_OP_CLOSE, 0, 0, 0}, nullptr, &reply, nullptr, 0, deadline,
                               &error));
    }
    CloseSocket(fd);
  }
}

TEST_F(BridgeTest, SecondClientWaitsForTheFirstThenHearsItIsBusy) {
  ASSERT_TRUE(sim_.ready() && bridge_.ready()) << bridge_.Output();
  const std::string image = Image(65536);
  for (const std::string& entry : bridge_.ClientEnv()) {
    const std::size_t equals = entry.find('=');
    setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);  // copied: nothing leaks
  }
  DeviceLock first = DeviceLock::Acquire(bridge_.address() + ":" + sim_.socketPath(), 0ms);
  ASSERT_TRUE(first.held());
  const auto start = std::chrono::steady_clock::now();
  RunResult second = Ukavlen({"-d", image, "-v"}, {"KAVLEN_LOCK_WAIT_MS=400"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
  EXPECT_EQ(second.out, kUkavlenBanner + "USB Device is in use by another program ...try it again later !\n");
  EXPECT_EQ(second.status, 1);
  // a local run is kept out as well
  const DeviceLock local = DeviceLock::Acquire(sim_.socketPath(), 0ms);
  EXPECT_TRUE(local.busy());
  first.Release();
  second = Ukavlen({"-d", image, "-v"});
  EXPECT_TRUE(second.out.ends_with("Verify OK !!\n")) << second.out;
  unsetenv("KAVLEN_REMOTE");
  unsetenv("KAVLEN_REMOTE_TOKEN_FILE");
}

TEST_F(BridgeTest, AFloodOfConnectionsLeavesAnHonestClientServed) {
  ASSERT_TRUE(sim_.ready() && bridge_.ready()) << bridge_.Output();
  const std::string image = Image(65536);
  std::vector<SocketFd> crowd;
  unsigned char hello[KW_HELLO_SIZE];
  KwEncodeHello(hello, kTokenLength);
  for (int i = 0; i < 60; ++i) {
    bool timedOut = false;
    crowd.push_back(ConnectTcpTo("127.0.0.1", Port(), Deadline(5000ms), &timedOut));
    ASSERT_NE(crowd.back(), kNoSocket);
    // half of them start a hello and stop
    if (i % 2 == 1) SendAll(crowd.back(), hello, sizeof hello, "0", 1, Deadline(5000ms));
  }
  const RunResult run = Ukavlen({"-d", image, "-v"}, {"KAVLEN_TIMEOUT_MS=3000"});
  EXPECT_TRUE(run.out.ends_with("Verify OK !!\n")) << run.out;
  EXPECT_EQ(run.status, 0);
  for (const SocketFd fd : crowd) CloseSocket(fd);
  EXPECT_NE(bridge_.Output().find(": dropped to make room, no hello yet\n"), std::string::npos);
}

struct LineCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;  // its beginning; "{root}": the device folder
  std::string err;
};

TEST(BridgeCommandLineTest, PrintsWhatItServesAndRefusesWhatItCannotUse) {
  TempDir root;
  const std::string open = root.Write("open.token", std::vector<std::uint8_t>(33, '0'));
  chmod(open.c_str(), 0644);
  const LineCase cases[] = {
      {"version", {"--version"}, 0, "kavlen-bridge ", ""},
      {"help", {"--help"}, 0, "usage: kavlen-bridge [--listen ADDR:PORT]", ""},
      {"nothing to list", {"--list"}, 1, "no emulator attached\n", ""},
      {"bad address", {"--listen", "7362"}, 2, "", "kavlen-bridge: --listen takes ADDR:PORT, not 7362\n"},
      {"unknown option", {"--port"}, 2, "", "kavlen-bridge: unknown option --port\n"},
      {"token file open to others", {"--token-file", open}, 1, "",
       "kavlen-bridge: " + open + " is not a file of this user closed to others; refusing it\n"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = RunProgram(KAVLEN_BRIDGE_PATH, c.args, root.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(run.err.empty(), c.err.empty()) << run.err;
  }
  SimProcess sim(root.path(), {});
  EXPECT_EQ(RunProgram(KAVLEN_BRIDGE_PATH, {"--list"}, root.path()).out, "1: " + sim.socketPath() + "\n");
}

TEST(BridgeCommandLineTest, MakesAnOwnerOnlyTokenAndWarnsOffTheLoopback) {
  for (const bool loopback : {true, false}) {
    TempDir root;
    BridgeProcess bridge(root.path(), {"--listen", loopback ? "127.0.0.1:0" : "0.0.0.0:0"});
    ASSERT_TRUE(bridge.ready()) << bridge.Output();
    struct stat st {};
    ASSERT_EQ(stat(bridge.tokenFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string token;
    std::ifstream(bridge.tokenFile()) >> token;
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(token.size(), kTokenLength);
    const std::string second = bridge.Output().substr(bridge.Output().find('\n') + 1);
    EXPECT_EQ(second.rfind("note: the link is not encrypted", 0) == 0, !loopback) << second;
  }
}

struct KillCase {
  const char* name;
  const char* transfer;  // the simulator's log word for the blocks it counts
  int status;
  std::string failure;   // what the run's output holds
  std::string ending;
};

TEST(BridgeKillTest, ABridgeThatGoesAwayIsAnUnpluggedDevice) {
  const KillCase cases[] = {
      {"mid-download", "\"op\":\"write\"", 2, "\nWrite Block ", " Fail! ...\n"},
      {"mid-verify", "\"op\":\"read\"", 3, "\nRead Block ",
       " Fail! ...\nReset Command Fail in Open Device...\n"},
  };
  for (const KillCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir root;
    SimProcess sim(root.path(), {"--state", "os"});
    BridgeProcess bridge(root.path());
    ASSERT_TRUE(sim.ready() && bridge.ready()) << bridge.Output();
    const std::string image = root.Write("image.bin", PatternBytes(4194304));
    std::atomic<bool> killed{false};
    std::thread killer([&] {
      // looked at every millisecond: a download through the bridge takes only a few
      for (int i = 0; i < 10000 && !killed; ++i) {
        int blocks = 0;
        for (const std::string& line : sim.LogLines()) blocks += line.find(c.transfer) != std::string::npos;
        if (blocks >= 8) {
          bridge.Kill();
          killed = true;
        }
        std::this_thread::sleep_for(1ms);
      }
    });
    std::vector<std::string> env = bridge.ClientEnv();
    env.push_back("KAVLEN_TIMEOUT_MS=2000");
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = RunProgram(UKAVLEN_PATH, {"-d", image, "-v"}, root.path(), env);
    killed = true;
    killer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);  // nothing waited past the deadline
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.failure), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with(c.ending)) << run.out;
  }
}

// A program keeps one list stream for all its enumerations; a bridge
// started again on the same address is listed again, not lost for good.
TEST(BridgeRestartTest, ProgramsListTheEmulatorsOfABridgeStartedAgain) {
  TempDir root;
  SimProcess sim(root.path(), {"--state", "os"});
  auto first = std::make_unique<BridgeProcess>(root.path());
  ASSERT_TRUE(sim.ready() && first->ready()) << first->Output();
  const std::string address = first->address(), tokenFile = first->tokenFile();
  const auto driver = MakeRemoteDriver({address, tokenFile}, 2000ms);
  const auto listed = [&] {
    const DevInfoSet set = driver->SetupDiGetClassDevsA(kDeviceInterfaceGuid, kDigcfPresent | kDigcfDeviceInterface);
    DeviceInterfaceData data{};
    data.cbSize = sizeof data;
    const bool one = driver->SetupDiEnumDeviceInterfaces(set, kDeviceInterfaceGuid, 0, &data);
    driver->SetupDiDestroyDeviceInfoList(set);
    return one;
  };
  EXPECT_TRUE(listed());
  EXPECT_TRUE(listed());
  first.reset();
  EXPECT_FALSE(listed());
  BridgeProcess second(root.path(), {"--listen", address, "--token-file", tokenFile});
  ASSERT_TRUE(second.ready()) << second.Output();
  EXPECT_TRUE(listed());
}

}  // namespace
}  // namespace kavlen::test
