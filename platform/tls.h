// TLS over a connected socket for the client kit's TLS comms module: OpenSSL
// on Linux, the system's Schannel on Windows. The engine never waits: every
// call that needs the socket answers kWantRead or kWantWrite, and the caller
// waits (with its own time-outs) and calls again. The socket is switched to
// non-blocking by open().
#pragma once

#include "platform/socket.h"

#include <cstddef>
#include <string>

namespace plat {
namespace tls {

struct Settings {
    bool verify = true;           // certificate chain and host name
    const char* caFile = nullptr;  // PEM bundle; null or "": the system's store
    const char* hostName = nullptr;  // the name the certificate must carry
};

class Channel;

constexpr long kWantRead = -2;
constexpr long kWantWrite = -3;
constexpr long kFailed = -1;

// A channel on the socket, not yet shaken hands; null (with the reason) when
// the settings cannot be used, e.g. a CA file that does not load.
Channel* open(net::Socket s, const Settings& settings, std::string& reason);
// 1 when the handshake is complete, else kWantRead, kWantWrite or kFailed.
long handshake(Channel* c);
// Plain bytes: the count, 0 at the end of the stream, or one of the codes.
long receive(Channel* c, void* buffer, std::size_t count);
// Bytes taken: the count, or one of the codes. A call that answered kWant*
// must be repeated with the same bytes.
long send(Channel* c, const void* buffer, std::size_t count);
// Plain bytes already decrypted and not yet received.
bool pending(const Channel* c);
// Why the last kFailed: the library's reason, in its words.
std::string reason(const Channel* c);
// A socket error behind the last kFailed (a WinSock number), 0 when the
// failure was the TLS layer's own.
int socketError(const Channel* c);
// Sends the closing alert when possible (never waits) and frees the channel.
void close(Channel* c);

}  // namespace tls
}  // namespace plat
