// One client connection: reads frames, answers each request, and owns the
// session's SQL engine once the client has logged in.
#pragma once

#include "server/Engine.h"
#include "server/Transport.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CPACKET;
struct iovec;

namespace vornd {

class Server;

// What a request handler hands back: the answer's status and message, the
// results that follow them, and whether the connection ends after it.
struct Reply;

class SessionThread {
public:
    SessionThread(Server& server, int fd, unsigned long id);
    ~SessionThread();
    SessionThread(const SessionThread&) = delete;
    SessionThread& operator=(const SessionThread&) = delete;

    // Serves the connection until it ends; closes the socket.
    void run();
    // From another thread: wakes the session out of its socket wait and
    // interrupts a running statement, so that it ends soon.
    void abort();

    unsigned long id() const { return id_; }
    // Whether a frame in or out was large: its memory may be worth giving
    // back to the system when the session ends.
    bool movedLargeFrames() const { return largestFrame_ > kLargeFrame; }

private:
    enum class Wait { Ok, Closed, TimedOut, Failed };
    Wait receive(void* buffer, std::size_t count, unsigned timeoutSeconds);
    // Seconds left to complete the login (at least 1).
    unsigned loginSecondsLeft() const;
    // Waits `delay` unless the connection is aborted or closed first.
    void pause(std::chrono::milliseconds delay);
    bool sendAll(const void* buffer, std::size_t count);
    bool sendParts(::iovec* parts, std::size_t count);
    bool sendAnswer(std::uint8_t kind, std::uint16_t number, const Reply& reply);

    Reply dispatch(std::uint8_t kind, std::uint16_t number, CPACKET& request);
    Reply startVorn(CPACKET& request);
    Reply beginVdbs(CPACKET& request);
    Reply endSession(CPACKET& request);
    Reply version(CPACKET& request);
    Reply xversion(CPACKET& request);
    Reply message(CPACKET& request);
    Reply exportRequest(CPACKET& request);
    Reply login(const std::string& user, const std::string& password, bool checked);
    Reply loginRefused(const std::string& text);
    static int cancelCheck(void* self);

    Server& server_;
    int fd_;
    unsigned long id_;
    bool loggedIn_ = false;
    bool admitted_ = false;  // counted among the sessions since its first login
    unsigned failedLogins_ = 0;
    std::chrono::steady_clock::time_point loginDeadline_;
    std::string user_;
    std::mutex engineMutex_;  // guards engine_ against abort()
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<Transport> transport_;
    // Bytes read ahead: a request's header and body come in one read.
    static constexpr std::size_t kInbox = 16 * 1024;
    static constexpr std::size_t kLargeFrame = 64 * 1024;
    std::size_t largestFrame_ = 0;
    std::unique_ptr<char[]> inbox_;
    std::size_t inStart_ = 0, inEnd_ = 0;
    std::chrono::steady_clock::time_point statementDeadline_;
};

}  // namespace vornd
