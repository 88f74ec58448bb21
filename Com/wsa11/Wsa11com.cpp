// The TCP module; see Wsa11com.h.
#include "Com/wsa11/Wsa11com.h"

#include "log/VCLogger.h"
#include "platform/platform.h"
#include "vornvdb/CErrStack.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace net = plat::net;

namespace {

const char kSource[] = "Com/wsa11/Wsa11com";

struct CodeText {
    int code;
    const char* text;
};

const CodeText kTexts[] = {
    {-4, "Invalid Packet"},
    {-3, "unable to read from communication port"},
    {-2, "unable to write to communication port"},
    {-1, "EOF received from host"},
    {38, "File name too long"},
    {41, "Directory not empty"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10064, "Networking subsystem not started"},
    {10065, "No route to host"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Underlaying network subsystem not ready for communication"},
    {10092, "Window Sockets DLL cannot support this application"},
    {10093, "A succesfull <WSAStartup> call must occure befor using Windows Sockets"},
    {10109, "Service not found"},
    {11001, "Host not found in HOSTS file"},
    {11002, "No response from host"},
    {11003, "Non recoverable error"},
    {11004, "No such data record found in database file"},
};

constexpr int kTimedOut = 10060;

// The one reporter of the module: pushes the code's text and yields false.
std::int16_t report(CERRSTACK* errStack, const char* function, int code) {
    if (errStack) errStack->Push(kSource, function, NetErrorText(code));
    return 0;
}

void trace(const NETCON* con, bool incoming, const void* bytes, long count) {
    if (con->traceName[0] && count > 0)
        TraceBlock(incoming, NetConId(con), static_cast<const unsigned char*>(bytes), std::size_t(count));
}

net::Socket channelSocket(const NETCON* con, std::uint32_t channel) {
    return (con->channelMode == 2 && channel) ? con->socket2 : con->socket;
}

// A receive or send call that failed: a time-out is reported as a wait that
// passed its limit, anything else as the call's failure.
std::int16_t reportTimeout(NETCON* con, bool forRead) {
    report(con->errStack, "select", kTimedOut);
    return report(con->errStack, "SelectNetCon", forRead ? -3 : -2);
}

std::int16_t reportTransfer(NETCON* con, bool forRead) {
    const int code = net::lastError();
    if (code != kTimedOut) return report(con->errStack, forRead ? "recv" : "send", code);
    return reportTimeout(con, forRead);
}

// Before a wait for answer bytes: the socket's receive limit is lowered to
// the time left for the answer. False when that time is up.
bool limitToAnswerDue(NETCON* con, net::Socket s) {
    if (!con->answerDue) return true;
    const unsigned left = NetConSecondsLeft(con);
    if (left == 0) return false;
    if (left < con->socketLimit && net::setTimeLimits(s, left, con->sendTimeout))
        con->socketLimit = static_cast<std::uint16_t>(left);
    return true;
}

void freeRecord(NETCON* con) {
    plat::heapFree(con->inbox);
    plat::heapFree(con->host);
    plat::heapFree(con);
}

}  // namespace

const char* NetErrorText(int code) {
    for (const auto& e : kTexts)
        if (e.code == code) return e.text;
    return "Unknown error";
}

std::uint32_t NetConId(const NETCON* con) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(con));
}

std::int16_t StartNetCon(CERRSTACK* errStack) {
    int code = net::startup();
    if (code != 0) return report(errStack, "WSAStartup", code);
    return 1;
}

std::int16_t StopNetCon(CERRSTACK* errStack) {
    int code = net::cleanup();
    if (code != 0) return report(errStack, "WSACleanup", code);
    return 1;
}

NETCON* OpenNetCon(const char* service, const char* host, CERRSTACK* errStack, std::int16_t trace,
                   std::uint16_t receiveTimeout, std::uint16_t sendTimeout) {
    if (!host || !service) return nullptr;
    auto* con = static_cast<NETCON*>(plat::heapAlloc(sizeof(NETCON)));
    if (!con) {
        if (errStack) errStack->Push(kSource, "malloc", CSYSERR("malloc", 0).c_str());
        return nullptr;
    }
    con->socket = net::kInvalidSocket;
    con->errStack = errStack;
    con->receiveTimeout = receiveTimeout;
    con->sendTimeout = sendTimeout;
    std::size_t hostLen = std::strlen(host);
    con->host = static_cast<char*>(plat::heapAlloc(hostLen + 1));
    if (con->host) std::memcpy(con->host, host, hostLen);
    con->socket2 = 0;
    con->channelMode = 0;
    con->inbox = static_cast<unsigned char*>(plat::heapAlloc(kNetInbox));
    con->inStart = con->inEnd = 0;
    con->answerDue = 0;
    con->socketLimit = receiveTimeout;
    if (!con->host || !con->inbox) {
        if (errStack) errStack->Push(kSource, "malloc", CSYSERR("malloc", 0).c_str());
        freeRecord(con);
        return nullptr;
    }

    net::AddressList* addresses = nullptr;
    int code = net::resolveTcp4(host, service, &addresses);
    if (code != 0) {
        report(errStack, "getaddrinfo", code);
        freeRecord(con);
        return nullptr;
    }
    net::Socket s = net::openStream();
    bool ok = false;
    if (s == net::kInvalidSocket) {
        report(errStack, "socket", net::lastError());
    } else if (!net::connectFirst(s, addresses, sendTimeout)) {
        report(errStack, "connect", net::lastError());
        net::closeSocket(s);
    } else if (!net::tuneStream(s, receiveTimeout, sendTimeout)) {
        report(errStack, "setsockopt", net::lastError());
        net::closeSocket(s);
    } else {
        ok = true;
    }
    net::freeAddresses(addresses);
    if (!ok) {
        freeRecord(con);
        return nullptr;
    }
    con->socket = s;
    if (trace) {
        std::snprintf(con->traceName, sizeof con->traceName, "NET_%4.4X.LOG",
                      static_cast<unsigned>(static_cast<std::uint32_t>(s)));
        std::remove(con->traceName);
    }
    return con;
}

std::int16_t CloseNetCon(NETCON* con) {
    if (!con) return 0;
    con->traceName[0] = '\0';
    std::int16_t rc = 1;
    if (!net::closeSocket(con->socket)) rc = report(con->errStack, "closesocket", net::lastError());
    freeRecord(con);
    return rc;
}

std::int16_t PingNetCon(NETCON* con) {
    if (!con) return 0;
    static const unsigned char ping[5] = {0x05, 0x00, 0x00, 0x00, 'P'};
    long sent = net::send(con->socket, ping, sizeof ping);
    if (sent < 0) return report(con->errStack, "send", net::lastError());
    if (sent != long(sizeof ping)) return report(con->errStack, "PingNetCon", -4);
    trace(con, false, ping, sent);

    std::time_t deadline = std::time(nullptr) + 20;
    int firstError = 0;
    for (;;) {
        if (std::time(nullptr) > deadline) {
            if (firstError) report(con->errStack, "PingNetCon", firstError);
            return report(con->errStack, "PingNetCon", kTimedOut);
        }
        // Wait in short steps so that a silent peer cannot hold us past the
        // deadline.
        int ready = net::waitReadable(con->socket, 1);
        if (ready == 0) continue;
        unsigned char answer[7];
        long n = ready < 0 ? -1 : net::receive(con->socket, answer, sizeof answer);
        if (n == 7 && answer[4] == 'P') {
            trace(con, true, answer, n);
            return 1;
        }
        if (!firstError) firstError = n < 0 ? net::lastError() : (n == 0 ? -1 : -4);
        // A closed or failing connection gives no answer anymore; wait out
        // the deadline without spinning.
        if (n <= 0) plat::sleepMs(100);
    }
}

std::int16_t BlockingHookNetCon(NETCON* con, std::uint8_t on) {
    CERRSTACK* errStack = con ? con->errStack : nullptr;
    if (net::setBlockingHook(on != 0)) return 1;
    return report(errStack, on ? "WSASetBlockingHook" : "WSAUnsetBlockingHook", net::lastError());
}

std::int16_t ReceiveNetCon(NETCON* con, std::uint32_t channel, void* buffer, std::uint32_t count) {
    if (!con || !buffer) return 0;
    net::Socket s = channelSocket(con, channel);
    auto* p = static_cast<unsigned char*>(buffer);
    const std::uint32_t asked = count;
    // The trace shows the block as the caller asked for it, however many
    // reads it took.
    auto done = [&]() -> std::int16_t {
        trace(con, true, buffer, long(asked));
        return 1;
    };
    for (;;) {
        const std::uint32_t ready = con->inEnd - con->inStart;
        const std::uint32_t take = ready < count ? ready : count;
        std::memcpy(p, con->inbox + con->inStart, take);
        con->inStart += take;
        p += take;
        count -= take;
        if (count == 0) return done();
        // A large rest goes straight to the caller; a small one with
        // whatever follows it.
        const bool direct = count >= kNetInbox;
        unsigned char* into = direct ? p : con->inbox;
        if (!limitToAnswerDue(con, s)) return reportTimeout(con, true);
        long n = net::receive(s, into, direct ? count : kNetInbox);
        if (n == 0) return report(con->errStack, "recv", -1);
        if (n < 0) return reportTransfer(con, true);
        if (direct) {
            p += n;
            count -= std::uint32_t(n);
            if (count == 0) return done();
        } else {
            con->inStart = 0;
            con->inEnd = std::uint32_t(n);
        }
    }
}

std::int16_t SendNetCon(NETCON* con, std::uint32_t channel, const void* buffer, std::uint32_t count) {
    if (!con || !buffer) return 0;
    net::Socket s = channelSocket(con, channel);
    auto* p = static_cast<const unsigned char*>(buffer);
    while (count > 0) {
        long n = net::send(s, p, count);
        if (n < 0) return reportTransfer(con, false);
        trace(con, false, p, n);
        p += n;
        count -= std::uint32_t(n);
    }
    NetConAnswerDueFromNow(con);
    return 1;
}

void SetNetConTimeLimits(NETCON* con, std::uint16_t receiveTimeout, std::uint16_t sendTimeout) {
    if (!con) return;
    con->receiveTimeout = receiveTimeout;
    con->sendTimeout = sendTimeout;
    if (net::setTimeLimits(channelSocket(con, 0), receiveTimeout, sendTimeout)) con->socketLimit = receiveTimeout;
}

unsigned NetConSecondsLeft(const NETCON* con) {
    if (!con->answerDue) return con->receiveTimeout;
    const std::uint64_t now = plat::tickMs();
    if (now >= con->answerDue) return 0;
    return static_cast<unsigned>((con->answerDue - now + 999) / 1000);
}

void NetConAnswerDueFromNow(NETCON* con) {
    con->answerDue = con->receiveTimeout ? plat::tickMs() + std::uint64_t(con->receiveTimeout) * 1000 : 0;
    // A limit lowered for the last answer goes back up for this one.
    if (con->socketLimit != con->receiveTimeout &&
        net::setTimeLimits(channelSocket(con, 0), con->receiveTimeout, con->sendTimeout))
        con->socketLimit = con->receiveTimeout;
}
