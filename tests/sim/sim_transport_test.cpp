// How kavlen-sim is reached: its loopback TCP listener and token, the
// deadline on every call of the driver backend, and clients that misbehave.

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim_socket.h"
#include "platform/sim_stream.h"
#include "platform/sim_wire.h"
#include "tests/sim/sim_rig.h"

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

// A raw client: the token (over TCP) and one open request; whether a reply came.
struct RawOpen {
  const char* name;
  bool tcp;
  bool rightToken;
  std::string target;
  bool served;
};

TEST_F(SimTransportTest, OnlyClientsWithTheTokenAndAShortTargetAreServed) {
  const RawOpen cases[] = {
      {"right token", true, true, "", true},
      {"wrong token", true, false, "", false},
      {"pipe name", false, true, "PIPE01", true},
      {"open target longer than any path", false, true, std::string(257, 'P'), false},
  };
  SimProcess& sim = Start({"--tcp"});
  Lines expectedLog;
  for (const RawOpen& c : cases) {
    SCOPED_TRACE(c.name);
    const Deadline deadline(5000ms);
    SocketFd fd = kNoSocket;
    if (c.tcp) {
      TcpEndpoint endpoint = EndpointOf(sim);
      if (!c.rightToken) endpoint.token[5] = endpoint.token[5] == '0' ? '1' : '0';
      bool timedOut = false;
      fd = ConnectTcp(endpoint, deadline, &timedOut);
    } else {
      fd = ConnectUnixSocket(sim.socketPath(), deadline);
    }
    ASSERT_NE(fd, kNoSocket);
    const wire::Request open{wire::kOpen, kOpenExisting, static_cast<std::uint32_t>(c.target.size()), 0};
    SendAll(fd, &open, sizeof open, c.target.data(), c.target.size(), deadline);
    wire::Reply reply{};
    EXPECT_EQ(RecvAll(fd, &reply, sizeof reply, deadline), c.served);
    EXPECT_GT(deadline.LeftMs(), 0);  // answered or dropped, never left waiting
    CloseSocket(fd);
    if (c.served) {
      const std::string target = c.target.empty() ? "interface" : c.target;
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

TEST_F(SimTransportTest, StalledClientsHoldOthersUpNoLongerThanTheirDeadline) {
  setenv("KAVLEN_TIMEOUT_MS", "300", 1);
  SimProcess& sim = Start();
  unsetenv("KAVLEN_TIMEOUT_MS");
  const Deadline deadline(5000ms);
  // half a request header
  const SocketFd half = ConnectUnixSocket(sim.socketPath(), deadline);
  const wire::Request open{wire::kOpen, kCreateNew, 0, 0};
  ASSERT_TRUE(SendAll(half, &open, sizeof open / 2, nullptr, 0, deadline));
  // an open device whose 1 MB replies are never read
  const SocketFd deaf = ConnectUnixSocket(sim.socketPath(), deadline);
  ASSERT_TRUE(SendAll(deaf, &open, sizeof open, nullptr, 0, deadline));
  const std::vector<std::uint8_t> os(1u << 20, 0x5A);
  const wire::Request load{wire::kIoctl, IOCTL_LOAD_DEVICE_OS, 1u << 20, 1u << 20};
  for (int i = 0; i < 3; ++i) SendAll(deaf, &load, sizeof load, os.data(), os.size(), deadline);

  const Handle device = Open();
  EXPECT_NE(device, kInvalidHandle);
  EXPECT_TRUE(api().CloseHandle(device));
  char byte = 0;
  EXPECT_FALSE(RecvAll(half, &byte, 1, deadline));  // dropped
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
