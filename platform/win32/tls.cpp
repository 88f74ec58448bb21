// TLS on Windows: not yet wired to Schannel.
#include "platform/tls.h"

namespace plat {
namespace tls {

class Channel {};

Channel* open(net::Socket, const Settings&, std::string& reason) {
    reason = "TLS is not available in this build";
    return nullptr;
}
long handshake(Channel*) { return kFailed; }
long receive(Channel*, void*, std::size_t) { return kFailed; }
long send(Channel*, const void*, std::size_t) { return kFailed; }
bool pending(const Channel*) { return false; }
std::string reason(const Channel*) { return "TLS is not available in this build"; }
int socketError(const Channel*) { return 0; }
void close(Channel* c) { delete c; }

}  // namespace tls
}  // namespace plat
