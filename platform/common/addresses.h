// The resolved addresses of the socket files: getaddrinfo's list, the same
// structure on every platform. Only the two socket files and addresses.cpp
// include this.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "platform/socket.h"

namespace plat {
namespace net {

struct AddressList {
    addrinfo* info;
};

// A failure code of getaddrinfo as a WinSock number (in each socket file).
int resolverError(int code);

}  // namespace net
}  // namespace plat
