#include "server/Server.h"

#include "server/Session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <malloc.h>
#include <algorithm>
#include <thread>
#include <vector>

namespace vornd {

namespace {

// Connections that have not logged in yet, from one source address and in
// all; a newer one pushes out the oldest, so that idle connections cannot
// keep a real client from logging in.
constexpr std::size_t kMaxPendingPerAddress = 16;
constexpr std::size_t kMaxPending = 256;

// Failed logins: the answer waits kFailDelayStep for each failure from the
// same address within kFailWindow, at most kFailDelayMax.
constexpr auto kFailDelayStep = std::chrono::milliseconds(100);
constexpr auto kFailDelayMax = std::chrono::milliseconds(2000);
constexpr auto kFailWindow = std::chrono::seconds(60);

// Waiting for sessions to end at shutdown.
constexpr auto kShutdownGrace = std::chrono::seconds(10);

std::string addressText(const sockaddr* sa) {
    char host[NI_MAXHOST] = "";
    char port[NI_MAXSERV] = "";
    const socklen_t len = sa->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    getnameinfo(sa, len, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    return sa->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                     : std::string(host) + ":" + port;
}

std::string hostText(const sockaddr* sa) {
    char host[NI_MAXHOST] = "";
    const socklen_t len = sa->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    getnameinfo(sa, len, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
    return host;
}

}  // namespace

Server::~Server() {
    if (listenFd_ >= 0) ::close(listenFd_);
    for (int fd : wakePipe_)
        if (fd >= 0) ::close(fd);
}

bool Server::listen(std::string& bound, std::string& error) {
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(options_.host.empty() ? nullptr : options_.host.c_str(),
                               options_.port.c_str(), &hints, &list);
    if (rc != 0) {
        error = "cannot resolve " + options_.host + ":" + options_.port + ": " + gai_strerror(rc);
        return false;
    }
    // IPv4 first: the client kit connects over IPv4 only, so "localhost"
    // must not end up on ::1 alone.
    std::vector<addrinfo*> order;
    for (addrinfo* ai = list; ai; ai = ai->ai_next)
        if (ai->ai_family == AF_INET) order.push_back(ai);
    for (addrinfo* ai = list; ai; ai = ai->ai_next)
        if (ai->ai_family != AF_INET) order.push_back(ai);
    for (addrinfo* ai : order) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 64) == 0) {
            listenFd_ = fd;
            break;
        }
        error = std::strerror(errno);
        ::close(fd);
    }
    freeaddrinfo(list);
    if (listenFd_ < 0) {
        error = "cannot listen on " + options_.host + ":" + options_.port + ": " + error;
        return false;
    }
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len);
    bound = addressText(reinterpret_cast<sockaddr*>(&ss));
    return true;
}

void Server::stop() {
    stopping_.store(true);
    const char byte = 1;
    // Async-signal-safe; a full pipe already holds a wake-up.
    [[maybe_unused]] ssize_t n = ::write(wakePipe_[1], &byte, 1);
}

void Server::leave(SessionThread* s) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(s);
    if (it == sessions_.end()) return;
    if (it->second.admitted) --admitted_;
    sessions_.erase(it);
}

SessionThread* Server::adopt(int fd, const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    makeRoom(host);
    auto* session = new SessionThread(*this, fd, ++nextId_);
    sessions_[session].address = host;
    return session;
}

bool Server::admit(SessionThread* s) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(s);
    if (it == sessions_.end()) return false;
    if (it->second.admitted) return true;
    if (admitted_ >= options_.maxSessions) return false;
    it->second.admitted = true;
    ++admitted_;
    return true;
}

std::chrono::milliseconds Server::loginFailed(SessionThread* s) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(s);
    if (it == sessions_.end()) return kFailDelayMax;
    const auto now = std::chrono::steady_clock::now();
    // Forget quiet addresses, so that the table stays small.
    if (failures_.size() > 4096)
        for (auto f = failures_.begin(); f != failures_.end();)
            f = now - f->second.since > kFailWindow ? failures_.erase(f) : std::next(f);
    Failures& f = failures_[it->second.address];
    if (f.count == 0 || now - f.since > kFailWindow) {
        f.count = 0;
        f.since = now;
    }
    ++f.count;
    return std::min<std::chrono::milliseconds>(kFailDelayStep * f.count, kFailDelayMax);
}

void Server::makeRoom(const std::string& address) {
    std::size_t fromAddress = 0, pending = 0;
    SessionThread* oldestThere = nullptr;
    SessionThread* oldest = nullptr;
    for (auto& [session, peer] : sessions_) {
        if (peer.admitted || peer.evicted) continue;
        ++pending;
        if (!oldest || session->id() < oldest->id()) oldest = session;
        if (peer.address != address) continue;
        ++fromAddress;
        if (!oldestThere || session->id() < oldestThere->id()) oldestThere = session;
    }
    SessionThread* victim = fromAddress >= kMaxPendingPerAddress ? oldestThere
                            : pending >= kMaxPending             ? oldest
                                                                 : nullptr;
    if (!victim) return;
    sessions_[victim].evicted = true;
    log_.write(victim->id(), "not logged in; closed to make room for a newer connection");
    victim->abort();
}

void Server::threadDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    --threads_;
    idle_.notify_all();
}

bool Server::run() {
    while (!stopping_.load()) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            log_.write(0, "poll failed: %s", std::strerror(errno));
            break;
        }
        if (fds[1].revents) break;
        if (!(fds[0].revents & POLLIN)) continue;
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
                log_.write(0, "accept failed: %s", std::strerror(errno));
                // Out of descriptors: do not spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &on, sizeof on);
        // A client that stops reading must not hold its session thread forever.
        timeval sendLimit{static_cast<time_t>(options_.frameTimeoutSeconds), 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);

        SessionThread* session = adopt(fd, hostText(reinterpret_cast<sockaddr*>(&peer)));
        const unsigned long id = session->id();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++threads_;
        }
        log_.write(id, "connection from %s", addressText(reinterpret_cast<sockaddr*>(&peer)).c_str());
        try {
            std::thread([this, session] {
                session->run();
                log_.write(session->id(), "session ended");
                // Leave before deleting, so that stop() never reaches a
                // session that is gone; count down last, so that the server
                // outlives every use of it.
                leave(session);
                const bool large = session->movedLargeFrames();
                delete session;
                // Give the memory of a large request or answer back to the
                // system: a long-running server must not keep every peak.
                // Small sessions leave nothing worth the walk over the heap.
                if (large) malloc_trim(0);
                threadDone();
            }).detach();
        } catch (const std::system_error& e) {
            log_.write(id, "cannot start a session thread: %s", e.what());
            leave(session);
            delete session;
            threadDone();
        }
    }

    ::close(listenFd_);
    listenFd_ = -1;
    std::unique_lock<std::mutex> lock(mutex_);
    log_.write(0, "shutting down; %zu sessions open", sessions_.size());
    for (auto& entry : sessions_) entry.first->abort();
    if (!idle_.wait_for(lock, kShutdownGrace, [this] { return threads_ == 0; })) {
        log_.write(0, "%u sessions did not end in time", threads_);
        return false;
    }
    return true;
}

}  // namespace vornd
