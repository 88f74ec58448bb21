// TLS through OpenSSL.
#include "platform/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace plat {
namespace tls {

class Channel {
public:
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    bool verify = true;
    std::string reason;
    int socketError = 0;
    ~Channel() {
        SSL_free(ssl);
        SSL_CTX_free(ctx);
    }
};

namespace {

// The socket errors a TLS read or write can meet, as WinSock numbers.
struct ErrnoCode {
    int err;
    int code;
};
const ErrnoCode kErrnoCodes[] = {
    {ECONNRESET, 10054}, {ECONNABORTED, 10053}, {EPIPE, 10058}, {ENOTCONN, 10057},
    {ETIMEDOUT, 10060},  {ENETDOWN, 10050},     {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065},
};

std::string libraryReason() {
    const unsigned long e = ERR_peek_last_error();
    ERR_clear_error();
    if (!e) return std::string();
    const char* r = ERR_reason_error_string(e);
    return r ? r : "TLS failure";
}

long settle(Channel* c, int rc) {
    const int err = SSL_get_error(c->ssl, rc);
    switch (err) {
        case SSL_ERROR_WANT_READ: return kWantRead;
        case SSL_ERROR_WANT_WRITE: return kWantWrite;
        case SSL_ERROR_ZERO_RETURN: return 0;
        case SSL_ERROR_SYSCALL:
            if (errno == 0 || ERR_peek_error() == 0) {
                const int e = errno;
                ERR_clear_error();
                if (e == 0) return 0;  // the peer went without a closing alert
                c->socketError = e;
                for (const ErrnoCode& m : kErrnoCodes)
                    if (m.err == e) c->socketError = m.code;
                c->reason = std::strerror(e);
                return kFailed;
            }
            break;
        default: break;
    }
    c->socketError = 0;
    // A refused certificate says why in its own words.
    const long verify = SSL_get_verify_result(c->ssl);
    if (c->verify && verify != X509_V_OK) {
        ERR_clear_error();
        c->reason = X509_verify_cert_error_string(verify);
    } else {
        c->reason = libraryReason();
        if (c->reason.empty()) c->reason = "TLS failure";
    }
    return kFailed;
}

bool isAddress(const char* host) {
    ASN1_OCTET_STRING* a = a2i_IPADDRESS(host);
    if (!a) return false;
    ASN1_OCTET_STRING_free(a);
    return true;
}

}  // namespace

Channel* open(net::Socket s, const Settings& settings, std::string& reason) {
    std::unique_ptr<Channel> c(new (std::nothrow) Channel);
    if (!c) {
        reason = "out of memory";
        return nullptr;
    }
    c->verify = settings.verify;
    c->ctx = SSL_CTX_new(TLS_client_method());
    if (!c->ctx) {
        reason = libraryReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(c->ctx, TLS1_2_VERSION);
    if (settings.verify) {
        const bool own = settings.caFile && settings.caFile[0];
        if (own ? SSL_CTX_load_verify_locations(c->ctx, settings.caFile, nullptr) != 1
                : SSL_CTX_set_default_verify_paths(c->ctx) != 1) {
            reason = std::string("cannot load the CA file ") + (own ? settings.caFile : "of the system") + ": " +
                     libraryReason();
            return nullptr;
        }
        SSL_CTX_set_verify(c->ctx, SSL_VERIFY_PEER, nullptr);
    } else {
        SSL_CTX_set_verify(c->ctx, SSL_VERIFY_NONE, nullptr);
    }
    c->ssl = SSL_new(c->ctx);
    if (!c->ssl || SSL_set_fd(c->ssl, static_cast<int>(s)) != 1) {
        reason = libraryReason();
        return nullptr;
    }
    const char* host = settings.hostName ? settings.hostName : "";
    if (host[0]) {
        if (!isAddress(host)) SSL_set_tlsext_host_name(c->ssl, host);
        if (settings.verify) {
            X509_VERIFY_PARAM* param = SSL_get0_param(c->ssl);
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            if (isAddress(host) ? X509_VERIFY_PARAM_set1_ip_asc(param, host) != 1
                                : X509_VERIFY_PARAM_set1_host(param, host, 0) != 1) {
                reason = std::string("cannot check the host name ") + host;
                return nullptr;
            }
        }
    }
    const int fd = static_cast<int>(s);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        reason = std::strerror(errno);
        return nullptr;
    }
    return c.release();
}

long handshake(Channel* c) {
    errno = 0;
    const int rc = SSL_connect(c->ssl);
    return rc == 1 ? 1 : settle(c, rc);
}

long receive(Channel* c, void* buffer, std::size_t count) {
    errno = 0;
    const int n = SSL_read(c->ssl, buffer, count > 0x40000000 ? 0x40000000 : int(count));
    return n > 0 ? n : settle(c, n);
}

long send(Channel* c, const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    errno = 0;
    const int n = SSL_write(c->ssl, buffer, count > 0x40000000 ? 0x40000000 : int(count));
    return n > 0 ? n : settle(c, n);
}

bool pending(const Channel* c) { return SSL_pending(c->ssl) > 0; }
std::string reason(const Channel* c) { return c->reason; }
int socketError(const Channel* c) { return c->socketError; }

void close(Channel* c) {
    if (!c) return;
    if (c->ssl && SSL_is_init_finished(c->ssl)) SSL_shutdown(c->ssl);  // non-blocking: one try
    ERR_clear_error();
    delete c;
}

}  // namespace tls
}  // namespace plat
