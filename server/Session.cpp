#include "server/Session.h"

#include "server/Server.h"
#include "server/Status.h"
#include "server/Users.h"
#include "vornvdb/CData.h"
#include "vornvdb/RequestFamily.h"
#include "vornvdb/ScrambleKey.h"

#include <sqlite3.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace vornd {

struct Reply {
    std::int32_t status = kStatusOk;
    std::string message;
    CPACKET results;
    // An export's data block and what follows it, sent after `results`
    // without being copied into a packet.
    CommandAnswer answer;
    CPACKET after;
    bool close = false;
};

namespace {

constexpr std::size_t kMaxMessage = 4000;  // answer messages are short items

// Before a completed login a frame is a start request: a few short items.
constexpr std::uint32_t kMaxLoginFrame = 4096;
// Failed logins on one connection before it is closed.
constexpr unsigned kMaxFailedLogins = 5;

// Takes request fields off the front of a packet, refusing any field that
// the packet does not hold in full.
class Fields {
public:
    explicit Fields(CPACKET& p) : p_(p) {}
    bool u8(std::uint8_t& v) { return need(1) && (p_.TakeU8(v), true); }
    bool u32(std::uint32_t& v) { return need(4) && (p_.TakeU32(v), true); }
    bool shortItem(std::string& s) {
        std::uint16_t n = 0;
        return need(2) && (p_.TakeU16(n), bytes(n, s));
    }
    bool longItem(std::string& s) {
        std::uint32_t n = 0;
        return need(4) && (p_.TakeU32(n), bytes(n, s));
    }
    bool atEnd() const { return p_.Length() == 0; }

private:
    bool need(std::size_t n) const { return p_.Length() >= n; }
    bool bytes(std::size_t n, std::string& s) {
        if (!need(n)) return false;
        s.assign(p_.Data(), n);
        p_.Consume(n);
        return true;
    }
    CPACKET& p_;
};

void appendLong(CPACKET& p, const std::string& s) {
    p.AppendU32(static_cast<std::uint32_t>(s.size()));
    p.AppendBytes(s.data(), s.size());
}

void appendShort(CPACKET& p, const std::string& s) {
    CLSTRING item(s.data(), s.size());
    p.AppendShortItem(item);
}

// Cuts a message at a character boundary.
std::string shortMessage(const std::string& s) {
    if (s.size() <= kMaxMessage) return s;
    std::size_t n = kMaxMessage;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

Reply failure(std::int32_t status, std::string message) {
    Reply r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

std::string lower(std::string s) {
    while (!s.empty() && s.back() == '\0') s.pop_back();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool clientVersionAccepted(const std::string& v) { return v.size() >= 2 && v[0] == '2' && v[1] == '.'; }

// Texts for the status codes, for the Message request.
struct StatusText {
    std::int32_t status;
    const char* text;
};
const StatusText kStatusTexts[] = {
    {kStatusOk, "Success"},
    {kStatusMoreRows, "Success; more rows remain"},
    {-2, "Communication failure"},
    {kStatusVersionMismatch, "Client and server versions mismatched"},
    {kStatusTooManySessions, "Too many sessions, try again later."},
    {-6, "Server initialization failed"},
    {kStatusNotSupported, "The request is not supported by this server"},
    {kStatusLoginRefused, "Invalid user name or password"},
    {kStatusNotLoggedIn, "Not logged in"},
    {kStatusMalformed, "Malformed request"},
    {kStatusUnknownCommand, "Unknown command"},
    {kStatusUnknownFetchKey, "Unknown or expired fetch key"},
    {kStatusBadText, "Text is not valid UTF-8"},
    {kStatusTooLarge, "Answer too large"},
    {kStatusBadRequest, "Bad request"},
};

}  // namespace

SessionThread::SessionThread(Server& server, int fd, unsigned long id)
    : server_(server),
      fd_(fd),
      id_(id),
      loginDeadline_(std::chrono::steady_clock::now() + std::chrono::seconds(server.options().loginTimeoutSeconds)),
      transport_(makeTransport(fd, server.options().tls, server.options().tlsOnly,
                               server.options().frameTimeoutSeconds)),
      inbox_(new char[kInbox]) {}

unsigned SessionThread::loginSecondsLeft() const {
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(loginDeadline_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<unsigned>(left.count()) : 1u;
}

void SessionThread::pause(std::chrono::milliseconds delay) {
    pollfd pfd{fd_, POLLRDHUP, 0};
    ::poll(&pfd, 1, static_cast<int>(delay.count()));
}

SessionThread::~SessionThread() {
    // The transport's closing alert goes out before the socket closes: sent
    // after, it lands on whichever connection is given the number next.
    transport_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void SessionThread::abort() {
    ::shutdown(fd_, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (engine_) engine_->interrupt();
}

SessionThread::Wait SessionThread::receive(void* buffer, std::size_t count, unsigned timeoutSeconds) {
    char* p = static_cast<char*>(buffer);
    const std::size_t ready = std::min(count, inEnd_ - inStart_);
    std::memcpy(p, inbox_.get() + inStart_, ready);
    inStart_ += ready;
    p += ready;
    count -= ready;
    if (count == 0) return Wait::Ok;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (count > 0) {
        int waitMs = -1;
        if (timeoutSeconds) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return Wait::TimedOut;
            waitMs = static_cast<int>(left.count());
        }
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = transport_->buffered() ? 1 : ::poll(&pfd, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (ready == 0) return Wait::TimedOut;
        // A large rest goes straight to the caller; a small one with what
        // follows it.
        const bool direct = count >= kInbox;
        const ssize_t n = transport_->read(direct ? p : inbox_.get(), direct ? count : kInbox);
        if (n == 0) return Wait::Closed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return Wait::Failed;
        }
        if (!direct) {
            inEnd_ = static_cast<std::size_t>(n);
            inStart_ = std::min(count, inEnd_);
            std::memcpy(p, inbox_.get(), inStart_);
        }
        const std::size_t got = direct ? static_cast<std::size_t>(n) : inStart_;
        p += got;
        count -= got;
    }
    return Wait::Ok;
}

bool SessionThread::sendAll(const void* buffer, std::size_t count) {
    iovec part{const_cast<void*>(buffer), count};
    return sendParts(&part, 1);
}

bool SessionThread::sendParts(iovec* parts, std::size_t count) {
    while (count > 0) {
        // A block of every row comes in many chunks: at most IOV_MAX a call.
        const ssize_t n = transport_->write(parts, std::min<std::size_t>(count, IOV_MAX));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        // Step past what went out; usually all of it.
        std::size_t sent = static_cast<std::size_t>(n);
        while (count > 0 && sent >= parts->iov_len) {
            sent -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + sent;
            parts->iov_len -= sent;
        }
    }
    return true;
}

bool SessionThread::sendAnswer(std::uint8_t kind, std::uint16_t number, const Reply& reply) {
    // One write for the whole frame; the data block is not copied: it can
    // be a large document or object.
    CPACKET header;
    CLSTRING message(reply.message.data(), reply.message.size());
    vornwire::AddAnswerHeader(header, kind, number, static_cast<std::uint32_t>(reply.status), message);
    const CommandAnswer& a = reply.answer;
    const std::size_t body = header.Length() + reply.results.Length() + a.documentSize() + reply.after.Length();
    if (body > vornwire::kMaxFrameLength - 4) {
        server_.log().write(id_, "answer of %zu bytes too large for a frame; session closed", body);
        return false;
    }
    largestFrame_ = std::max(largestFrame_, body);
    unsigned char frame[4];
    vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(body), frame);
    std::vector<iovec> parts = {
        {frame, sizeof frame},
        {header.Data(), header.Length()},
        {reply.results.Data(), reply.results.Length()},
    };
    auto add = [&](std::string_view piece) { parts.push_back({const_cast<char*>(piece.data()), piece.size()}); };
    if (a.pieces.empty()) add(a.data);
    for (std::string_view piece : a.pieces) add(piece);
    parts.push_back({reply.after.Data(), reply.after.Length()});
    return sendParts(parts.data(), parts.size());
}

void SessionThread::run() {
    Log& log = server_.log();
    const ServerOptions& o = server_.options();
    for (;;) {
        unsigned char head[4];
        // Until the first login, the connection has a few seconds in all and
        // small frames only: it holds no session yet, and must not hold memory.
        const unsigned waitLimit = admitted_ ? o.idleTimeoutSeconds : loginSecondsLeft();
        Wait w = receive(head, sizeof head, waitLimit);
        if (w == Wait::TimedOut) {
            if (admitted_)
                log.write(id_, "idle for %u seconds; session closed", o.idleTimeoutSeconds);
            else
                log.write(id_, "no login within %u seconds; connection closed", o.loginTimeoutSeconds);
            break;
        }
        if (w != Wait::Ok) break;
        std::uint32_t length = 0;
        const std::uint32_t maxFrame = admitted_ ? o.maxFrame : std::min(o.maxFrame, kMaxLoginFrame);
        if (!vornwire::DecodeFrameHeader(head, length) || length == 0 || length > maxFrame) {
            log.write(id_, "refused a frame of %u bytes%s; session closed",
                      head[0] | head[1] << 8 | head[2] << 16 | static_cast<unsigned>(head[3]) << 24,
                      admitted_ ? "" : " before login");
            break;
        }
        largestFrame_ = std::max<std::size_t>(largestFrame_, length);
        CPACKET body;
        if (!body.Resize(length)) {
            log.write(id_, "no memory for a frame of %u bytes; session closed", length);
            break;
        }
        w = receive(body.Data(), length, admitted_ ? o.frameTimeoutSeconds : loginSecondsLeft());
        if (w != Wait::Ok) {
            log.write(id_, "frame cut short; session closed");
            break;
        }
        if (length == 1 && body.Data()[0] == 'P') {
            // Ping: a 7-byte frame whose first body byte is 'P'.
            const unsigned char pong[7] = {7, 0, 0, 0, 'P', 0, 0};
            if (!sendAll(pong, sizeof pong)) break;
            continue;
        }
        if (length < 3) {
            log.write(id_, "frame of %u bytes holds no message header; session closed", length);
            break;
        }
        std::uint8_t kind = 0;
        std::uint16_t number = 0;
        body.TakeU8(kind).TakeU16(number);

        const auto started = std::chrono::steady_clock::now();
        // Built in place: the results can be a large document, and a packet
        // copies on assignment.
        Reply reply = [&]() -> Reply {
            try {
                return dispatch(kind, number, body);
            } catch (const std::bad_alloc&) {
                return failure(kStatusTooLarge, "out of memory while answering the request");
            } catch (const std::exception& e) {
                return failure(kStatusBadRequest, std::string("internal error: ") + e.what());
            }
        }();
        reply.message = shortMessage(reply.message);
        if (log.verbose()) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started).count();
            log.write(id_, "request %u status %d (%lld ms)%s%s", number, reply.status,
                      static_cast<long long>(ms), reply.message.empty() ? "" : ": ",
                      reply.message.c_str());
        }
        if (!sendAnswer(vornwire::kKindRequest, number, reply) || reply.close) break;
    }
    if (!transport_->failure().empty()) log.write(id_, "%s", transport_->failure().c_str());
    std::lock_guard<std::mutex> lock(engineMutex_);
    engine_.reset();
}

Reply SessionThread::dispatch(std::uint8_t kind, std::uint16_t number, CPACKET& request) {
    struct Handler {
        std::uint16_t number;
        Reply (SessionThread::*serve)(CPACKET&);
        bool needsLogin;
    };
    static const Handler kHandlers[] = {
        {vdbreq::core::BeginVdbs, &SessionThread::beginVdbs, false},
        {vdbreq::core::EndVdbs, &SessionThread::endSession, false},
        {vdbreq::Cvdbkit2_Message.number, &SessionThread::message, false},
        {vdbreq::core::StartVorn, &SessionThread::startVorn, false},
        {vdbreq::core::StopVorn, &SessionThread::endSession, false},
        {vdbreq::Cvdbkit2_Version.number, &SessionThread::version, false},
        {vdbreq::Cvdbkit1_Export.number, &SessionThread::exportRequest, true},
        {vdbreq::CVDBEXT_XVersion.number, &SessionThread::xversion, false},
    };
    if (kind != vornwire::kKindRequest) {
        // This server sends no notifications, so no reply to one is due.
        return failure(kStatusBadRequest, "unexpected message kind " + std::to_string(kind));
    }
    for (const Handler& h : kHandlers) {
        if (h.number != number) continue;
        if (h.needsLogin && !loggedIn_) return failure(kStatusNotLoggedIn, "not logged in");
        return (this->*h.serve)(request);
    }
    return failure(kStatusNotSupported,
                   "request " + std::to_string(number) + " is not supported by this server");
}

Reply SessionThread::login(const std::string& user, const std::string& password, bool checked) {
    const ServerOptions& o = server_.options();
    if (checked) {
        switch (checkLogin(o.usersFile, user, password)) {
            case LoginCheck::Accepted: break;
            case LoginCheck::Refused:
                server_.log().write(id_, "login refused for user '%s'", user.c_str());
                return loginRefused("Invalid user name or password");
            case LoginCheck::Unreadable:
                server_.log().write(id_, "cannot read the users file %s", o.usersFile.c_str());
                return loginRefused("The server cannot read its users file");
            case LoginCheck::Unsafe:
                server_.log().write(id_, "the users file %s is writable by others; refused", o.usersFile.c_str());
                return loginRefused("The server refuses its users file: it is writable by others");
        }
    }
    if (!server_.admit(this)) {
        server_.log().write(id_, "refusing a login: %u sessions already", o.maxSessions);
        Reply r = failure(kStatusTooManySessions, "Too many sessions, try again later.");
        r.close = true;
        return r;
    }
    admitted_ = true;
    std::lock_guard<std::mutex> lock(engineMutex_);
    if (!engine_) {
        std::string error;
        engine_ = Engine::open(o.database, o.engine, error);
        if (!engine_) {
            server_.log().write(id_, "cannot open the database: %s", error.c_str());
            return failure(-6, "Server initialization failed: " + error);
        }
        engine_->setCancelCheck(&SessionThread::cancelCheck, this);
    }
    loggedIn_ = true;
    user_ = user;
    server_.log().write(id_, "user '%s' logged in", user.c_str());
    return Reply();
}

Reply SessionThread::loginRefused(const std::string& text) {
    // Slowed down, by source address, and a few tries per connection.
    pause(server_.loginFailed(this));
    Reply r = failure(kStatusLoginRefused, text);
    if (++failedLogins_ >= kMaxFailedLogins) {
        server_.log().write(id_, "%u failed logins; connection closed", failedLogins_);
        r.close = true;
    }
    return r;
}

int SessionThread::cancelCheck(void* self) {
    auto* s = static_cast<SessionThread*>(self);
    const unsigned limit = s->server_.options().statementTimeoutSeconds;
    if (limit && std::chrono::steady_clock::now() > s->statementDeadline_) return 1;
    // A client that has gone away will not read the answer.
    pollfd pfd{s->fd_, POLLRDHUP, 0};
    return ::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLRDHUP | POLLHUP | POLLERR)) ? 1 : 0;
}

Reply SessionThread::startVorn(CPACKET& request) {
    loggedIn_ = false;  // a new start replaces the old login, also when it fails
    Fields f(request);
    std::string user, password, clientVersion, startText;
    std::uint32_t number = 0, flags = 0;
    if (!f.shortItem(user) || !f.shortItem(password) || !f.u32(number) || !f.shortItem(clientVersion) ||
        !f.shortItem(startText))
        return failure(kStatusMalformed, "malformed start request");
    // Clients in compatibility mode leave the start flags out.
    if (!f.atEnd() && !f.u32(flags)) return failure(kStatusMalformed, "malformed start request");
    if (!clientVersionAccepted(clientVersion)) return failure(kStatusVersionMismatch, kServerVersion);
    if (flags & 1)
        user = vornwire::UnscrambleBytes(reinterpret_cast<const unsigned char*>(user.data()), user.size());
    password = vornwire::UnscrambleBytes(reinterpret_cast<const unsigned char*>(password.data()),
                                         password.size());
    return login(user, password, true);
}

Reply SessionThread::beginVdbs(CPACKET& request) {
    loggedIn_ = false;
    Fields f(request);
    std::uint8_t mode = 0;
    std::string clientVersion, startText;
    if (!f.u8(mode) || !f.shortItem(clientVersion) || !f.shortItem(startText))
        return failure(kStatusMalformed, "malformed begin request");
    if (!clientVersionAccepted(clientVersion)) return failure(kStatusVersionMismatch, kServerVersion);
    if (!server_.options().usersFile.empty())
        return failure(kStatusLoginRefused, "This server requires a user name and password");
    return login("", "", false);
}

Reply SessionThread::endSession(CPACKET&) {
    Reply r;
    r.close = true;
    return r;
}

Reply SessionThread::version(CPACKET&) {
    Reply r;
    appendShort(r.results, kServerVersion);
    return r;
}

Reply SessionThread::xversion(CPACKET&) {
    Reply r;
    appendShort(r.results, kServerVersion);
    appendShort(r.results, std::string("vornd on SQLite ") + sqlite3_libversion());
    return r;
}

Reply SessionThread::message(CPACKET& request) {
    Fields f(request);
    std::uint32_t number = 0;
    if (!f.u32(number)) return failure(kStatusMalformed, "malformed message request");
    std::string text = "Status " + std::to_string(static_cast<std::int32_t>(number));
    for (const StatusText& t : kStatusTexts)
        if (static_cast<std::uint32_t>(t.status) == number) text = t.text;
    Reply r;
    appendShort(r.results, text);
    return r;
}

Reply SessionThread::exportRequest(CPACKET& request) {
    Fields f(request);
    std::uint32_t a = 0, b = 0, c = 0, d = 0, e = 0, block = 0;
    std::string name, text2, data, text;
    if (!f.u32(a) || !f.u32(b) || !f.u32(c) || !f.shortItem(name) || !f.shortItem(text2) ||
        !f.longItem(data) || !f.longItem(text) || !f.u32(d) || !f.u32(e) || !f.u32(block))
        return failure(kStatusMalformed, "malformed export request");

    const std::string command = lower(name);
    statementDeadline_ = std::chrono::steady_clock::now() +
                         std::chrono::seconds(server_.options().statementTimeoutSeconds);
    CommandAnswer answer;
    if (command == "execsql") {
        answer = engine_->execsql(text, d, block);
    } else if (command == "sqlgetobject") {
        answer = engine_->getObject(text);
    } else if (command == "sqlgetencoding") {
        answer = engine_->getEncoding();
    } else if (command == "sqlgettabledesc") {
        answer = engine_->getTableDesc(text);
    } else {
        answer.status = kStatusUnknownCommand;
        answer.message = "unknown command: " + shortMessage(command);
        answer.data = faultDocument(answer.status, "vornd", "export", answer.message);
    }
    if (answer.status >= kStatusSqlBase && server_.log().verbose())
        server_.log().write(id_, "%s failed: %s", command.c_str(), answer.message.c_str());

    Reply r;
    r.status = answer.status;
    r.message = answer.message;
    r.results.AppendU32(a).AppendU32(b).AppendU32(c);
    r.results.AppendU32(static_cast<std::uint32_t>(answer.documentSize()));
    appendLong(r.after, answer.text);
    r.after.AppendU32(answer.result1).AppendU32(static_cast<std::uint32_t>(answer.status));
    appendShort(r.after, shortMessage(answer.message));
    r.answer = std::move(answer);
    return r;
}

}  // namespace vornd
