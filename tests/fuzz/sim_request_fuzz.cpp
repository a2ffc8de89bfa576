// The simulator's request handling, fed any bytes over socket pairs. The
// first input byte picks the set-up (bit 0: TCP clients whose hello must
// carry the token, bit 1: the device that started with its OS running, bit 2: each
// client sends a few bytes at a time, so tokens and requests come in parts;
// 0x80 alone with those bits: each client stalls after its last byte instead
// of closing; a stall costs a whole deadline, so few first bytes ask for it).
// The rest is what the clients send, one after another, parted by
// "NEXTCLIENT". For each client a helper thread sends its bytes and collects
// the replies while the connection is polled as the simulator polls it.
// As in the simulator, one device serves every client in turn (a fresh 8 MB
// device per input would be nearly all of the time spent): a finding may
// need the inputs run before it, so rerun it with the corpus it came from.
// Properties: no crash, leak or undefined behaviour; the connection never
// waits for its client; a hello is answered once, and only the right token
// is taken; each request served got exactly one reply, well formed for its
// operation, in order.

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
#include "platform/wire_codec.h"
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

// The client's side: sends `sent` (at most `piece` bytes a call), reads every
// reply byte until the server closes. A stalling client keeps its sending
// side open.
void RunClient(int fd, const std::uint8_t* sent, std::size_t size, std::size_t piece, bool stall,
               std::vector<std::uint8_t>* received) {
  std::size_t done = 0;
  bool sending = size > 0;
  if (!sending && !stall) shutdown(fd, SHUT_WR);
  for (;;) {
    pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    if (poll(&p, 1, -1) < 0) return;
    if (sending && (p.revents & POLLOUT)) {
      const std::size_t chunk = size - done < piece ? size - done : piece;
      const ssize_t n = send(fd, sent + done, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
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

// The length of the hello that begins sent, 0 when it has none.
std::size_t HelloLength(const std::uint8_t* sent, std::size_t size) {
  std::uint32_t version = 0, tokenLength = 0;
  if (size < KW_HELLO_SIZE || !KwDecodeHello(sent, &version, &tokenLength)) return 0;
  return size - KW_HELLO_SIZE >= tokenLength ? KW_HELLO_SIZE + tokenLength : 0;
}

bool RightToken(const std::uint8_t* sent, std::size_t size) {
  return HelloLength(sent, size) == KW_HELLO_SIZE + kToken.size() &&
         std::memcmp(sent + KW_HELLO_SIZE, kToken.data(), kToken.size()) == 0;
}

// The requests the server must have read, in order, from what the client sent.
std::vector<KwRequest> SentRequests(const std::uint8_t* sent, std::size_t size) {
  std::vector<KwRequest> requests;
  std::size_t at = HelloLength(sent, size);
  while (at > 0 && size - at >= KW_HEADER_SIZE) {
    KwRequest request;
    KwDecodeRequest(sent + at, &request);
    requests.push_back(request);
    at += KW_HEADER_SIZE;
    if (request.length > size - at) break;
    at += request.length;
  }
  return requests;
}

void CheckReply(const KwRequest& request, const KwReply& reply) {
  FUZZ_REQUIRE(reply.ok == 0 || reply.ok == 1);
  if (reply.ok == 0) FUZZ_REQUIRE(reply.length == 0 && reply.error != 0);
  switch (request.op) {
    case KW_OP_OPEN:
    case KW_OP_LOCK:
      FUZZ_REQUIRE(reply.length == 0);
      break;
    case KW_OP_CLOSE:
      FUZZ_REQUIRE(reply.ok == 1 && reply.length == 0);
      break;
    case KW_OP_IOCTL:
      FUZZ_REQUIRE(reply.length <= request.wanted);
      if (reply.ok == 1) FUZZ_REQUIRE(reply.count == reply.length);
      break;
    case KW_OP_WRITE:
      FUZZ_REQUIRE(reply.length == 0 && reply.count <= request.length);
      break;
    case KW_OP_READ:
      FUZZ_REQUIRE(reply.count <= request.wanted);
      FUZZ_REQUIRE(reply.length == (reply.ok == 1 ? reply.count : 0));
      break;
    case KW_OP_LIST:
      if (reply.ok == 1) FUZZ_REQUIRE(reply.count == 1 && reply.length == 2 + 4);  // "emu0"
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

// One client sends `sent` and is served until it goes away, fails or stalls.
void ServeClient(kavlen::sim::DeviceModel& model, bool tcp, std::size_t piece, bool stall,
                 const std::uint8_t* sent, std::size_t sentSize) {
  using namespace kavlen;

  int pair[2];
  FUZZ_REQUIRE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0);
  SetNonBlocking(pair[0]);
  std::vector<std::uint8_t> received;
  std::thread client(RunClient, pair[1], sent, sentSize, piece, stall, &received);

  sim::ClientConnection connection(pair[0], model, tcp ? &kToken : nullptr, kClientTimeout);
  for (;;) {
    // as the simulator: dropped at its deadline; idle, a stalled client is done
    const int left = connection.LeftMs();
    if (left == 0) break;
    pollfd p{pair[0], connection.events(), 0};
    const int ready = poll(&p, 1, left > 0 ? left : static_cast<int>(kClientTimeout.count()));
    if (ready == 0) break;
    if (ready < 0) continue;
    const bool owedToken = !connection.proven();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = connection.Progress();
    FUZZ_REQUIRE(std::chrono::steady_clock::now() - start < kWorkAllowance);
    if (!ok) break;
    if (owedToken && connection.proven()) FUZZ_REQUIRE(RightToken(sent, sentSize));
  }
  connection.Close();
  client.join();
  close(pair[1]);

  // A whole hello is answered, and a refused one ends the stream. Every
  // whole reply answers the next request sent; past them at most the start
  // of one more, cut when the client's deadline passed.
  if (received.empty()) return;
  FUZZ_REQUIRE(HelloLength(sent, sentSize) > 0 && received.size() >= KW_HELLO_REPLY_SIZE);
  std::uint32_t status = 0, version = 0;
  KwDecodeHelloReply(received.data(), &status, &version);
  FUZZ_REQUIRE(version == KW_VERSION);
  FUZZ_REQUIRE((status == KW_HELLO_OK) == (!tcp || RightToken(sent, sentSize)) ||
               status == KW_HELLO_VERSION_REFUSED);
  if (status != KW_HELLO_OK) {
    FUZZ_REQUIRE(received.size() == KW_HELLO_REPLY_SIZE);
    return;
  }
  const std::vector<KwRequest> requests = SentRequests(sent, sentSize);
  std::size_t at = KW_HELLO_REPLY_SIZE;
  for (std::size_t i = 0; received.size() - at >= KW_HEADER_SIZE; ++i) {
    KwReply reply;
    FUZZ_REQUIRE(i < requests.size());
    FUZZ_REQUIRE(KwDecodeReply(received.data() + at, &reply, KW_MAX_PAYLOAD) != 0);
    CheckReply(requests[i], reply);
    if (received.size() - at - KW_HEADER_SIZE < reply.length) break;
    at += KW_HEADER_SIZE + reply.length;
  }
  FUZZ_REQUIRE(received.size() - at < KW_HEADER_SIZE + KW_MAX_PAYLOAD);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool tcp = (data[0] & 1) != 0;
  const std::size_t piece = (data[0] & 4) != 0 ? 5 : SIZE_MAX;
  const bool stall = (data[0] & 0xF8) == 0x80;
  kavlen::sim::DeviceModel& model = (data[0] & 2) != 0 ? Device(true) : Device(false);
  const std::uint8_t* const end = data + size;
  const std::uint8_t* at = data + 1;
  for (;;) {
    const void* next = memmem(at, static_cast<std::size_t>(end - at), kNextClient.data(), kNextClient.size());
    const std::uint8_t* cut = next != nullptr ? static_cast<const std::uint8_t*>(next) : end;
    ServeClient(model, tcp, piece, stall, at, static_cast<std::size_t>(cut - at));
    if (cut == end) break;
    at = cut + kNextClient.size();
  }
  return 0;
}
