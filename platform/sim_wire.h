#pragma once
// The small binary protocol between the POSIX driver backend and kavlen-sim.
// One stream connection per open handle. Every request is a fixed header,
// optionally followed by `length` payload bytes; every request gets exactly
// one reply header, optionally followed by `length` payload bytes. Both ends
// run on the same machine, so the fields are in host byte order.
//
// Over loopback TCP the client first sends the simulator's token (see
// sim_stream.h); a wrong token closes the connection before any request.
//
// A connection that closes without a request is a presence probe: it is not
// an open and the simulator does not record it.

#include <cstdint>

namespace kavlen::wire {

enum Op : std::uint32_t {
  kOpen = 1,   // code: creation disposition; payload: "" for the interface, else the pipe name
  kClose = 2,  // no payload; the reply comes after the simulator has closed the handle
  kIoctl = 3,  // code: control code; payload: input bytes; wanted: output length
  kWrite = 4,  // payload: the bytes to write
  kRead = 5,   // wanted: the bytes to read; reply payload: the bytes read
};

struct Request {
  std::uint32_t op;
  std::uint32_t code;
  std::uint32_t length;
  std::uint32_t wanted;
};

struct Reply {
  std::uint32_t ok;      // 1 success, 0 failure
  std::uint32_t error;   // GetLastError code when ok is 0
  std::uint32_t count;   // bytes returned, written or read
  std::uint32_t length;  // payload bytes that follow
};

// Larger than any device OS image or transfer block; a peer announcing more is broken.
inline constexpr std::uint32_t kMaxPayload = 16u * 1024u * 1024u;

}  // namespace kavlen::wire
