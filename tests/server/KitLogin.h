// A kit session with a vornd on loopback, for the programs that talk to it
// through the kit's C API.
#pragma once

#include "vornvdb/vornkit.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace vorndtest {

// The session, or null when the start or the login fails.
inline HVDB kitLogin(std::uint16_t port, const char* user, const char* password, std::uint16_t timeoutSeconds) {
    KitStartupParams p{};
    std::strcpy(p.commsModule, "wsa11.dll");
    std::strcpy(p.host, "127.0.0.1");
    std::snprintf(p.service, sizeof p.service, "%u", unsigned(port));
    p.receiveTimeout = p.sendTimeout = timeoutSeconds;
    HVDB session = nullptr;
    return VdbStartVorn(&session, &p, user, password, 0, 0) == 1 ? session : nullptr;
}

}  // namespace vorndtest
