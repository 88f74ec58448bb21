#include "WireClient.h"

#include "vornvdb/ScrambleKey.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vorndtest {

namespace {

constexpr int kAnswerTimeoutMs = 60000;

CLSTRING item(const std::string& s) { return CLSTRING(s.data(), s.size()); }

// Milliseconds left until `deadline` (0 once it has passed).
int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

CPACKET request(std::uint16_t number, const CPACKET& args) {
    CPACKET body(args);
    vornwire::AddHeader(body, vornwire::kKindRequest, number);
    return body;
}

}  // namespace

bool WireClient::connect(std::uint16_t port) {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close();
        return false;
    }
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

void WireClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool WireClient::sendRaw(const void* bytes, std::size_t count) {
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = ::send(fd_, p, count, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string WireClient::receiveRaw(std::size_t count, int timeoutMs) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, msLeft(deadline)) <= 0) break;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
        closed_ = n == 0 || (n < 0 && errno == ECONNRESET);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

bool WireClient::closedByPeer(int timeoutMs) {
    closed_ = false;
    receiveRaw(SIZE_MAX, timeoutMs);
    return closed_;
}

bool WireClient::sendFrame(const CPACKET& body) {
    unsigned char head[4];
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(body.Length()), head);
    return sendRaw(head, 4) && sendRaw(body.Data(), body.Length());
}

Answer WireClient::callBody(const CPACKET& body) {
    Answer a;
    if (!sendFrame(body)) return a;
    const std::string answerHead = receiveRaw(4, kAnswerTimeoutMs);
    std::uint32_t length = 0;
    if (answerHead.size() != 4 ||
        !vornwire::DecodeFrameHeader(reinterpret_cast<const unsigned char*>(answerHead.data()), length) || length < 7)
        return a;
    const std::string bytes = receiveRaw(length, kAnswerTimeoutMs);
    CPACKET block;
    if (bytes.size() != length || !block.Resize(length)) return a;
    std::memcpy(block.Data(), bytes.data(), length);
    std::uint32_t status = 0;
    CLSTRING message;
    block.TakeU8(a.kind).TakeU16(a.number).TakeU32(status).TakeShortItem(message);
    a.status = static_cast<std::int32_t>(status);
    a.message.assign(message.Data() ? message.Data() : "", message.Length());
    if (block.Length() > 0) a.rest.assign(block.Data(), block.Length());
    a.ok = true;
    return a;
}

bool WireClient::send(std::uint16_t number, const CPACKET& args) { return sendFrame(request(number, args)); }

Answer WireClient::call(std::uint16_t number, const CPACKET& args) { return callBody(request(number, args)); }

Answer WireClient::start(const std::string& user, const std::string& password, const std::string& clientVersion,
                         std::uint32_t flags) {
    unsigned char scrambled[vornwire::kScrambleLength];
    CPACKET p;
    if (flags & 1) {
        vornwire::ScrambleBytes(user.c_str(), scrambled);
        p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled));
    } else {
        p.AppendShortItem(item(user));
    }
    vornwire::ScrambleBytes(password.c_str(), scrambled);
    p.AppendShortItem(CLSTRING(scrambled, sizeof scrambled)).AppendU32(0);
    p.AppendShortItem(item(clientVersion)).AppendShortItem(item("")).AppendU32(flags);
    return call(110, p);
}

CPACKET WireClient::execsqlArgs(const std::string& sql, std::uint32_t rows, std::uint32_t block,
                                const std::string& command) {
    CPACKET p;
    p.AppendU32(0).AppendU32(0).AppendU32(0);
    p.AppendShortItem(item(command)).AppendShortItem(item("")).AppendLongItem(item(""));
    p.AppendLongItem(CLSTRING(sql.c_str(), sql.size() + 1));  // with its terminator
    p.AppendU32(rows).AppendU32(36).AppendU32(block);
    return p;
}

}  // namespace vorndtest
