// The scripted fake server; see fake_server.h.
#include "support/fake_server.h"
#include "support/kitreq_bytes.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace vorntest {

FakeServer::FakeServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 8) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port_ = ntohs(a.sin_port);
}

FakeServer::~FakeServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
}

FakeServer& FakeServer::expect(std::uint8_t kind, std::uint16_t number) {
    return add([this, kind, number](int& conn) {
        const std::string what = "no frame where request " + std::to_string(number) + " was expected";
        unsigned char head[4];
        std::uint32_t len = 0;
        if (conn < 0) return false;
        if (!readExact(conn, head, 4)) return fail(what), false;
        if (!vornwire::DecodeFrameHeader(head, len))
            return fail("frame header out of range: " + kitreq::Hex({head, head + 4})), false;
        std::vector<unsigned char> body(len);
        if (len && !readExact(conn, body.data(), len)) return fail(what), false;
        {
            std::lock_guard<std::mutex> g(lock_);
            received_.push_back(body);
        }
        CPACKET p(body.data(), body.size());
        std::uint8_t gotKind = 0;
        std::uint16_t gotNumber = 0;
        p.TakeU8(gotKind).TakeU16(gotNumber);
        if (gotKind != kind || gotNumber != number)
            return fail("expected " + std::string(1, char(kind)) + std::to_string(number) + ", got " +
                        kitreq::Hex(body)), false;
        return true;
    });
}

FakeServer& FakeServer::reply(std::uint16_t number, std::int32_t status, const char* message,
                              const CPACKET& results, std::uint8_t kind) {
    CPACKET block(results);
    vornwire::AddAnswerHeader(block, kind, number, static_cast<std::uint32_t>(status), CSTRING(message));
    std::vector<unsigned char> bytes(4);
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(block.Length()), bytes.data());
    auto* p = reinterpret_cast<const unsigned char*>(block.Data());
    bytes.insert(bytes.end(), p, p + block.Length());
    return raw(std::move(bytes));
}

FakeServer& FakeServer::raw(std::vector<unsigned char> bytes) {
    return add([this, bytes](int& conn) {
        for (std::size_t at = 0; at < bytes.size();) {
            const ssize_t w = ::send(conn, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return fail("could not send " + kitreq::Hex(bytes)), false;
            at += std::size_t(w);
        }
        return true;
    });
}

FakeServer& FakeServer::close() {
    return add([](int& conn) {
        ::close(conn);
        conn = -1;
        return true;
    });
}

FakeServer& FakeServer::silence() {
    return add([this](int& conn) {
        for (unsigned char sink; readExact(conn, &sink, 1);) {
        }
        return true;
    });
}

FakeServer& FakeServer::drip(std::vector<unsigned char> bytes, int pauseMs) {
    return add([bytes, pauseMs](int& conn) {
        for (unsigned char b : bytes) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            if (::send(conn, &b, 1, MSG_NOSIGNAL) != 1) break;
        }
        return true;
    });
}

void FakeServer::start() {
    if (port_ == 0) return fail("the fake server could not listen");
    thread_ = std::thread([this] { run(); });
}

std::vector<std::string> FakeServer::finish() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> g(lock_);
    return failures_;
}

std::vector<std::vector<unsigned char>> FakeServer::received() const {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
}

void FakeServer::fail(const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    failures_.push_back(text);
}

// Reads n bytes; false at the end of the stream, on stop, or after 15
// seconds without a byte.
bool FakeServer::readExact(int conn, unsigned char* p, std::size_t n) {
    for (unsigned quiet = 0; n > 0;) {
        pollfd pf{conn, POLLIN, 0};
        if (poll(&pf, 1, 100) == 0) {
            if (stop_ || ++quiet > 150) return false;
            continue;
        }
        const ssize_t got = ::recv(conn, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= std::size_t(got);
    }
    return true;
}

void FakeServer::run() {
    int conn = -1;
    for (unsigned waited = 0; conn < 0 && waited < 150 && !stop_; ++waited) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) conn = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (conn < 0) {
        if (!stop_) fail("no connection");
        return;
    }
    bool ok = true;
    for (const Step& step : steps_)
        if (!(ok = step(conn))) break;
    if (conn >= 0) {
        // Anything more than the script is a mismatch; wait for the client to close.
        unsigned char b = 0;
        if (ok && readExact(conn, &b, 1)) fail("unexpected bytes after the script: " + kitreq::Hex({b}));
        ::close(conn);
    }
}

int OpenDescriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace vorntest
