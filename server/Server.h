// The listener: accepts connections on one address, runs each session on a
// thread of its own, and stops cleanly when asked.
#pragma once

#include "server/Engine.h"
#include "server/Log.h"
#include "server/Transport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace vornd {

constexpr char kServerVersion[] = "2.3-0250";
constexpr char kDefaultPort[] = "7110";

struct ServerOptions {
    std::string database;
    std::string host = "127.0.0.1";
    std::string port = kDefaultPort;
    std::string usersFile;              // empty: every login is accepted
    unsigned idleTimeoutSeconds = 3600;  // 0: sessions never time out
    unsigned frameTimeoutSeconds = 60;  // to receive the rest of a started frame
    unsigned loginTimeoutSeconds = 5;   // from the connection to a completed login
    std::uint32_t maxFrame = 64u << 20; // largest request frame accepted
    unsigned maxSessions = 64;
    unsigned statementTimeoutSeconds = 0;  // 0: statements may run as long as they need
    EngineOptions engine;
    std::shared_ptr<TlsContext> tls;    // null: clear text only
    bool tlsOnly = false;               // with tls: clear connections are refused
};

class SessionThread;

class Server {
public:
    Server(const ServerOptions& options, Log& log) : options_(options), log_(log) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; the chosen address goes to `bound` ("host:port").
    bool listen(std::string& bound, std::string& error);
    // Accepts until stop(); then ends every session and returns. False when
    // some session did not end within the grace period.
    bool run();
    // Safe from a signal handler.
    void stop();

    const ServerOptions& options() const { return options_; }
    Log& log() { return log_; }

    // Takes on a new connection from `host` (its socket `fd`), making room
    // among the connections that have not logged in; the session is run by
    // the caller, who hands it back with leave().
    SessionThread* adopt(int fd, const std::string& host);

    // A session thread on its way out: stop() no longer reaches it.
    void leave(SessionThread* s);
    void threadDone();

    // A login succeeded: the connection becomes one of the sessions, if the
    // session limit leaves room. Until then it counts only as a connection
    // waiting to log in, of which each source address may hold a few.
    bool admit(SessionThread* s);
    // A login failed: how long to wait before answering, longer the more
    // logins from the same address failed lately.
    std::chrono::milliseconds loginFailed(SessionThread* s);

private:
    ServerOptions options_;
    Log& log_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable idle_;
    struct Peer {
        std::string address;  // the source address, without the port
        bool admitted = false;
        bool evicted = false;  // aborted to make room for a newer connection
    };
    std::map<SessionThread*, Peer> sessions_;
    struct Failures {
        unsigned count = 0;
        std::chrono::steady_clock::time_point since;
    };
    std::map<std::string, Failures> failures_;  // failed logins by source address
    unsigned threads_ = 0;   // session threads still running
    unsigned admitted_ = 0;  // of the sessions, those logged in
    unsigned long nextId_ = 0;

    // With the lock held: makes room for one more connection from `address`
    // among those that have not logged in, aborting the oldest when needed.
    void makeRoom(const std::string& address);
};

}  // namespace vornd
