// The wire codec against its description in doc/wire-protocol.txt, and the
// inputs its decoder must refuse.

#include "platform/wire_codec.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string Bytes(const unsigned char* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

std::string LittleEndian(std::uint32_t value, std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

// One message of each kind as the codec encodes it, with the values its
// fields were given (a different one each, so that swapped fields show).
struct Sample {
  std::string bytes;
  std::map<std::string, std::uint32_t> numbers;
  std::map<std::string, std::string> texts;
};

std::map<std::string, Sample> Samples() {
  std::map<std::string, Sample> samples;
  unsigned char buffer[64];
  KwEncodeHello(buffer, 5);
  samples["hello"] = {Bytes(buffer, KW_HELLO_SIZE) + "tokn5",
                      {{"version", KW_VERSION}, {"token_length", 5}},
                      {{"magic", "KVLN"}, {"token", "tokn5"}}};
  KwEncodeHelloReply(buffer, 0x04030201);
  samples["hello_reply"] = {Bytes(buffer, KW_HELLO_REPLY_SIZE),
                            {{"status", 0x04030201}, {"version", KW_VERSION}}, {}};
  const KwRequest request{0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D};
  KwEncodeRequest(buffer, &request);
  samples["request"] = {Bytes(buffer, KW_HEADER_SIZE),
                        {{"op", request.op}, {"code", request.code}, {"length", request.length},
                         {"wanted", request.wanted}},
                        {}};
  const KwReply reply{0x14131211, 0x18171615, 0x1C1B1A19, 0x201F1E1D};
  KwEncodeReply(buffer, &reply);
  samples["reply"] = {Bytes(buffer, KW_HEADER_SIZE),
                      {{"ok", reply.ok}, {"error", reply.error}, {"count", reply.count},
                       {"length", reply.length}},
                      {}};
  samples["name"] = {Bytes(buffer, KwPutName(buffer, sizeof buffer, "PIPE01", 6)),
                     {{"length", 6}},
                     {{"bytes", "PIPE01"}}};
  return samples;
}

TEST(WireCodecTest, EncodesWhatTheProtocolDescriptionSays) {
  const std::map<std::string, std::uint32_t> constants = {
      {"version", KW_VERSION},
      {"op open", KW_OP_OPEN}, {"op close", KW_OP_CLOSE}, {"op ioctl", KW_OP_IOCTL},
      {"op write", KW_OP_WRITE}, {"op read", KW_OP_READ}, {"op list", KW_OP_LIST},
      {"op lock", KW_OP_LOCK},
      {"status ok", KW_HELLO_OK}, {"status token_refused", KW_HELLO_TOKEN_REFUSED},
      {"status version_refused", KW_HELLO_VERSION_REFUSED},
      {"limit max_token", KW_MAX_TOKEN}, {"limit max_name", KW_MAX_NAME},
      {"limit max_payload", KW_MAX_PAYLOAD}, {"limit max_open_payload", KW_MAX_OPEN_PAYLOAD},
      {"flag after_ok", KW_FLAG_AFTER_OK},
  };
  std::map<std::string, Sample> samples = Samples();
  std::map<std::string, std::size_t> described;  // bytes each message's fields cover
  std::size_t constantsSeen = 0;
  std::ifstream doc(KAVLEN_SOURCE_DIR "/doc/wire-protocol.txt");
  ASSERT_TRUE(doc.good());
  for (std::string line; std::getline(doc, line);) {
    std::istringstream words(line);
    std::string keyword, name, message, size, value;
    words >> keyword;
    if (keyword == "version") {
      std::uint32_t number = 0;
      words >> number;
      EXPECT_EQ(number, constants.at("version"));
      ++constantsSeen;
    } else if (keyword == "op" || keyword == "status" || keyword == "limit" || keyword == "flag") {
      std::uint32_t number = 0;
      words >> name >> number;
      if (name.empty()) continue;  // prose that starts with the word
      SCOPED_TRACE(line);
      ASSERT_EQ(constants.count(keyword + " " + name), 1u);
      EXPECT_EQ(number, constants.at(keyword + " " + name));
      ++constantsSeen;
    } else if (keyword == "field") {
      std::size_t offset = 0;
      words >> message >> offset >> size >> name >> value;
      SCOPED_TRACE(line);
      ASSERT_EQ(samples.count(message), 1u);
      const Sample& sample = samples[message];
      std::string expected;
      if (sample.texts.count(name) != 0) {
        expected = sample.texts.at(name);
        EXPECT_TRUE(value.empty() || value == "\"" + expected + "\"") << value;
      } else {
        ASSERT_EQ(sample.numbers.count(name), 1u);
        expected = LittleEndian(sample.numbers.at(name), std::stoul(size));
      }
      const std::size_t length =
          size[0] >= '0' && size[0] <= '9' ? std::stoul(size) : sample.numbers.at(size);
      EXPECT_EQ(length, expected.size());
      EXPECT_EQ(sample.bytes.substr(offset, length), expected);
      described[message] = std::max(described[message], offset + length);
    }
  }
  EXPECT_EQ(constantsSeen, constants.size());
  for (const auto& [message, sample] : samples) EXPECT_EQ(described[message], sample.bytes.size()) << message;
}

// Bytes for a decoder: a request header or a reply header, LE fields.
std::string Header(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return LittleEndian(a, 4) + LittleEndian(b, 4) + LittleEndian(c, 4) + LittleEndian(d, 4);
}

struct Decode {
  const char* name;
  std::string request;
  bool accepted;
};

TEST(WireCodecTest, DecoderRefusesRequestsOverTheirLimits) {
  const Decode cases[] = {
      {"open with two names", Header(KW_OP_OPEN, 1, KW_MAX_OPEN_PAYLOAD, 0), true},
      {"open past two names", Header(KW_OP_OPEN, 1, KW_MAX_OPEN_PAYLOAD + 1, 0), false},
      {"lock past a name", Header(KW_OP_LOCK, 0, 2 + KW_MAX_NAME + 1, 0), false},
      {"read with a payload", Header(KW_OP_READ, 0, 1, 16384), false},
      {"close with a payload", Header(KW_OP_CLOSE, 0, 1, 0), false},
      {"list with a payload", Header(KW_OP_LIST, 0, 1, 0), false},
      {"write of the largest payload", Header(KW_OP_WRITE, 0, KW_MAX_PAYLOAD, 0), true},
      {"ioctl past the largest payload", Header(KW_OP_IOCTL, 0, KW_MAX_PAYLOAD + 1, 0), false},
      {"read wanting too much", Header(KW_OP_READ, 0, 0, KW_MAX_PAYLOAD + 1), false},
      {"operation 0", Header(0, 0, 0, 0), false},
      {"operation 8", Header(8, 0, 0, 0), false},
  };
  for (const Decode& c : cases) {
    KwRequest request{};
    EXPECT_EQ(KwDecodeRequest(reinterpret_cast<const unsigned char*>(c.request.data()), &request) != 0,
              c.accepted)
        << c.name;
  }
}

TEST(WireCodecTest, DecoderRefusesMalformedHellosRepliesAndNames) {
  struct Case {
    const char* name;
    bool accepted;
    bool got;
  };
  const auto u = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
  std::uint32_t version = 0, tokenLength = 0;
  KwReply reply{};
  const char* name = nullptr;
  const char* pipe = nullptr;
  std::size_t nameLength = 0, pipeLength = 0;
  const std::string open = LittleEndian(4, 2) + "emu0" + LittleEndian(0, 2);
  const Case cases[] = {
      {"hello", true, KwDecodeHello(u(std::string("KVLN\x01\x00\x40\x00", 8)), &version, &tokenLength) != 0},
      {"hello with a token past the limit", false,
       KwDecodeHello(u(std::string("KVLN\x01\x00\x41\x00", 8)), &version, &tokenLength) != 0},
      {"hello with another magic", false,
       KwDecodeHello(u(std::string("KVLM\x01\x00\x00\x00", 8)), &version, &tokenLength) != 0},
      {"reply within the room", true, KwDecodeReply(u(Header(1, 0, 9, 9)), &reply, 9) != 0},
      {"reply past the room", false, KwDecodeReply(u(Header(1, 0, 9, 10)), &reply, 9) != 0},
      {"reply neither ok nor failed", false, KwDecodeReply(u(Header(2, 0, 0, 0)), &reply, 9) != 0},
      {"open", true, KwDecodeOpen(u(open), open.size(), &name, &nameLength, &pipe, &pipeLength) != 0},
      {"open with a byte left over", false,
       KwDecodeOpen(u(open + "x"), open.size() + 1, &name, &nameLength, &pipe, &pipeLength) != 0},
      {"open cut inside the pipe's length", false,
       KwDecodeOpen(u(open), open.size() - 1, &name, &nameLength, &pipe, &pipeLength) != 0},
      {"name longer than its limit", false,
       KwGetName(u(LittleEndian(257, 2) + std::string(257, 'n')), 259, &name, &nameLength) != 0},
      {"tokens of one length that differ", false,
       KwTokenEqual(u("abcd"), 4, u("abce"), 4) != 0},
      {"a token that begins the other", false, KwTokenEqual(u("abcd"), 3, u("abcd"), 4) != 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.accepted) << c.name;
}

}  // namespace
