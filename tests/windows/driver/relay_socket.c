#include "tests/windows/driver/relay_socket.h"

#include <winsock2.h>

static SOCKET Native(unsigned long long s) { return (SOCKET)s; }

int RelayStartSockets(void) {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

static int SendAll(SOCKET s, const void* data, unsigned int length) {
  const char* at = (const char*)data;
  while (length > 0) {
    const int sent = send(s, at, (int)length, 0);
    if (sent <= 0) return 0;
    at += sent;
    length -= (unsigned int)sent;
  }
  return 1;
}

static int RecvAll(SOCKET s, void* data, unsigned int length) {
  char* at = (char*)data;
  while (length > 0) {
    const int got = recv(s, at, (int)length, 0);
    if (got <= 0) return 0;
    at += got;
    length -= (unsigned int)got;
  }
  return 1;
}

unsigned long long RelayConnect(unsigned short port, const char* token, unsigned int timeoutMs) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return RELAY_NO_SOCKET;
  const DWORD timeout = timeoutMs;
  const int on = 1;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, (const char*)&timeout, sizeof timeout);
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
  struct sockaddr_in address;
  char* bytes = (char*)&address;
  for (unsigned int i = 0; i < sizeof address; ++i) bytes[i] = 0;
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  unsigned char hello[KW_HELLO_SIZE + KW_TOKEN_LENGTH];
  KwEncodeHello(hello, KW_TOKEN_LENGTH);
  for (unsigned int i = 0; i < KW_TOKEN_LENGTH; ++i) hello[KW_HELLO_SIZE + i] = (unsigned char)token[i];
  unsigned char greeting[KW_HELLO_REPLY_SIZE];
  uint32_t status = KW_HELLO_TOKEN_REFUSED, version = 0;
  if (connect(s, (const struct sockaddr*)&address, sizeof address) == 0 &&
      SendAll(s, hello, sizeof hello) && RecvAll(s, greeting, sizeof greeting)) {
    KwDecodeHelloReply(greeting, &status, &version);
  }
  if (status != KW_HELLO_OK) {
    closesocket(s);
    return RELAY_NO_SOCKET;
  }
  return (unsigned long long)s;
}

int RelayExchange(unsigned long long s, const KwRequest* request, const void* payload,
                  KwReply* reply, void* out, unsigned int outLength) {
  unsigned char head[KW_HEADER_SIZE];
  KwEncodeRequest(head, request);
  if (SendAll(Native(s), head, sizeof head) &&
      (request->length == 0 || SendAll(Native(s), payload, request->length)) &&
      RecvAll(Native(s), head, sizeof head) && KwDecodeReply(head, reply, outLength) &&
      (reply->length == 0 || RecvAll(Native(s), out, reply->length))) {
    return 1;
  }
  shutdown(Native(s), SD_BOTH);
  return 0;
}

void RelayClose(unsigned long long s) {
  if (s != RELAY_NO_SOCKET) closesocket(Native(s));
}
