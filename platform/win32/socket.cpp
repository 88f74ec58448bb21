// TCP sockets over WinSock 2.2.
#include "platform/common/addresses.h"
#include "platform/socket.h"

#include <windows.h>

#include <climits>

namespace plat {
namespace net {

int startup() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

int cleanup() { return WSACleanup() == 0 ? 0 : WSAGetLastError(); }
int lastError() { return WSAGetLastError(); }

// getaddrinfo's failures are WinSock numbers already.
int resolverError(int code) { return code; }

Socket openStream() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
}

bool connectFirst(Socket s, const AddressList* list, unsigned seconds) {
    if (!list || !list->info) {
        WSASetLastError(WSAEDESTADDRREQ);
        return false;
    }
    // Without a limit of its own a connect may wait long for a host that
    // does not answer: connect without blocking, wait for the outcome.
    const SOCKET so = static_cast<SOCKET>(s);
    u_long on = 1, off = 0;
    if (::ioctlsocket(so, FIONBIO, &on) != 0) return false;
    int err = 0;
    if (::connect(so, list->info->ai_addr, static_cast<int>(list->info->ai_addrlen)) != 0) {
        err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(so, &writable);
            FD_SET(so, &failed);
            timeval tv{static_cast<long>(seconds), 0};
            const int r = ::select(0, nullptr, &writable, &failed, &tv);
            int len = sizeof err;
            if (r == 0) err = WSAETIMEDOUT;
            else if (r < 0) err = WSAGetLastError();
            else if (FD_ISSET(so, &failed)) {
                if (::getsockopt(so, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err == 0)
                    err = WSAECONNREFUSED;
            } else {
                err = 0;
            }
        }
    }
    ::ioctlsocket(so, FIONBIO, &off);
    if (err != 0) {
        WSASetLastError(err);
        return false;
    }
    return true;
}

bool closeSocket(Socket s) { return ::closesocket(static_cast<SOCKET>(s)) == 0; }

bool setTimeLimits(Socket s, unsigned receiveSeconds, unsigned sendSeconds) {
    const SOCKET so = static_cast<SOCKET>(s);
    const DWORD r = receiveSeconds * 1000, w = sendSeconds * 1000;
    return ::setsockopt(so, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&r), sizeof r) == 0 &&
           ::setsockopt(so, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&w), sizeof w) == 0;
}

bool tuneStream(Socket s, unsigned receiveSeconds, unsigned sendSeconds) {
    const BOOL on = TRUE;
    if (::setsockopt(static_cast<SOCKET>(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0)
        return false;
    return setTimeLimits(s, receiveSeconds, sendSeconds);
}

namespace {
int wait(Socket s, bool forRead, unsigned seconds) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval tv{static_cast<long>(seconds), 0};
    int r = ::select(0, forRead ? &set : nullptr, forRead ? nullptr : &set, nullptr, &tv);
    if (r > 0) return 1;
    return r == 0 ? 0 : -1;
}
}  // namespace

int waitReadable(Socket s, unsigned seconds) { return wait(s, true, seconds); }
int waitWritable(Socket s, unsigned seconds) { return wait(s, false, seconds); }

long receive(Socket s, void* buffer, std::size_t bytes) {
    int n = static_cast<int>(bytes > INT_MAX ? INT_MAX : bytes);
    int r = ::recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), n, 0);
    return r == SOCKET_ERROR ? -1 : r;
}

long send(Socket s, const void* buffer, std::size_t bytes) {
    int n = static_cast<int>(bytes > INT_MAX ? INT_MAX : bytes);
    int r = ::send(static_cast<SOCKET>(s), static_cast<const char*>(buffer), n, 0);
    return r == SOCKET_ERROR ? -1 : r;
}

namespace {
// Runs a few harmless messages (timers, painting, focus, button release)
// while a socket call waits; everything else stays queued or is dropped.
INT_PTR CALLBACK pumpMessages() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return FALSE;
    if (msg.message == WM_QUIT) return FALSE;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F12 && msg.lParam == 0x580001) return FALSE;
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    switch (msg.message) {
    case WM_TIMER:
    case WM_PAINT:
    case WM_LBUTTONUP:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        return TRUE;
    default:
        return FALSE;
    }
}
}  // namespace

bool setBlockingHook(bool on) {
    if (on) return WSASetBlockingHook(reinterpret_cast<FARPROC>(&pumpMessages)) != nullptr;
    return WSAUnhookBlockingHook() == 0;
}

}  // namespace net
}  // namespace plat
