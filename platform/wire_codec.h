/* The stream protocol between a driver client and a server of emulators
 * (kavlen-sim's listeners, kavlen-bridge): the one encoder and decoder of it.
 * doc/wire-protocol.txt describes it; its version is KW_VERSION.
 *
 * Plain C99 without the C library, so that every program, the simulator
 * and a kernel-mode driver share it. Every field is little-endian and put
 * or taken byte by byte: no struct goes on the wire.
 *
 * A stream: the client's hello (magic, version, token), the server's hello
 * reply, then requests one at a time, each a header and `length` payload
 * bytes, each answered by one reply header and `length` payload bytes. */
#ifndef KAVLEN_WIRE_CODEC_H
#define KAVLEN_WIRE_CODEC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KW_VERSION 1u

#define KW_HELLO_SIZE 8u        /* "KVLN", u16 version, u16 token length; the token follows */
#define KW_HELLO_REPLY_SIZE 8u  /* u32 status, u32 the server's version */
#define KW_HEADER_SIZE 16u      /* a request or a reply header */
#define KW_TOKEN_LENGTH 32u     /* 128 random bits as lower-case hex digits */
#define KW_MAX_TOKEN 64u        /* a longer token length ends the stream */
#define KW_MAX_NAME 256u        /* an emulator or pipe name */
/* Larger than any device OS image or transfer block; a peer announcing more is broken. */
#define KW_MAX_PAYLOAD (16u * 1024u * 1024u)
/* An open names an emulator and a pipe. */
#define KW_MAX_OPEN_PAYLOAD (2u * (2u + KW_MAX_NAME))

/* Hello reply status. */
#define KW_HELLO_OK 0u
#define KW_HELLO_TOKEN_REFUSED 1u
#define KW_HELLO_VERSION_REFUSED 2u

/* Operations. */
#define KW_OP_OPEN 1u  /* code: creation disposition; payload: emulator name, pipe name ("" the interface) */
#define KW_OP_CLOSE 2u /* the reply comes after the server has closed the handle */
#define KW_OP_IOCTL 3u /* code: control code; payload: input bytes; wanted: output length */
#define KW_OP_WRITE 4u /* payload: the bytes to write */
#define KW_OP_READ 5u  /* wanted: the bytes to read; reply payload: the bytes read */
#define KW_OP_LIST 6u  /* reply: count emulators, payload: their names in enumeration order */
#define KW_OP_LOCK 7u  /* payload: emulator name; held until the stream ends */

/* The code of a write or read: carried out only when the stream's request
 * before it succeeded whole, else failed with that request's error. A
 * client that sends pipe requests ahead of their replies sets it, so that
 * nothing after a failed block reaches the device (platform/after_ok_rule.h). */
#define KW_FLAG_AFTER_OK 1u

typedef struct KwRequest {
  uint32_t op;
  uint32_t code;
  uint32_t length; /* payload bytes that follow */
  uint32_t wanted; /* reply payload the client can take */
} KwRequest;

typedef struct KwReply {
  uint32_t ok;     /* 1 success, 0 failure */
  uint32_t error;  /* GetLastError code when ok is 0 */
  uint32_t count;  /* bytes returned, written or read; names listed */
  uint32_t length; /* payload bytes that follow */
} KwReply;

void KwPutU16(unsigned char* at, uint16_t value);
void KwPutU32(unsigned char* at, uint32_t value);
uint16_t KwGetU16(const unsigned char* at);
uint32_t KwGetU32(const unsigned char* at);

/* The hello's head; the token's bytes follow it. tokenLength <= KW_MAX_TOKEN. */
void KwEncodeHello(unsigned char out[KW_HELLO_SIZE], uint32_t tokenLength);
/* 1 with the client's version and token length when the magic is right and
 * the token fits KW_MAX_TOKEN, else 0. */
int KwDecodeHello(const unsigned char in[KW_HELLO_SIZE], uint32_t* version, uint32_t* tokenLength);
/* 1 when a and b hold the same bytes; the time taken depends on the
 * lengths alone, never on where they differ. */
int KwTokenEqual(const unsigned char* a, uint32_t aLength, const unsigned char* b, uint32_t bLength);

void KwEncodeHelloReply(unsigned char out[KW_HELLO_REPLY_SIZE], uint32_t status);
void KwDecodeHelloReply(const unsigned char in[KW_HELLO_REPLY_SIZE], uint32_t* status,
                        uint32_t* version);

void KwEncodeRequest(unsigned char out[KW_HEADER_SIZE], const KwRequest* request);
/* 1 when the operation is known and its payload and wanted lengths are
 * within their limits; 0 when the client broke the protocol. */
int KwDecodeRequest(const unsigned char in[KW_HEADER_SIZE], KwRequest* request);

void KwEncodeReply(unsigned char out[KW_HEADER_SIZE], const KwReply* reply);
/* 1 when ok is 0 or 1 and the payload fits the room the request left for
 * it (maxLength); 0 when the server broke the protocol. */
int KwDecodeReply(const unsigned char in[KW_HEADER_SIZE], KwReply* reply, uint32_t maxLength);

/* A name in a payload: u16 length and its bytes. Puts name at out (room
 * bytes there) and returns the bytes used, or 0 when it does not fit or is
 * longer than KW_MAX_NAME. */
size_t KwPutName(unsigned char* out, size_t room, const char* name, size_t length);
/* Takes the name at in (size bytes left): its bytes stay in place. Returns
 * the bytes used, or 0 when the payload ends inside it or it is too long. */
size_t KwGetName(const unsigned char* in, size_t size, const char** name, size_t* length);

/* The open payload: the emulator's name, then the pipe's. Returns the bytes
 * used, or 0 when they do not fit room. */
size_t KwEncodeOpen(unsigned char* out, size_t room, const char* emulator, size_t emulatorLength,
                    const char* pipe, size_t pipeLength);
/* 1 when the payload is exactly the two names, else 0. */
int KwDecodeOpen(const unsigned char* in, size_t size, const char** emulator, size_t* emulatorLength,
                 const char** pipe, size_t* pipeLength);

#ifdef __cplusplus
}
#endif

#endif
