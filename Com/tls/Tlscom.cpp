// The TLS module; see Tlscom.h.
#include "Com/tls/Tlscom.h"

#include "log/VCLogger.h"
#include "platform/platform.h"
#include "vornvdb/CErrStack.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace net = plat::net;
namespace tls = plat::tls;

const char kTlsSource[] = "Com/tls/Tlscom";

namespace {

constexpr int kTimedOut = 10060;

TLSCON* tlsOf(NETCON* con) { return reinterpret_cast<TLSCON*>(con); }

std::int16_t report(CERRSTACK* errStack, const char* function, const std::string& text) {
    if (errStack) errStack->Push(kTlsSource, function, text.c_str());
    return 0;
}

std::int16_t reportCode(CERRSTACK* errStack, const char* function, int code) {
    return report(errStack, function, NetErrorText(code));
}

// Blocks are traced as the application sent and received them, before
// encryption and after decryption.
void trace(const TLSCON* c, bool incoming, const void* bytes, long count) {
    if (c->net.traceName[0] && count > 0)
        TraceBlock(incoming, NetConId(&c->net), static_cast<const unsigned char*>(bytes), std::size_t(count));
}

// Waits for the socket as the engine asked; `reading` says whose time-out
// and which failure text apply.
bool waitFor(TLSCON* c, long want, bool reading) {
    const net::Socket s = c->tcp->socket;
    // A read waits only for the time left for the whole answer.
    const unsigned seconds = reading ? NetConSecondsLeft(&c->net) : c->net.sendTimeout;
    const int r = seconds == 0 && reading && c->net.answerDue ? 0
                  : want == tls::kWantWrite ? net::waitWritable(s, seconds)
                                            : net::waitReadable(s, seconds);
    if (r > 0) return true;
    reportCode(c->net.errStack, "select", r == 0 ? kTimedOut : net::lastError());
    reportCode(c->net.errStack, "SelectNetCon", reading ? -3 : -2);
    return false;
}

// A failed engine call: a socket error in the TCP module's words, else the
// TLS library's reason.
std::int16_t engineFailure(TLSCON* c, const char* function) {
    const int code = tls::socketError(c->channel);
    if (code) return reportCode(c->net.errStack, function, code);
    return report(c->net.errStack, function, "TLS: " + tls::reason(c->channel));
}

void freeRecord(TLSCON* c) {
    if (c->channel) tls::close(c->channel);
    if (c->tcp) CloseNetCon(c->tcp);
    plat::heapFree(c);
}

bool shakeHands(TLSCON* c) {
    for (;;) {
        const long r = tls::handshake(c->channel);
        if (r == 1) return true;
        if (r == tls::kWantRead || r == tls::kWantWrite) {
            // The handshake is part of opening: the send time-out bounds it,
            // as it bounds the connect.
            if (!waitFor(c, r, false)) return false;
            continue;
        }
        // A clear server drops a TLS hello: closed or reset, it is the same
        // answer.
        const int code = tls::socketError(c->channel);
        if (r == 0 || code == 10054)
            return report(c->net.errStack, "TlsHandshake",
                          "TLS handshake failed: the server closed the connection (does it serve TLS?)") != 0;
        if (code) return reportCode(c->net.errStack, "TlsHandshake", code) != 0;
        return report(c->net.errStack, "TlsHandshake", "TLS handshake failed: " + tls::reason(c->channel)) != 0;
    }
}

bool receiveExactly(TLSCON* c, unsigned char* p, std::uint32_t count) {
    while (count > 0) {
        const long n = tls::receive(c->channel, p, count);
        if (n == tls::kWantRead || n == tls::kWantWrite) {
            if (!waitFor(c, n, true)) return false;
            continue;
        }
        if (n == 0) return reportCode(c->net.errStack, "recv", -1) != 0;
        if (n < 0) return engineFailure(c, "recv") != 0;
        trace(c, true, p, n);
        p += n;
        count -= std::uint32_t(n);
    }
    return true;
}

bool sendExactly(TLSCON* c, const unsigned char* p, std::uint32_t count) {
    while (count > 0) {
        const long n = tls::send(c->channel, p, count);
        if (n == tls::kWantRead || n == tls::kWantWrite) {
            if (!waitFor(c, n, false)) return false;
            continue;
        }
        if (n < 0) return engineFailure(c, "send") != 0;
        trace(c, false, p, n);
        p += n;
        count -= std::uint32_t(n);
    }
    return true;
}

}  // namespace

NETCON* OpenTlsNetConWith(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                          std::uint16_t receiveTimeout, std::uint16_t sendTimeout,
                          const tls::Settings& settings) {
    if (!host || !service) return nullptr;
    NETCON* tcp = OpenNetCon(service, host, errStack, 0, receiveTimeout, sendTimeout);
    if (!tcp) return nullptr;
    auto* c = static_cast<TLSCON*>(plat::heapAlloc(sizeof(TLSCON)));
    if (!c) {
        if (errStack) errStack->Push(kTlsSource, "malloc", CSYSERR("malloc", 0).c_str());
        CloseNetCon(tcp);
        return nullptr;
    }
    c->net = *tcp;  // the host copy stays the TCP record's
    c->net.traceName[0] = '\0';
    c->tcp = tcp;
    c->channel = nullptr;

    tls::Settings s = settings;
    if (!s.hostName || !s.hostName[0]) s.hostName = host;
    std::string reason;
    c->channel = tls::open(tcp->socket, s, reason);
    if (!c->channel) {
        report(errStack, "TlsHandshake", "TLS cannot start: " + reason);
        freeRecord(c);
        return nullptr;
    }
    if (!shakeHands(c)) {
        freeRecord(c);
        return nullptr;
    }
    if (trace) {
        std::snprintf(c->net.traceName, sizeof c->net.traceName, "NET_%4.4X.LOG",
                      static_cast<unsigned>(static_cast<std::uint32_t>(tcp->socket)));
        std::remove(c->net.traceName);
    }
    return &c->net;
}

NETCON* OpenTlsNetCon(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                      std::uint16_t receiveTimeout, std::uint16_t sendTimeout) {
    return OpenTlsNetConWith(service, host, errStack, trace, receiveTimeout, sendTimeout, tls::Settings());
}

std::int16_t CloseTlsNetCon(NETCON* con) {
    if (!con) return 0;
    TLSCON* c = tlsOf(con);
    c->net.traceName[0] = '\0';
    tls::close(c->channel);
    c->channel = nullptr;
    const std::int16_t rc = CloseNetCon(c->tcp);
    c->tcp = nullptr;
    plat::heapFree(c);
    return rc;
}

std::int16_t PingTlsNetCon(NETCON* con) {
    if (!con) return 0;
    TLSCON* c = tlsOf(con);
    static const unsigned char ping[5] = {0x05, 0x00, 0x00, 0x00, 'P'};
    if (!sendExactly(c, ping, sizeof ping)) return 0;
    // The answer is due within 20 seconds, whatever the receive limit.
    const std::uint16_t limit = c->net.receiveTimeout;
    c->net.receiveTimeout = 20;
    NetConAnswerDueFromNow(&c->net);
    unsigned char answer[7];
    const bool got = receiveExactly(c, answer, sizeof answer);
    c->net.receiveTimeout = limit;
    if (!got) return reportCode(c->net.errStack, "PingNetCon", kTimedOut);
    if (answer[4] != 'P') return reportCode(c->net.errStack, "PingNetCon", -4);
    return 1;
}

std::int16_t ReceiveTlsNetCon(NETCON* con, std::uint32_t, void* buffer, std::uint32_t count) {
    if (!con || !buffer) return 0;
    return receiveExactly(tlsOf(con), static_cast<unsigned char*>(buffer), count) ? 1 : 0;
}

std::int16_t SendTlsNetCon(NETCON* con, std::uint32_t, const void* buffer, std::uint32_t count) {
    if (!con || !buffer) return 0;
    TLSCON* c = tlsOf(con);
    if (!sendExactly(c, static_cast<const unsigned char*>(buffer), count)) return 0;
    NetConAnswerDueFromNow(&c->net);
    return 1;
}
