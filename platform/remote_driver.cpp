#include "platform/remote_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sim_driver.h"
#include "platform/token_file.h"
#include "platform/wire_codec.h"

namespace kavlen {

namespace {

constexpr std::uint32_t kListRoom = 64 * 1024;
constexpr std::chrono::milliseconds kLockRetry{50};
// Pipe requests in flight: a LAN's round trip is paid once per 8 blocks
// (4 gave twice the time across a 0.2 ms link, 16 little less than 8), and
// a cancel still leaves at most 7 blocks to be taken.
constexpr std::uint32_t kPipeDepth = 8;

// Said once per program, however many calls meet it.
void SayOnce(std::uint32_t status) {
  static std::once_flag token, version;
  if (status == KW_HELLO_TOKEN_REFUSED) {
    std::call_once(token, [] { std::fputs("the bridge refused the token\n", stderr); });
  } else {
    std::call_once(version, [] {
      std::fputs("the bridge speaks another protocol version\n", stderr);
    });
  }
}

std::string TokenOf(const RemoteBridge& bridge) {
  std::string token;
  if (!ReadTokenFile(bridge.tokenFile, &token)) {
    static std::once_flag said;
    std::call_once(said, [&] {
      std::fprintf(stderr, "cannot read the bridge's token file %s\n",
                   bridge.tokenFile.empty() ? "(KAVLEN_REMOTE_TOKEN_FILE is not set)"
                                            : bridge.tokenFile.c_str());
    });
  }
  return token;
}

// A stream to the bridge that has sent its hello with the request; the
// reply's payload into out.
bool Ask(const RemoteBridge& bridge, const KwRequest& request, const void* payload, KwReply* reply,
         void* out, std::uint32_t outLen, const Deadline& deadline, SocketFd* kept) {
  std::string host;
  std::uint16_t port = 0;
  if (!SplitHostPort(bridge.address, &host, &port)) return false;
  bool timedOut = false;
  const SocketFd fd = ConnectTcpTo(host, port, deadline, &timedOut);
  if (fd == kNoSocket) return false;
  const std::string token = TokenOf(bridge);
  std::uint32_t error = 0, status = KW_HELLO_OK;
  const bool answered =
      WireExchange(fd, request, payload, reply, out, outLen, deadline, &error, &token, &status);
  if (status != KW_HELLO_OK) SayOnce(status);
  if (answered && reply->ok == 1 && kept != nullptr) {
    *kept = fd;
  } else {
    CloseSocket(fd);
  }
  return answered;
}

class RemoteEndpoints final : public SimEndpoints {
 public:
  RemoteEndpoints(RemoteBridge bridge, std::chrono::milliseconds timeout)
      : bridge_(std::move(bridge)), timeout_(timeout) {}
  ~RemoteEndpoints() override {
    if (listStream_ != kNoSocket) CloseSocket(listStream_);
  }

  std::string ClassDir() override { return bridge_.address; }
  char Separator() const override { return ':'; }
  bool ProbeEach() const override { return false; }

  // A program enumerates before every open, so one list stream is kept for
  // them all; a stream the bridge has dropped is made again once.
  std::vector<std::string> Names(const std::string&) override {
    std::vector<std::string> names;
    std::vector<unsigned char> out(kListRoom);
    KwReply reply{};
    const KwRequest request{KW_OP_LIST, 0, 0, kListRoom};
    const std::lock_guard listing(listMutex_);
    std::uint32_t error = 0;
    bool answered = listStream_ != kNoSocket &&
                    WireExchange(listStream_, request, nullptr, &reply, out.data(), kListRoom,
                                 Deadline(timeout_), &error);
    if (!answered) {
      if (listStream_ != kNoSocket) CloseSocket(listStream_);
      listStream_ = kNoSocket;
      answered = Ask(bridge_, request, nullptr, &reply, out.data(), kListRoom, Deadline(timeout_),
                     &listStream_);
    }
    if (answered && reply.ok == 1) {
      std::size_t at = 0;
      const char* name = nullptr;
      std::size_t length = 0;
      while (std::size_t used = KwGetName(out.data() + at, reply.length - at, &name, &length)) {
        names.emplace_back(name, length);
        at += used;
      }
    }
    const std::lock_guard lock(mutex_);
    names_ = names;
    return names;
  }

  // The bridge's names may hold any character: a listed name is the
  // interface, a listed name, "\" and a pipe name one of its pipes.
  bool Split(const std::string& rest, std::string* name, std::string* pipe) override {
    const std::lock_guard lock(mutex_);
    const auto listed = [this](const std::string& n) {
      return std::find(names_.begin(), names_.end(), n) != names_.end();
    };
    if (listed(rest)) {
      *name = rest;
      pipe->clear();
      return true;
    }
    const std::size_t cut = rest.rfind('\\');
    if (cut == std::string::npos || !listed(rest.substr(0, cut))) return false;
    *name = rest.substr(0, cut);
    *pipe = rest.substr(cut + 1);
    return true;
  }

  SocketFd Connect(const std::string&, const std::string&, const Deadline& deadline,
                   std::uint32_t* error, std::string* token) override {
    std::string host;
    std::uint16_t port = 0;
    *error = kErrorFileNotFound;
    if (!SplitHostPort(bridge_.address, &host, &port)) return kNoSocket;
    bool timedOut = false;
    const SocketFd fd = ConnectTcpTo(host, port, deadline, &timedOut);
    if (fd == kNoSocket) {
      *error = kErrorDeviceNotConnected;
      return kNoSocket;
    }
    *token = TokenOf(bridge_);
    return fd;
  }

  void Refused(std::uint32_t status) override { SayOnce(status); }

  std::uint32_t PipeDepth() const override { return kPipeDepth; }

 private:
  const RemoteBridge bridge_;
  const std::chrono::milliseconds timeout_;
  std::mutex mutex_;
  std::vector<std::string> names_;
  std::mutex listMutex_;
  SocketFd listStream_ = kNoSocket;
};

}  // namespace

bool RemoteBridgeSetting(RemoteBridge* bridge) {
  const char* address = std::getenv("KAVLEN_REMOTE");
  if (address == nullptr || *address == '\0') return false;
  const char* tokenFile = std::getenv("KAVLEN_REMOTE_TOKEN_FILE");
  bridge->address = address;
  bridge->tokenFile = tokenFile != nullptr ? tokenFile : "";
  return true;
}

std::unique_ptr<DriverApi> MakeRemoteDriver(const RemoteBridge& bridge,
                                             std::chrono::milliseconds timeout) {
  return MakeSimDriverOver(std::make_unique<RemoteEndpoints>(bridge, timeout), timeout);
}

bool AcquireRemoteLock(const std::string& devicePath, std::chrono::milliseconds wait,
                       DeviceLock::State* state, SocketFd* stream) {
  RemoteBridge bridge;
  if (!RemoteBridgeSetting(&bridge)) return false;
  const std::string prefix = bridge.address + ":";
  if (devicePath.size() <= prefix.size() || devicePath.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  const std::string name = devicePath.substr(prefix.size());
  unsigned char payload[2 + KW_MAX_NAME];
  const std::size_t length = KwPutName(payload, sizeof payload, name.data(), name.size());
  *state = DeviceLock::State::NotTaken;
  if (length == 0) return true;
  const auto until = std::chrono::steady_clock::now() + wait;
  const KwRequest request{KW_OP_LOCK, 0, static_cast<std::uint32_t>(length), 0};
  for (;;) {
    KwReply reply{};
    if (!Ask(bridge, request, payload, &reply, nullptr, 0, Deadline(TransportTimeout()), stream)) {
      return true;
    }
    if (reply.ok == 1) {
      *state = DeviceLock::State::Held;
      return true;
    }
    if (reply.error != kErrorBusy) return true;
    if (std::chrono::steady_clock::now() >= until) {
      *state = DeviceLock::State::Busy;
      return true;
    }
    std::this_thread::sleep_for(kLockRetry);
  }
}

}  // namespace kavlen
