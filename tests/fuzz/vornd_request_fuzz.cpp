// Fuzz target: vornd's request decoding. The input is what a client sends on
// a fresh connection: frames, logins and requests. A session of a real
// server object serves it over a socket pair until the input ends.
#include "server/Server.h"
#include "server/Session.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

vornd::Server& server() {
    static vornd::Log log;
    static vornd::Server* s = [] {
        vornd::ServerOptions o;
        static const std::string db = "/tmp/vornd-fuzz-" + std::to_string(getpid()) + ".db";
        o.database = db;
        o.loginTimeoutSeconds = 1;
        o.frameTimeoutSeconds = 1;
        std::atexit([] { std::remove(db.c_str()); });
        return new vornd::Server(o, log);
    }();
    return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
    const int big = 1 << 20;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    // Answers nobody reads must not block the session.
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fds[0], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += std::size_t(n);
    }
    ::shutdown(fds[0], SHUT_WR);
    vornd::SessionThread* session = server().adopt(fds[1], "fuzz");
    session->run();
    server().leave(session);
    delete session;  // closes its end
    ::close(fds[0]);
    return 0;
}
