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
    // A session made only to refuse: it answers the first request with
    // "too many sessions" and ends.
    SessionThread(Server& server, int fd, unsigned long id, bool refuseOnly = false);
    ~SessionThread();
    SessionThread(const SessionThread&) = delete;
    SessionThread& operator=(const SessionThread&) = delete;

    // Serves the connection until it ends; closes the socket.
    void run();
    // From another thread: wakes the session out of its socket wait and
    // interrupts a running statement, so that it ends soon.
    void abort();

    unsigned long id() const { return id_; }
    bool refusing() const { return refuseOnly_; }

private:
    enum class Wait { Ok, Closed, TimedOut, Failed };
    Wait receive(void* buffer, std::size_t count, unsigned timeoutSeconds);
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
    static int cancelCheck(void* self);

    Server& server_;
    int fd_;
    unsigned long id_;
    bool refuseOnly_;
    bool loggedIn_ = false;
    std::string user_;
    std::mutex engineMutex_;  // guards engine_ against abort()
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<Transport> transport_;
    std::chrono::steady_clock::time_point statementDeadline_;
};

}  // namespace vornd
