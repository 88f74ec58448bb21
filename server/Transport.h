// What a session reads and writes through: the accepted socket itself, or a
// TLS layer over it. Made at accept; the session never sees which.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <memory>
#include <string>

namespace vornd {

// The server's certificate and key, loaded once and shared by every TLS
// connection.
class TlsContext {
public:
    // Null, with the reason in `error`, when the files do not load or do not
    // belong together.
    static std::shared_ptr<TlsContext> load(const std::string& certFile, const std::string& keyFile,
                                            std::string& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;
    void* native() const { return ctx_; }

private:
    TlsContext() = default;
    void* ctx_ = nullptr;
};

class Transport {
public:
    virtual ~Transport() = default;
    // Like recv and sendmsg on the socket: the byte count, 0 at the end of
    // the stream, -1 with errno set (EAGAIN: wait for the socket and call
    // again).
    virtual ssize_t read(void* buffer, std::size_t count) = 0;
    virtual ssize_t write(const iovec* parts, std::size_t count) = 0;
    // Bytes already taken off the socket and not yet read: a poll on the
    // socket would not see them.
    virtual bool buffered() const { return false; }
    // Why the connection failed, when the transport knows more than errno.
    virtual std::string failure() const { return std::string(); }
};

// A transport for an accepted socket. The client's first bytes decide: a TLS
// hello gets TLS (or, without a TLS context, the connection closed), anything
// else clear text unless `tlsOnly`, when the start request is answered with a
// refusal.
std::unique_ptr<Transport> makeTransport(int fd, const std::shared_ptr<TlsContext>& tls, bool tlsOnly,
                                         unsigned handshakeSeconds);

}  // namespace vornd
