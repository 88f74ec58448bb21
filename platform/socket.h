// TCP sockets for the client kit's comms module: WinSock on Windows, BSD
// sockets elsewhere. Error codes are WinSock numbers on every platform
// (10060 for a time-out, 10061 for a refused connection, 11001 for an unknown
// host, ...), so one table of texts serves both builds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {
namespace net {

using Socket = std::uintptr_t;
constexpr Socket kInvalidSocket = ~Socket(0);

// Socket library start-up asking for version 2.2 (a no-op outside Windows):
// 0 or the start-up's error code. Each successful start needs a cleanup.
int startup();
// 0, or the last socket error when the clean-up failed.
int cleanup();

// The last socket error of this thread, as a WinSock number.
int lastError();

struct AddressList;

// Resolves host and service for an IPv4 TCP stream. 0 and the list (to be
// released with freeAddresses), or the resolver's error as a WinSock number.
int resolveTcp4(const char* host, const char* service, AddressList** list);
void freeAddresses(AddressList* list);

// A new IPv4 stream socket, or kInvalidSocket (see lastError).
Socket openStream();
// Connects to the first address of the list only, waiting at most `seconds`
// (then the error is 10060, timed out).
bool connectFirst(Socket s, const AddressList* list, unsigned seconds);
bool closeSocket(Socket s);

// Tunes a connected stream for requests and their answers: small writes go
// out at once (no Nagle wait), and each receive or send call gives up after
// its limit in seconds (0: none), failing with 10060 (timed out), so that no
// wait call is needed before it. False when the system refuses (lastError).
bool tuneStream(Socket s, unsigned receiveSeconds, unsigned sendSeconds);
bool setTimeLimits(Socket s, unsigned receiveSeconds, unsigned sendSeconds);

// Waits until the socket can be read (or written): 1 ready, 0 the time-out
// passed, -1 failure (see lastError).
int waitReadable(Socket s, unsigned seconds);
int waitWritable(Socket s, unsigned seconds);

// One recv / send call: the byte count, 0 at end of stream (recv) or when
// nothing was taken (send), -1 on failure (see lastError; 10060 when the
// limit of setTimeLimits passed). Sending never raises a signal on a closed
// connection.
long receive(Socket s, void* buffer, std::size_t bytes);
long send(Socket s, const void* buffer, std::size_t bytes);

// The blocking hook of the socket library (the thread's message pump while a
// blocking call waits). True when the platform call succeeded; outside
// Windows there is no hook and the call succeeds.
bool setBlockingHook(bool on);

}  // namespace net
}  // namespace plat
