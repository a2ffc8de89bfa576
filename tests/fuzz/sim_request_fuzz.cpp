// The simulator's request handling, fed any bytes over socket pairs. The
// first input byte picks the set-up (bit 0: TCP clients whose hello must
// carry the token, bit 1: the device that started with its OS running, bit 2: each
// client sends a few bytes at a time, so tokens and requests come in parts;
// bit 3: reads ask for as much as they say, else for at most 96 KB: zeroing
// a 16 MB read buffer costs far more than the rest of an input; 0x80 alone
// with bits 0 to 2: the last client stalls after its last byte instead of
// closing; a stall costs a whole deadline, so few first bytes ask for it).
// The rest is what the clients send, one after another, parted by
// "NEXTCLIENT". One thread plays both sides: each round the client sends
// (a piece of) its bytes, the connection is polled and served as the
// simulator does it, and the client takes the replies; a connection that
// waited for its client would hang here, and libFuzzer reports the timeout.
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
// A stalling client is dropped at its deadline: a short one keeps a stall cheap.
constexpr std::chrono::milliseconds kStallTimeout{2};
// Room for the work one request does once its bytes are in, under sanitizers.
constexpr std::chrono::milliseconds kWorkAllowance{2000};
const std::string kToken = "0123456789abcdef0123456789abcdef";
// Parts the input into clients served one after another.
constexpr std::string_view kNextClient = "NEXTCLIENT";

// The client's side of a socket pair: sends `sent` (at most `piece` bytes
// a round), then closes its sending side, or keeps it open when it stalls.
class Client {
 public:
  Client(int fd, const std::uint8_t* sent, std::size_t size, std::size_t piece, bool stall)
      : fd_(fd), sent_(sent), size_(size), piece_(piece), stall_(stall) {
    kavlen::SetNonBlocking(fd);
    if (size == 0) Done();
  }

  bool sending() const { return sending_; }

  void Send() {
    if (!sending_) return;
    const std::size_t chunk = size_ - done_ < piece_ ? size_ - done_ : piece_;
    const ssize_t n = send(fd_, sent_ + done_, chunk, MSG_NOSIGNAL);
    if (n > 0) done_ += static_cast<std::size_t>(n);
    if (done_ == size_ || (n < 0 && errno != EAGAIN)) Done();
  }

  // Takes every reply byte there is; false at the end of the stream.
  bool Receive(std::vector<std::uint8_t>* received) {
    for (;;) {
      std::uint8_t buffer[65536];
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) {
        received->insert(received->end(), buffer, buffer + n);
        continue;
      }
      return n < 0 && errno == EAGAIN;
    }
  }

 private:
  void Done() {
    sending_ = false;
    if (!stall_) shutdown(fd_, SHUT_WR);
  }

  int fd_;
  const std::uint8_t* sent_;
  std::size_t size_;
  std::size_t piece_;
  bool stall_;
  bool sending_ = true;
  std::size_t done_ = 0;
};

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

// A read asking for more than this still takes the buffer through its
// release after the reply (above 64 KB).
constexpr std::uint32_t kReadCap = 96 * 1024;

// sent with every read that asks for more than kReadCap (and is not refused
// for asking too much) asking for kReadCap.
std::vector<std::uint8_t> CapReads(const std::uint8_t* sent, std::size_t size) {
  std::vector<std::uint8_t> capped(sent, sent + size);
  std::size_t at = HelloLength(sent, size);
  while (at > 0 && size - at >= KW_HEADER_SIZE) {
    KwRequest request;
    if (KwDecodeRequest(sent + at, &request) && request.op == KW_OP_READ && request.wanted > kReadCap)
      KwPutU32(capped.data() + at + 12, kReadCap);
    at += KW_HEADER_SIZE;
    if (request.length > size - at) break;
    at += request.length;
  }
  return capped;
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
  Client client(pair[1], sent, sentSize, piece, stall);
  std::vector<std::uint8_t> received;

  sim::ClientConnection connection(pair[0], model, tcp ? &kToken : nullptr,
                                     stall ? kStallTimeout : kClientTimeout);
  for (;;) {
    client.Send();
    client.Receive(&received);
    // as the simulator: dropped at its deadline; idle, a stalled client is done
    const int left = connection.LeftMs();
    if (left == 0) break;
    pollfd p{pair[0], connection.events(), 0};
    int ready = poll(&p, 1, 0);
    if (ready == 0 && client.sending()) continue;
    if (ready == 0 && left > 0) ready = poll(&p, 1, left);  // a stall: wait out the deadline
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
  while (client.Receive(&received)) {
  }
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
    const std::size_t clientSize = static_cast<std::size_t>(cut - at);
    if ((data[0] & 8) != 0) {
      ServeClient(model, tcp, piece, stall && cut == end, at, clientSize);
    } else {
      const std::vector<std::uint8_t> capped = CapReads(at, clientSize);
      ServeClient(model, tcp, piece, stall && cut == end, capped.data(), capped.size());
    }
    if (cut == end) break;
    at = cut + kNextClient.size();
  }
  return 0;
}
