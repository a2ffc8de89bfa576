// The wire codec's decoders fed any bytes: the first input byte picks what
// the rest is taken for (a hello, a request or reply header, an open
// payload, a list of names). Properties: no read past the input, what is
// accepted keeps to its limits, and encoding it again gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/wire_codec.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

// The input copied to a buffer of its own size, so that a read past it is caught.
std::vector<unsigned char> Exact(const std::uint8_t* data, std::size_t size, std::size_t need) {
  std::vector<unsigned char> bytes(need, 0);
  std::memcpy(bytes.data(), data, size < need ? size : need);
  return bytes;
}

void Names(const unsigned char* at, std::size_t size) {
  while (size > 0) {
    const char* name = nullptr;
    std::size_t length = 0;
    const std::size_t used = KwGetName(at, size, &name, &length);
    if (used == 0) return;
    FUZZ_REQUIRE(used == 2 + length && length <= KW_MAX_NAME && used <= size);
    FUZZ_REQUIRE(name == reinterpret_cast<const char*>(at) + 2);
    unsigned char again[2 + KW_MAX_NAME];
    FUZZ_REQUIRE(KwPutName(again, sizeof again, name, length) == used);
    FUZZ_REQUIRE(std::memcmp(again, at, used) == 0);
    at += used;
    size -= used;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t kind = data[0] % 5;
  ++data;
  --size;
  switch (kind) {
    case 0: {
      const std::vector<unsigned char> in = Exact(data, size, KW_HELLO_SIZE);
      std::uint32_t version = 0, tokenLength = 0;
      if (KwDecodeHello(in.data(), &version, &tokenLength)) {
        FUZZ_REQUIRE(tokenLength <= KW_MAX_TOKEN);
        unsigned char again[KW_HELLO_SIZE];
        KwEncodeHello(again, tokenLength);
        KwPutU16(again + 4, static_cast<std::uint16_t>(version));
        FUZZ_REQUIRE(std::memcmp(again, in.data(), KW_HELLO_SIZE) == 0);
      }
      break;
    }
    case 1: {
      const std::vector<unsigned char> in = Exact(data, size, KW_HEADER_SIZE);
      KwRequest request{};
      const int ok = KwDecodeRequest(in.data(), &request);
      unsigned char again[KW_HEADER_SIZE];
      KwEncodeRequest(again, &request);
      FUZZ_REQUIRE(std::memcmp(again, in.data(), KW_HEADER_SIZE) == 0);
      if (ok) FUZZ_REQUIRE(request.length <= KW_MAX_PAYLOAD && request.wanted <= KW_MAX_PAYLOAD);
      if (ok && request.op == KW_OP_OPEN) FUZZ_REQUIRE(request.length <= KW_MAX_OPEN_PAYLOAD);
      break;
    }
    case 2: {
      const std::vector<unsigned char> in = Exact(data, size, KW_HEADER_SIZE);
      KwReply reply{};
      const std::uint32_t room = size > KW_HEADER_SIZE ? data[KW_HEADER_SIZE] * 1000u : 0;
      if (KwDecodeReply(in.data(), &reply, room)) FUZZ_REQUIRE(reply.ok <= 1 && reply.length <= room);
      unsigned char again[KW_HEADER_SIZE];
      KwEncodeReply(again, &reply);
      FUZZ_REQUIRE(std::memcmp(again, in.data(), KW_HEADER_SIZE) == 0);
      break;
    }
    case 3: {
      const std::vector<unsigned char> in(data, data + size);
      const char* emulator = nullptr;
      const char* pipe = nullptr;
      std::size_t emulatorLength = 0, pipeLength = 0;
      if (KwDecodeOpen(in.data(), in.size(), &emulator, &emulatorLength, &pipe, &pipeLength)) {
        unsigned char again[KW_MAX_OPEN_PAYLOAD];
        const std::size_t used =
            KwEncodeOpen(again, sizeof again, emulator, emulatorLength, pipe, pipeLength);
        FUZZ_REQUIRE(used == in.size() && std::memcmp(again, in.data(), used) == 0);
      }
      break;
    }
    default: {
      const std::vector<unsigned char> in(data, data + size);
      Names(in.data(), in.size());
      break;
    }
  }
  return 0;
}
