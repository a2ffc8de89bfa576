/* The stand-in driver's side of a loopback TCP stream to one kavlen-sim.
 * Kept apart from the driver's DDK code because it speaks Winsock, which
 * wine lets a driver import since it runs drivers inside a user process.
 * Every call returns within the timeout given to RelayConnect. */
#ifndef KAVLEN_RELAY_SOCKET_H
#define KAVLEN_RELAY_SOCKET_H

#include "platform/wire_codec.h"

#define RELAY_NO_SOCKET ((unsigned long long)~0ull)

/* Winsock for the driver's lifetime; 0 when it cannot be had. */
int RelayStartSockets(void);

/* A stream to 127.0.0.1:port whose hello with the token the simulator
 * took, or RELAY_NO_SOCKET. */
unsigned long long RelayConnect(unsigned short port, const char* token, unsigned int timeoutMs);

/* One request and its reply, the reply payload into out. 1 when the reply
 * came whole; 0 when the simulator is gone, too slow or broke the protocol,
 * and then the stream is shut so that every later exchange fails at once. */
int RelayExchange(unsigned long long s, const KwRequest* request, const void* payload,
                  KwReply* reply, void* out, unsigned int outLength);

void RelayClose(unsigned long long s);

#endif
