// Resolving a host and service for an IPv4 TCP stream: the same calls on
// every platform; only the resolver's failure codes differ.
#include "platform/common/addresses.h"

#include <new>

namespace plat {
namespace net {

int resolveTcp4(const char* host, const char* service, AddressList** list) {
    *list = nullptr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* info = nullptr;
    const int r = getaddrinfo(host, service, &hints, &info);
    if (r != 0) return resolverError(r);
    *list = new (std::nothrow) AddressList{info};
    if (!*list) {
        freeaddrinfo(info);
        return 10055;  // WSAENOBUFS
    }
    return 0;
}

void freeAddresses(AddressList* list) {
    if (!list) return;
    if (list->info) freeaddrinfo(list->info);
    delete list;
}

}  // namespace net
}  // namespace plat
