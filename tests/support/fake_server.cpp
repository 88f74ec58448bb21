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
#include <cstring>

namespace vorntest {

namespace {

bool writeAll(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

}  // namespace

FakeServer::FakeServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 8) == 0) {
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
}

FakeServer::~FakeServer() {
    stop();
    if (listener_ >= 0) ::close(listener_);
}

FakeServer& FakeServer::expect(std::uint8_t kind, std::uint16_t number, Check check) {
    Step s(Step::Expect);
    s.msgKind = kind;
    s.number = number;
    s.check = std::move(check);
    return add(std::move(s));
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
    Step s(Step::Send);
    s.bytes = std::move(bytes);
    return add(std::move(s));
}

void FakeServer::start(bool repeat, int maxConnections) {
    if (port_ == 0) {
        fail("the fake server could not listen");
        return;
    }
    thread_ = std::thread([this, repeat, maxConnections] { run(repeat, maxConnections); });
}

void FakeServer::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
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

int FakeServer::acceptOne(unsigned seconds) {
    for (unsigned waited = 0; waited < seconds * 10 && !stop_; ++waited) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                ++connections_;
                return c;
            }
        }
    }
    return -1;
}

bool FakeServer::readExact(int conn, unsigned char* p, std::size_t n) {
    std::size_t ticks = 0;
    while (n > 0) {
        pollfd pf{conn, POLLIN, 0};
        int r = poll(&pf, 1, 100);
        if (r == 0) {
            if (stop_ || ++ticks > 150) return false;  // 15 seconds
            continue;
        }
        ssize_t got = ::recv(conn, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= std::size_t(got);
    }
    return true;
}

bool FakeServer::readFrame(int conn, std::vector<unsigned char>& body) {
    unsigned char head[4];
    if (!readExact(conn, head, 4)) return false;
    std::uint32_t len = 0;
    if (!vornwire::DecodeFrameHeader(head, len)) {
        fail("frame header out of range: " + kitreq::Hex(std::vector<unsigned char>(head, head + 4)));
        return false;
    }
    body.assign(len, 0);
    if (len && !readExact(conn, body.data(), len)) return false;
    std::lock_guard<std::mutex> g(lock_);
    received_.push_back(body);
    return true;
}

bool FakeServer::runScript(int& conn) {
    for (const Step& step : steps_) {
        switch (step.kind) {
        case Step::Expect: {
            std::vector<unsigned char> body;
            if (conn < 0) return false;
            if (!readFrame(conn, body)) {
                fail("no frame where request " + std::to_string(step.number) + " was expected");
                return false;
            }
            CPACKET p(body.data(), body.size());
            std::uint8_t kind = 0;
            std::uint16_t number = 0;
            p.TakeU8(kind).TakeU16(number);
            if (kind != step.msgKind || number != step.number) {
                fail("expected " + std::string(1, char(step.msgKind)) + std::to_string(step.number) + ", got " +
                     kitreq::Hex(body));
                return false;
            }
            if (step.check) {
                std::vector<std::string> f;
                step.check(p, f);
                for (auto& t : f) fail("request " + std::to_string(step.number) + ": " + t);
            }
            break;
        }
        case Step::Ping: {
            unsigned char b[5];
            if (!readExact(conn, b, 5) || std::memcmp(b, "\x05\x00\x00\x00P", 5) != 0) {
                fail("no ping frame");
                return false;
            }
            break;
        }
        case Step::Send:
            if (!writeAll(conn, step.bytes.data(), step.bytes.size())) {
                fail("could not send " + kitreq::Hex(step.bytes));
                return false;
            }
            break;
        case Step::Close:
            ::close(conn);
            conn = -1;
            break;
        case Step::Silence: {
            unsigned char sink;
            while (readExact(conn, &sink, 1)) {
            }
            break;
        }
        }
    }
    return true;
}

void FakeServer::run(bool repeat, int maxConnections) {
    do {
        int conn = acceptOne(repeat ? 3600 : 15);
        if (conn < 0) {
            if (!repeat && !stop_) fail("no connection");
            return;
        }
        bool ok = runScript(conn);
        if (conn >= 0) {
            // Anything more than the script is a mismatch; wait for the
            // client to close.
            unsigned char b = 0;
            if (ok && readExact(conn, &b, 1)) fail("unexpected bytes after the script: " + kitreq::Hex({b}));
            ::close(conn);
        }
    } while (repeat && !stop_ && (maxConnections == 0 || connections_ < maxConnections));
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
