// TCP sockets over the BSD socket calls, with errno turned into the WinSock
// numbers that the kit reports.
#include "platform/common/addresses.h"
#include "platform/socket.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace plat {
namespace net {

namespace {

struct ErrnoCode {
    int err;
    int code;
};

const ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},          {EBADF, 10009},         {EACCES, 10013},          {EFAULT, 10014},
    {EINVAL, 10022},         {EMFILE, 10024},        {EAGAIN, 10035},          {EINPROGRESS, 10036},
    {EALREADY, 10037},       {ENOTSOCK, 10038},      {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},   {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},     {EPFNOSUPPORT, 10046},  {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},  {ENETDOWN, 10050},      {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},   {ECONNRESET, 10054},    {ENOBUFS, 10055},         {EISCONN, 10056},
    {ENOTCONN, 10057},       {ESHUTDOWN, 10058},     {EPIPE, 10058},           {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},      {ECONNREFUSED, 10061},  {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},      {EHOSTUNREACH, 10065},  {EDQUOT, 10069},          {ESTALE, 10070},
};

int codeForErrno(int err) {
    for (const auto& e : kErrnoCodes)
        if (e.err == err) return e.code;
    return err;
}

thread_local int t_lastError = 0;

int fail(int err) {
    t_lastError = codeForErrno(err);
    return -1;
}

int wait(Socket s, short events, unsigned seconds) {
    pollfd p{static_cast<int>(s), events, 0};
    long long ms = static_cast<long long>(seconds) * 1000;
    int timeout = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    for (;;) {
        int r = poll(&p, 1, timeout);
        if (r > 0) return 1;  // ready, or an error that the next call reports
        if (r == 0) return 0;
        if (errno != EINTR) return fail(errno);
    }
}

}  // namespace

int startup() { return 0; }
int cleanup() { return 0; }
int lastError() { return t_lastError; }

int resolverError(int code) {
    switch (code) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_SERVICE: return 10109;
    case EAI_MEMORY: return 10055;
    case EAI_SYSTEM: return codeForErrno(errno);
    default: return 11003;
    }
}

Socket openStream() {
    // Made non-blocking for connectFirst, which waits for the connect itself.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        fail(errno);
        return kInvalidSocket;
    }
    return static_cast<Socket>(fd);
}

bool connectFirst(Socket s, const AddressList* list, unsigned seconds) {
    if (!list || !list->info) return fail(EDESTADDRREQ), false;
    // Without a limit of its own a connect may wait minutes for a host that
    // does not answer: connect without blocking, wait for the outcome.
    const int fd = static_cast<int>(s);
    int err = 0;
    if (::connect(fd, list->info->ai_addr, list->info->ai_addrlen) != 0) {
        err = errno;
        if (err == EINPROGRESS || err == EINTR) {
            const int ready = wait(s, POLLOUT, seconds);
            socklen_t len = sizeof err;
            if (ready == 0) err = ETIMEDOUT;
            else if (ready < 0) err = errno;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
    }
    if (fcntl(fd, F_SETFL, 0) != 0 && err == 0) err = errno;  // blocking from here on
    if (err != 0) return fail(err), false;
    return true;
}

bool closeSocket(Socket s) {
    if (::close(static_cast<int>(s)) == 0) return true;
    fail(errno);
    return false;
}

bool setTimeLimits(Socket s, unsigned receiveSeconds, unsigned sendSeconds) {
    const int fd = static_cast<int>(s);
    const timeval r{static_cast<time_t>(receiveSeconds), 0}, w{static_cast<time_t>(sendSeconds), 0};
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &w, sizeof w) != 0)
        return fail(errno), false;
    return true;
}

bool tuneStream(Socket s, unsigned receiveSeconds, unsigned sendSeconds) {
    const int on = 1;
    if (setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) return fail(errno), false;
    return setTimeLimits(s, receiveSeconds, sendSeconds);
}

int waitReadable(Socket s, unsigned seconds) { return wait(s, POLLIN, seconds); }
int waitWritable(Socket s, unsigned seconds) { return wait(s, POLLOUT, seconds); }

long receive(Socket s, void* buffer, std::size_t bytes) {
    if (bytes > LONG_MAX) bytes = LONG_MAX;
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(s), buffer, bytes, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return fail(ETIMEDOUT);  // the receive limit
        if (errno != EINTR) return fail(errno);
    }
}

long send(Socket s, const void* buffer, std::size_t bytes) {
    if (bytes > LONG_MAX) bytes = LONG_MAX;
    for (;;) {
        ssize_t n = ::send(static_cast<int>(s), buffer, bytes, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return fail(ETIMEDOUT);
        if (errno != EINTR) return fail(errno);
    }
}

bool setBlockingHook(bool) { return true; }

}  // namespace net
}  // namespace plat
