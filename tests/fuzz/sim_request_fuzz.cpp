// The simulator's request handling, fed any bytes over socket pairs. The
// first input byte picks the set-up (bit 0: TCP clients that owe the token
// first, bit 1: the device that started with its OS running, 0x80 alone
// with those bits: each client stalls after its last byte instead of
// closing; a stall costs a whole deadline, so few first bytes ask for it).
// The rest is what the clients send, one after another, parted by
// "NEXTCLIENT". For each client a helper thread sends its bytes and collects
// the replies while the connection serves one request at a time.
// As in the simulator, one device serves every client in turn (a fresh 8 MB
// device per input would be nearly all of the time spent): a finding may
// need the inputs run before it, so rerun it with the corpus it came from.
// Properties: no crash, leak or undefined behaviour; every request returns
// within the client deadline; each request served got exactly one reply,
// well formed for its operation.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/sim_stream.h"
#include "platform/sim_wire.h"
#include "sim/client_connection.h"
#include "sim/device_model.h"
#include "sim/event_log.h"
#include "sim/sim_options.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

constexpr std::chrono::milliseconds kClientTimeout{5};
// Room for the work one request does once its bytes are in, under sanitizers.
constexpr std::chrono::milliseconds kWorkAllowance{2000};
const std::string kToken = "0123456789abcdef0123456789abcdef";
// Parts the input into clients served one after another.
constexpr std::string_view kNextClient = "NEXTCLIENT";

// The client's side: sends `sent`, reads every reply byte until the server
// closes. A stalling client keeps its sending side open.
void RunClient(int fd, const std::uint8_t* sent, std::size_t size, bool stall,
               std::vector<std::uint8_t>* received) {
  std::size_t done = 0;
  bool sending = size > 0;
  if (!sending && !stall) shutdown(fd, SHUT_WR);
  for (;;) {
    pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    if (poll(&p, 1, -1) < 0) return;
    if (sending && (p.revents & POLLOUT)) {
      const ssize_t n = send(fd, sent + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN) sending = false;
      if (done == size) {
        sending = false;
        if (!stall) shutdown(fd, SHUT_WR);
      }
    }
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      std::uint8_t buffer[65536];
      const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) return;
      if (n > 0) received->insert(received->end(), buffer, buffer + n);
    }
  }
}

// The requests the server must have read, in order, from what the client sent.
std::vector<kavlen::wire::Request> SentRequests(const std::uint8_t* sent, std::size_t size,
                                                bool token) {
  std::vector<kavlen::wire::Request> requests;
  std::size_t at = token ? kavlen::kTokenLength : 0;
  while (size >= at && size - at >= sizeof(kavlen::wire::Request)) {
    kavlen::wire::Request request;
    std::memcpy(&request, sent + at, sizeof request);
    requests.push_back(request);
    at += sizeof request;
    if (request.length > size - at) break;
    at += request.length;
  }
  return requests;
}

void CheckReply(const kavlen::wire::Request& request, const kavlen::wire::Reply& reply) {
  using namespace kavlen::wire;
  FUZZ_REQUIRE(reply.ok == 0 || reply.ok == 1);
  if (reply.ok == 0) FUZZ_REQUIRE(reply.length == 0 && reply.error != 0);
  switch (request.op) {
    case kOpen:
      FUZZ_REQUIRE(reply.length == 0);
      break;
    case kClose:
      FUZZ_REQUIRE(reply.ok == 1 && reply.length == 0);
      break;
    case kIoctl:
      FUZZ_REQUIRE(reply.length <= request.wanted);
      if (reply.ok == 1) FUZZ_REQUIRE(reply.count == reply.length);
      break;
    case kWrite:
      FUZZ_REQUIRE(reply.length == 0 && reply.count <= request.length);
      break;
    case kRead:
      FUZZ_REQUIRE(reply.count <= request.wanted);
      FUZZ_REQUIRE(reply.length == (reply.ok == 1 ? reply.count : 0));
      break;
    default:
      FUZZ_REQUIRE(!"a reply to an unknown operation");
  }
}

kavlen::sim::DeviceModel& Device(bool osRunning) {
  static kavlen::sim::EventLog log;
  static const auto options = [](bool running) {
    kavlen::sim::SimOptions o;
    o.osRunning = running;
    return o;
  };
  static const kavlen::sim::SimOptions bootCodeOptions = options(false), osOptions = options(true);
  static kavlen::sim::DeviceModel bootCode(bootCodeOptions, log), os(osOptions, log);
  return osRunning ? os : bootCode;
}

// One client sends `sent` and is served until it goes away or fails.
void ServeClient(kavlen::sim::DeviceModel& model, bool tcp, bool stall, const std::uint8_t* sent,
                 std::size_t sentSize) {
  using namespace kavlen;

  int pair[2];
  FUZZ_REQUIRE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
  SetNonBlocking(pair[0]);
  std::vector<std::uint8_t> received;
  std::thread client(RunClient, pair[1], sent, sentSize, stall, &received);

  sim::ClientConnection connection(pair[0], model, tcp ? &kToken : nullptr);
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> out;
  std::size_t served = 0;
  bool tokenOwed = tcp;
  for (;;) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = connection.Serve(Deadline(kClientTimeout), payload, out);
    FUZZ_REQUIRE(std::chrono::steady_clock::now() - start < kClientTimeout + kWorkAllowance);
    if (!ok) break;
    if (tokenOwed) {
      FUZZ_REQUIRE(sentSize >= kTokenLength && std::memcmp(sent, kToken.data(), kTokenLength) == 0);
      tokenOwed = false;
    } else {
      ++served;
    }
  }
  connection.Close();
  client.join();
  close(pair[1]);

  const std::vector<wire::Request> requests = SentRequests(sent, sentSize, tcp);
  FUZZ_REQUIRE(served <= requests.size());
  std::size_t at = 0;
  for (std::size_t i = 0; i < served; ++i) {
    wire::Reply reply;
    FUZZ_REQUIRE(received.size() - at >= sizeof reply);
    std::memcpy(&reply, received.data() + at, sizeof reply);
    CheckReply(requests[i], reply);
    at += sizeof reply;
    FUZZ_REQUIRE(received.size() - at >= reply.length);
    if (requests[i].op == wire::kIoctl && reply.ok == 1 && requests[i].code == IOCTL_LOAD_DEVICE_OS) {
      // the device OS load echoes what it was given
      FUZZ_REQUIRE(reply.length <= requests[i].length);
    }
    at += reply.length;
  }
  // Past the replies of the requests served: at most the start of one more,
  // cut when the client's deadline passed.
  FUZZ_REQUIRE(received.size() - at < sizeof(wire::Reply) + wire::kMaxPayload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool tcp = (data[0] & 1) != 0;
  const bool stall = (data[0] & 0xFC) == 0x80;
  kavlen::sim::DeviceModel& model = (data[0] & 2) != 0 ? Device(true) : Device(false);
  const std::uint8_t* const end = data + size;
  const std::uint8_t* at = data + 1;
  for (;;) {
    const void* next = memmem(at, static_cast<std::size_t>(end - at), kNextClient.data(), kNextClient.size());
    const std::uint8_t* cut = next != nullptr ? static_cast<const std::uint8_t*>(next) : end;
    ServeClient(model, tcp, stall, at, static_cast<std::size_t>(cut - at));
    if (cut == end) break;
    at = cut + kNextClient.size();
  }
  return 0;
}
