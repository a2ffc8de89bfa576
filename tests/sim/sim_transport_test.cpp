// How kavlen-sim is reached: its loopback TCP listener and token, the
// deadline on every call of the driver backend, and clients that misbehave.

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim_socket.h"
#include "platform/sim_stream.h"
#include "platform/wire_codec.h"
#include "tests/sim/sim_rig.h"
#include "tests/support/pattern_bytes.h"

namespace kavlen::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kOpenInterface = R"({"op":"open","target":"interface","ok":true})";

TcpEndpoint EndpointOf(const SimProcess& sim) {
  TcpEndpoint endpoint;
  EXPECT_TRUE(ReadTcpEndpoint(sim.socketPath() + ".tcp", &endpoint));
  return endpoint;
}

std::string HelloBytes(const std::string& token, std::uint16_t version = KW_VERSION) {
  unsigned char head[KW_HELLO_SIZE];
  KwEncodeHello(head, static_cast<std::uint32_t>(token.size()));
  KwPutU16(head + 4, version);
  return std::string(reinterpret_cast<const char*>(head), sizeof head) + token;
}

std::string RequestBytes(std::uint32_t op, std::uint32_t code, const std::string& payload,
                         std::uint32_t wanted = 0) {
  unsigned char head[KW_HEADER_SIZE];
  const KwRequest request{op, code, static_cast<std::uint32_t>(payload.size()), wanted};
  KwEncodeRequest(head, &request);
  return std::string(reinterpret_cast<const char*>(head), sizeof head) + payload;
}

// Names as an open carries them, of any length.
std::string OpenPayload(const std::string& emulator, const std::string& pipe) {
  std::string payload;
  for (const std::string& name : {emulator, pipe}) {
    payload += static_cast<char>(name.size() & 0xFF);
    payload += static_cast<char>(name.size() >> 8);
    payload += name;
  }
  return payload;
}

bool SendText(SocketFd fd, const std::string& bytes, const Deadline& deadline) {
  return SendAll(fd, bytes.data(), bytes.size(), nullptr, 0, deadline);
}

// User plus system CPU time of a process so far, in clock ticks.
long CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long user = 0, system = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) user = std::stol(field);
    if (i == 15) system = std::stol(field);
  }
  return user + system;
}

class SimTransportTest : public SimRig {
 protected:
  // The simulator sees closed clients at its next round; within a second
  // the device opens again.
  void ExpectOpensAgain() {
    Handle device = Open();
    for (int retry = 0; retry < 100 && device == kInvalidHandle; ++retry) {
      usleep(10000);
      device = Open();
    }
    EXPECT_NE(device, kInvalidHandle);
    EXPECT_TRUE(api().CloseHandle(device));
  }
};

TEST_F(SimTransportTest, TcpFileHoldsPortAndTokenPrivatelyUntilExit) {
  SimProcess& sim = Start({"--tcp"});
  const std::string file = sim.socketPath() + ".tcp";
  struct stat st {};
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const TcpEndpoint endpoint = EndpointOf(sim);
  EXPECT_EQ(endpoint.token.size(), kTokenLength);
  EXPECT_EQ(endpoint.token.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(EndpointOf(Start({"--tcp"}, "emu1")).token, endpoint.token);
  sim.Stop(SIGTERM);
  EXPECT_NE(lstat(file.c_str(), &st), 0);
}

TEST_F(SimTransportTest, DeviceWithOnlyItsTcpFileIsFoundAndServed) {
  SimProcess& sim = Start({"--tcp", "--state", "os"});
  ASSERT_EQ(unlink(sim.socketPath().c_str()), 0);
  EXPECT_EQ(Enumerate(), Lines{sim.socketPath()});
  const Handle device = Open();
  CommandBlock block = HeadBlock(CMD_BOOT_STATUS);
  EXPECT_TRUE(Head(device, block));
  EXPECT_EQ(block[0], BOOT_STATUS_OS_RUNNING);
  EXPECT_TRUE(api().CloseHandle(device));
  const Handle pipe = Open(kPipeIn);
  EXPECT_NE(pipe, kInvalidHandle);
  EXPECT_TRUE(api().CloseHandle(pipe));
  const Lines log = sim.LogLines();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], kOpenInterface);
  EXPECT_EQ(log[3], R"({"op":"close","target":"interface"})");
  EXPECT_EQ(log[4], R"({"op":"open","target":"PIPE00","ok":true})");
}

// A raw client: its hello and one open request; the hello reply's status
// (or -1 when none came) and whether the open was answered.
struct RawOpen {
  const char* name;
  bool tcp;
  std::string token;  // "{token}": the simulator's
  std::uint16_t version;
  std::string emulator;
  std::string pipe;
  int helloStatus;
  bool served;
};

TEST_F(SimTransportTest, OnlyClientsWithTheTokenAndAShortTargetAreServed) {
  const std::string longName(257, 'P');
  const RawOpen cases[] = {
      {"right token", true, "{token}", KW_VERSION, "emu0", "", KW_HELLO_OK, true},
      {"wrong token", true, "{wrong}", KW_VERSION, "emu0", "", KW_HELLO_TOKEN_REFUSED, false},
      {"short token", true, "{short}", KW_VERSION, "emu0", "", KW_HELLO_TOKEN_REFUSED, false},
      {"token past the limit", true, std::string(65, 'a'), KW_VERSION, "emu0", "", -1, false},
      {"other version", true, "{token}", KW_VERSION + 1, "emu0", "", KW_HELLO_VERSION_REFUSED,
       false},
      {"pipe name", false, "", KW_VERSION, "emu0", "PIPE01", KW_HELLO_OK, true},
      {"another emulator's name", false, "", KW_VERSION, "emu1", "", KW_HELLO_OK, false},
      {"open target longer than any path", false, "", KW_VERSION, "emu0", longName, KW_HELLO_OK,
       false},
  };
  SimProcess& sim = Start({"--tcp"});
  Lines expectedLog;
  for (const RawOpen& c : cases) {
    SCOPED_TRACE(c.name);
    const Deadline deadline(5000ms);
    SocketFd fd = kNoSocket;
    std::string token = c.token;
    const std::string right = EndpointOf(sim).token;
    if (token == "{token}") token = right;
    if (token == "{wrong}") token = std::string(right.rbegin(), right.rend());
    if (token == "{short}") token = right.substr(0, 31);
    if (c.tcp) {
      bool timedOut = false;
      fd = ConnectTcp(EndpointOf(sim), deadline, &timedOut);
    } else {
      fd = ConnectUnixSocket(sim.socketPath(), deadline);
    }
    ASSERT_NE(fd, kNoSocket);
    SendText(fd, HelloBytes(token, c.version) +
                     RequestBytes(KW_OP_OPEN, kOpenExisting, OpenPayload(c.emulator, c.pipe)),
             deadline);
    unsigned char greeting[KW_HELLO_REPLY_SIZE];
    std::uint32_t status = 0, version = 0;
    const bool greeted = RecvAll(fd, greeting, sizeof greeting, deadline);
    KwDecodeHelloReply(greeting, &status, &version);
    EXPECT_EQ(greeted ? static_cast<int>(status) : -1, c.helloStatus);
    EXPECT_EQ(greeted ? version : KW_VERSION, KW_VERSION);
    unsigned char header[KW_HEADER_SIZE];
    KwReply reply{};
    const bool answered = RecvAll(fd, header, sizeof header, deadline) &&
                          KwDecodeReply(header, &reply, 0) != 0;
    EXPECT_EQ(answered && reply.ok == 1, c.served);
    EXPECT_GT(deadline.LeftMs(), 0);  // answered or dropped, never left waiting
    CloseSocket(fd);
    if (c.served) {
      const std::string target = c.pipe.empty() ? "interface" : c.pipe;
      expectedLog.push_back(R"({"op":"open","target":")" + target + R"(","ok":true})");
      expectedLog.push_back(R"({"op":"close","target":")" + target + R"("})");
    }
  }
  sim.Stop(SIGTERM);
  EXPECT_EQ(sim.LogLines(), expectedLog);
}

TEST_F(SimTransportTest, StoppedSimulatorFailsCallsAsAnUnpluggedDevice) {
  for (const bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "tcp" : "unix");
    SimProcess sim(root(), {"--tcp"}, tcp ? "tcp" : "unix");
    ASSERT_TRUE(sim.ready());
    if (tcp) unlink(sim.socketPath().c_str());
    const auto driver = MakeSimDriver(root(), 200ms);
    const Handle device = driver->CreateFileA(sim.socketPath().c_str(), kGenericRead | kGenericWrite,
                                              3, kCreateNew, 0);
    ASSERT_NE(device, kInvalidHandle);
    kill(sim.pid(), SIGSTOP);
    CommandBlock block = HeadBlock(CMD_BOOT_STATUS);
    std::uint32_t count = 0;
    for (int call = 0; call < 2; ++call) {
      EXPECT_FALSE(driver->DeviceIoControl(device, IOCTL_HEAD_SEND, block.data(), 64, block.data(),
                                           64, &count));
      EXPECT_EQ(driver->GetLastError(), kErrorDeviceNotConnected);
    }
    EXPECT_TRUE(driver->CloseHandle(device));
    const std::string pipe = sim.socketPath() + "\\" + kPipeOut;
    EXPECT_EQ(driver->CreateFileA(pipe.c_str(), kGenericRead | kGenericWrite, 3, kOpenExisting, 0),
              kInvalidHandle);
    EXPECT_EQ(driver->GetLastError(), kErrorDeviceNotConnected);
  }
}

// Writes sent ahead of their replies: after the first that fails, none
// reaches the device; a plain write is carried out again, and a close takes
// the replies still owed.
TEST_F(SimTransportTest, PipeRequestsSentAheadStopAtTheFirstThatFails) {
  SimProcess& sim = Start({"--state", "os"});
  const Handle pipe = Open(kPipeOut);
  ASSERT_NE(pipe, kInvalidHandle);
  const std::vector<std::uint8_t> block(kTransferBlockSize, 0x5A);
  const auto writesLogged = [&] {
    const Lines log = sim.LogLines();
    return std::count_if(log.begin(), log.end(),
                         [](const std::string& line) { return line.find(R"("op":"write")") != std::string::npos; });
  };
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(api().BeginWriteFile(pipe, block.data(), kTransferBlockSize));
  for (int k = 0; k < 3; ++k) {
    std::uint32_t written = 7;
    EXPECT_FALSE(api().EndWriteFile(pipe, &written));  // no download is pending
    EXPECT_EQ(api().GetLastError(), kErrorGenFailure);
    EXPECT_EQ(written, 0u);
  }
  EXPECT_EQ(writesLogged(), 1);
  std::uint32_t written = 0;
  EXPECT_FALSE(api().WriteFile(pipe, block.data(), kTransferBlockSize, &written));
  EXPECT_EQ(writesLogged(), 2);
  EXPECT_TRUE(api().BeginWriteFile(pipe, block.data(), kTransferBlockSize));
  EXPECT_TRUE(api().CloseHandle(pipe));
  EXPECT_EQ(sim.LogLines().back(), R"({"op":"close","target":"PIPE01"})");
  EXPECT_EQ(writesLogged(), 2);
}

TEST_F(SimTransportTest, StalledClientsHoldOthersUpNoLongerThanTheirDeadline) {
  setenv("KAVLEN_TIMEOUT_MS", "300", 1);
  SimProcess& sim = Start();
  unsetenv("KAVLEN_TIMEOUT_MS");
  const Deadline deadline(5000ms);
  // half a request header
  const SocketFd half = ConnectUnixSocket(sim.socketPath(), deadline);
  const std::string open = RequestBytes(KW_OP_OPEN, kCreateNew, OpenPayload("emu0", ""));
  ASSERT_TRUE(SendText(half, HelloBytes("") + open.substr(0, KW_HEADER_SIZE / 2), deadline));
  // an open device whose 1 MB replies are never read
  const SocketFd deaf = ConnectUnixSocket(sim.socketPath(), deadline);
  ASSERT_TRUE(SendText(deaf, HelloBytes("") + open, deadline));
  const std::string load =
      RequestBytes(KW_OP_IOCTL, IOCTL_LOAD_DEVICE_OS, std::string(1u << 20, 0x5A), 1u << 20);
  for (int i = 0; i < 3; ++i) SendText(deaf, load, deadline);

  const Handle device = Open();
  EXPECT_NE(device, kInvalidHandle);
  EXPECT_TRUE(api().CloseHandle(device));
  char greeting[KW_HELLO_REPLY_SIZE + 1];
  EXPECT_TRUE(RecvAll(half, greeting, KW_HELLO_REPLY_SIZE, deadline));
  EXPECT_FALSE(RecvAll(half, greeting, 1, deadline));  // dropped
  CloseSocket(half);
  CloseSocket(deaf);
  sim.Stop(SIGTERM);
  const Lines log = sim.LogLines();
  ASSERT_GE(log.size(), 4u);
  // the 1 MB device OS is logged by its first 64 KB and its length
  std::string firstBytes;
  for (int i = 0; i < 65536; ++i) firstBytes += "5a";
  EXPECT_TRUE(log[1] == R"({"op":"ioctl","ioctl":"LOAD_DEVICE_OS","in":")" + firstBytes +
                            R"(","len":1048576,"ok":true})")
      << log[1].substr(0, 80) << " ... " << log[1].size() << " bytes";
  EXPECT_EQ(log[log.size() - 2], kOpenInterface);
}

TEST_F(SimTransportTest, ClientsBeyondTheCapAreTurnedAway) {
  SimProcess& sim = Start();
  std::vector<SocketFd> clients;
  for (int i = 0; i < 40; ++i) {
    clients.push_back(ConnectUnixSocket(sim.socketPath(), Deadline(5000ms)));
    ASSERT_NE(clients.back(), kNoSocket);
  }
  char byte = 0;
  EXPECT_FALSE(RecvAll(clients.back(), &byte, 1, Deadline(5000ms)));
  pollfd first{static_cast<int>(clients.front()), POLLIN, 0};
  EXPECT_EQ(poll(&first, 1, 0), 0);  // still connected
  for (const SocketFd fd : clients) CloseSocket(fd);
  ExpectOpensAgain();  // full until it has seen the closes
}

// TCP clients that send at most the start of their hello and then stall, and
// the honest ukavlen run over TCP that must not wait for them.
struct Crowd {
  const char* name;
  int clients;
  std::size_t helloBytes;
  std::vector<std::string> args;  // "{image}": a 64 KB image
  int status;
  std::string lastLine;
};

TEST_F(SimTransportTest, ClientsWithoutTheWholeTokenNeitherStarveNorStallOthers) {
  const Crowd cases[] = {
      {"more silent connections than slots", 33, 0, {"-u"}, 1, "USB Device attached ...\n"},
      {"one hello byte each", 8, 1, {"-d", "{image}", "-v"}, 0, "Verify OK !!\n"},
      {"the hello without the token's last byte", 8, KW_HELLO_SIZE + kTokenLength - 1,
       {"-d", "{image}", "-v"}, 0, "Verify OK !!\n"},
  };
  const std::string image = root() + "/image.bin";
  const std::vector<std::uint8_t> bytes = PatternBytes(65536);
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 65536);
  for (const Crowd& c : cases) {
    SCOPED_TRACE(c.name);
    // on a loop that waits for each stalled client in turn, eight of them
    // outlast the honest client's deadline
    setenv("KAVLEN_TIMEOUT_MS", "500", 1);
    SimProcess sim(root(), {"--tcp", "--state", "os"});
    unsetenv("KAVLEN_TIMEOUT_MS");
    ASSERT_TRUE(sim.ready());
    unlink(sim.socketPath().c_str());
    const std::string partial = HelloBytes(EndpointOf(sim).token).substr(0, c.helloBytes);
    std::vector<SocketFd> crowd;
    for (int i = 0; i < c.clients; ++i) {
      bool timedOut = false;
      crowd.push_back(ConnectTcp(EndpointOf(sim), Deadline(5000ms), &timedOut));
      ASSERT_NE(crowd.back(), kNoSocket);
      ASSERT_TRUE(SendText(crowd.back(), partial, Deadline(5000ms)));
    }
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
      if (arg == "{image}") arg = image;
    }
    const RunResult run = RunProgram(UKAVLEN_PATH, args, root(), {"KAVLEN_TIMEOUT_MS=2000"});
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.out.ends_with(c.lastLine)) << run.out;
    const Deadline deadline(5000ms);
    char byte = 0;
    EXPECT_FALSE(RecvAll(crowd.back(), &byte, 1, deadline));
    EXPECT_GT(deadline.LeftMs(), 0);  // dropped, not left waiting
    for (const SocketFd fd : crowd) CloseSocket(fd);
  }
}

TEST_F(SimTransportTest, AcceptFailingAtTheDescriptorLimitPausesInsteadOfSpinning) {
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit low = saved;
  low.rlim_cur = 12;  // a few clients past its own descriptors
  setrlimit(RLIMIT_NOFILE, &low);
  SimProcess& sim = Start();
  setrlimit(RLIMIT_NOFILE, &saved);
  std::vector<SocketFd> clients;
  for (int i = 0; i < 16; ++i) clients.push_back(ConnectUnixSocket(sim.socketPath(), Deadline(5000ms)));
  usleep(200000);
  const long before = CpuTicks(sim.pid());
  usleep(1000000);
  // a spinning accept loop burns about 100 ticks a second
  EXPECT_LT(CpuTicks(sim.pid()) - before, 30);
  for (const SocketFd fd : clients) CloseSocket(fd);
  ExpectOpensAgain();
}

}  // namespace
}  // namespace kavlen::test
