#include "platform/wire_codec.h"

static const unsigned char kMagic[4] = {'K', 'V', 'L', 'N'};

void KwPutU16(unsigned char* at, uint16_t value) {
  at[0] = (unsigned char)(value & 0xFFu);
  at[1] = (unsigned char)(value >> 8);
}

void KwPutU32(unsigned char* at, uint32_t value) {
  at[0] = (unsigned char)(value & 0xFFu);
  at[1] = (unsigned char)((value >> 8) & 0xFFu);
  at[2] = (unsigned char)((value >> 16) & 0xFFu);
  at[3] = (unsigned char)(value >> 24);
}

uint16_t KwGetU16(const unsigned char* at) { return (uint16_t)(at[0] | (at[1] << 8)); }

uint32_t KwGetU32(const unsigned char* at) {
  return (uint32_t)at[0] | ((uint32_t)at[1] << 8) | ((uint32_t)at[2] << 16) | ((uint32_t)at[3] << 24);
}

void KwEncodeHello(unsigned char out[KW_HELLO_SIZE], uint32_t tokenLength) {
  unsigned i;
  for (i = 0; i < 4; ++i) out[i] = kMagic[i];
  KwPutU16(out + 4, (uint16_t)KW_VERSION);
  KwPutU16(out + 6, (uint16_t)tokenLength);
}

int KwDecodeHello(const unsigned char in[KW_HELLO_SIZE], uint32_t* version, uint32_t* tokenLength) {
  unsigned i;
  for (i = 0; i < 4; ++i) {
    if (in[i] != kMagic[i]) return 0;
  }
  *version = KwGetU16(in + 4);
  *tokenLength = KwGetU16(in + 6);
  return *tokenLength <= KW_MAX_TOKEN;
}

int KwTokenEqual(const unsigned char* a, uint32_t aLength, const unsigned char* b, uint32_t bLength) {
  unsigned differ = aLength != bLength;
  uint32_t i;
  for (i = 0; i < aLength && i < bLength; ++i) differ |= (unsigned)(a[i] ^ b[i]);
  return differ == 0;
}

void KwEncodeHelloReply(unsigned char out[KW_HELLO_REPLY_SIZE], uint32_t status) {
  KwPutU32(out, status);
  KwPutU32(out + 4, KW_VERSION);
}

void KwDecodeHelloReply(const unsigned char in[KW_HELLO_REPLY_SIZE], uint32_t* status,
                        uint32_t* version) {
  *status = KwGetU32(in);
  *version = KwGetU32(in + 4);
}

void KwEncodeRequest(unsigned char out[KW_HEADER_SIZE], const KwRequest* request) {
  KwPutU32(out, request->op);
  KwPutU32(out + 4, request->code);
  KwPutU32(out + 8, request->length);
  KwPutU32(out + 12, request->wanted);
}

int KwDecodeRequest(const unsigned char in[KW_HEADER_SIZE], KwRequest* request) {
  uint32_t limit = KW_MAX_PAYLOAD;
  request->op = KwGetU32(in);
  request->code = KwGetU32(in + 4);
  request->length = KwGetU32(in + 8);
  request->wanted = KwGetU32(in + 12);
  switch (request->op) {
    case KW_OP_OPEN:
      limit = KW_MAX_OPEN_PAYLOAD;
      break;
    case KW_OP_LOCK:
      limit = 2u + KW_MAX_NAME;
      break;
    case KW_OP_CLOSE:
    case KW_OP_LIST:
    case KW_OP_READ:
      limit = 0;
      break;
    case KW_OP_IOCTL:
    case KW_OP_WRITE:
      break;
    default:
      return 0;
  }
  return request->length <= limit && request->wanted <= KW_MAX_PAYLOAD;
}

void KwEncodeReply(unsigned char out[KW_HEADER_SIZE], const KwReply* reply) {
  KwPutU32(out, reply->ok);
  KwPutU32(out + 4, reply->error);
  KwPutU32(out + 8, reply->count);
  KwPutU32(out + 12, reply->length);
}

int KwDecodeReply(const unsigned char in[KW_HEADER_SIZE], KwReply* reply, uint32_t maxLength) {
  reply->ok = KwGetU32(in);
  reply->error = KwGetU32(in + 4);
  reply->count = KwGetU32(in + 8);
  reply->length = KwGetU32(in + 12);
  return reply->ok <= 1u && reply->length <= maxLength;
}

size_t KwPutName(unsigned char* out, size_t room, const char* name, size_t length) {
  size_t i;
  if (length > KW_MAX_NAME || room < 2u || room - 2u < length) return 0;
  KwPutU16(out, (uint16_t)length);
  for (i = 0; i < length; ++i) out[2u + i] = (unsigned char)name[i];
  return 2u + length;
}

size_t KwGetName(const unsigned char* in, size_t size, const char** name, size_t* length) {
  size_t n;
  if (size < 2u) return 0;
  n = KwGetU16(in);
  if (n > KW_MAX_NAME || size - 2u < n) return 0;
  *name = (const char*)(in + 2);
  *length = n;
  return 2u + n;
}

size_t KwEncodeOpen(unsigned char* out, size_t room, const char* emulator, size_t emulatorLength,
                    const char* pipe, size_t pipeLength) {
  const size_t first = KwPutName(out, room, emulator, emulatorLength);
  size_t second;
  if (first == 0) return 0;
  second = KwPutName(out + first, room - first, pipe, pipeLength);
  return second == 0 ? 0 : first + second;
}

int KwDecodeOpen(const unsigned char* in, size_t size, const char** emulator, size_t* emulatorLength,
                 const char** pipe, size_t* pipeLength) {
  const size_t first = KwGetName(in, size, emulator, emulatorLength);
  size_t second;
  if (first == 0) return 0;
  second = KwGetName(in + first, size - first, pipe, pipeLength);
  return second != 0 && first + second == size;
}
