// The TCP module of the client kit: eight plain functions over the socket
// layer. Every failure is pushed as a text onto the caller's error stack
// (when there is one) and answered with false / null.
#pragma once

#include "platform/socket.h"

#include <cstdint>

class CERRSTACK;

// One open connection; made by OpenNetCon, freed by CloseNetCon.
struct NETCON {
    char traceName[16];          // "NET_%4.4X.LOG" when tracing, else ""
    plat::net::Socket socket;
    CERRSTACK* errStack;         // may be null: failures are then not reported
    std::uint16_t receiveTimeout;  // seconds per wait
    std::uint16_t sendTimeout;
    char* host;
    plat::net::Socket socket2;   // a second channel; never used by this module
    std::uint16_t channelMode;   // 2 would select socket2; always 0 here
    // Bytes read ahead of the caller: a frame's header and a small body
    // come off the socket in one call.
    unsigned char* inbox;        // kNetInbox bytes
    std::uint32_t inStart, inEnd;
    // The answer to the last request is due by this tick (plat::tickMs); 0
    // when no limit applies. The limit bounds the whole answer, so a peer
    // that dribbles bytes cannot stretch an exchange one wait at a time.
    std::uint64_t answerDue;
    std::uint16_t socketLimit;   // the receive limit the socket carries now
};

constexpr std::uint32_t kNetInbox = 16 * 1024;

std::int16_t StartNetCon(CERRSTACK* errStack);
std::int16_t StopNetCon(CERRSTACK* errStack);
NETCON* OpenNetCon(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                   std::uint16_t receiveTimeout, std::uint16_t sendTimeout);
std::int16_t CloseNetCon(NETCON* con);
std::int16_t PingNetCon(NETCON* con);
std::int16_t BlockingHookNetCon(NETCON* con, std::uint8_t on);
std::int16_t ReceiveNetCon(NETCON* con, std::uint32_t channel, void* buffer, std::uint32_t count);
std::int16_t SendNetCon(NETCON* con, std::uint32_t channel, const void* buffer, std::uint32_t count);
// New receive and send calls of the open connection give up after these
// limits (seconds).
void SetNetConTimeLimits(NETCON* con, std::uint16_t receiveTimeout, std::uint16_t sendTimeout);

// Seconds left until the answer now due (rounded up), 0 when the time is
// up; the receive limit when no answer is due. Used by the TLS module too.
unsigned NetConSecondsLeft(const NETCON* con);
// Called when a request has gone out: its answer is due within the
// receive limit.
void NetConAnswerDueFromNow(NETCON* con);

// The text the module reports for a code ("Unknown error" for codes it does
// not know).
const char* NetErrorText(int code);

// The identifier of a connection in log lines.
std::uint32_t NetConId(const NETCON* con);
