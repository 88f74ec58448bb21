#include "server/Transport.h"

#include "server/Status.h"
#include "vornvdb/CData.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <string>

namespace vornd {

namespace {

std::string sslReason() {
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (!e) return "unknown TLS failure";
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return text;
}

class PlainTransport : public Transport {
public:
    explicit PlainTransport(int fd) : fd_(fd) {}
    ssize_t read(void* buffer, std::size_t count) override { return ::recv(fd_, buffer, count, 0); }
    ssize_t write(const iovec* parts, std::size_t count) override {
        msghdr m{};
        m.msg_iov = const_cast<iovec*>(parts);
        m.msg_iovlen = count;
        return ::sendmsg(fd_, &m, MSG_NOSIGNAL);
    }

private:
    int fd_;
};

class TlsTransport : public Transport {
public:
    TlsTransport(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
    ~TlsTransport() override {
        if (ready_) SSL_shutdown(ssl_);  // close_notify; no wait for the client's
        SSL_free(ssl_);
        // The session's thread is about to end: its OpenSSL state goes now,
        // not in a thread-exit handler that may run after the server has
        // counted the thread out and exited.
        OPENSSL_thread_stop();
    }
    // The handshake; the socket's receive limit bounds each wait in it.
    bool accept() {
        const int rc = SSL_accept(ssl_);
        if (rc == 1) return ready_ = true;
        const long verify = SSL_get_verify_result(ssl_);
        failure_ = "TLS handshake failed: " + (verify != X509_V_OK ? X509_verify_cert_error_string(verify)
                                                                   : sslReason());
        return false;
    }
    ssize_t read(void* buffer, std::size_t count) override {
        const int n = SSL_read(ssl_, buffer, count > 0x7FFFFFFF ? 0x7FFFFFFF : int(count));
        return n > 0 ? n : settle(n);
    }
    ssize_t write(const iovec* parts, std::size_t count) override {
        // Small parts go out together: one record per frame, not per part.
        std::size_t total = 0;
        for (std::size_t i = 0; i < count; ++i) total += parts[i].iov_len;
        if (count > 1 && total <= kGather) {
            gather_.clear();
            for (std::size_t i = 0; i < count; ++i)
                gather_.append(static_cast<const char*>(parts[i].iov_base), parts[i].iov_len);
            return writeAll(gather_.data(), gather_.size()) ? ssize_t(total) : -1;
        }
        std::size_t i = 0;
        while (i < count && parts[i].iov_len == 0) ++i;
        if (i == count) return 0;
        const std::size_t len = parts[i].iov_len > 0x40000000 ? 0x40000000 : parts[i].iov_len;
        return writeAll(parts[i].iov_base, len) ? ssize_t(len) : -1;
    }
    bool buffered() const override { return SSL_pending(ssl_) > 0; }
    std::string failure() const override { return failure_; }

private:
    static constexpr std::size_t kGather = 64 * 1024;

    bool writeAll(const void* data, std::size_t len) {
        // Without partial writes, SSL_write takes all or fails.
        const int n = SSL_write(ssl_, data, int(len));
        if (n > 0) return true;
        settle(n);
        return false;
    }
    ssize_t settle(int rc) {
        switch (SSL_get_error(ssl_, rc)) {
            case SSL_ERROR_ZERO_RETURN: return 0;
            case SSL_ERROR_WANT_READ:
            case SSL_ERROR_WANT_WRITE: errno = EAGAIN; return -1;
            case SSL_ERROR_SYSCALL:
                if (errno == 0) return 0;  // the client went without close_notify
                ERR_clear_error();
                return -1;
            default:
                failure_ = "TLS: " + sslReason();
                errno = EPROTO;
                return -1;
        }
    }

    int fd_;
    SSL* ssl_;
    bool ready_ = false;
    std::string gather_;
    std::string failure_;
};

// Decides at the first read what the client speaks.
class FirstBytesTransport : public Transport {
public:
    FirstBytesTransport(int fd, std::shared_ptr<TlsContext> tls, bool tlsOnly, unsigned seconds)
        : fd_(fd), tls_(std::move(tls)), tlsOnly_(tlsOnly), seconds_(seconds ? seconds : 1) {}
    ssize_t read(void* buffer, std::size_t count) override {
        if (!inner_ && !choose()) {
            errno = EPROTO;
            return refused_ ? 0 : -1;
        }
        return inner_->read(buffer, count);
    }
    ssize_t write(const iovec* parts, std::size_t count) override {
        if (!inner_) {
            errno = ENOTCONN;
            return -1;
        }
        return inner_->write(parts, count);
    }
    bool buffered() const override { return inner_ && inner_->buffered(); }
    std::string failure() const override { return inner_ ? inner_->failure() : failure_; }

private:
    // A TLS record of a handshake begins 16 03 0x; a frame of the start
    // request would need a length of more than 64 KiB to begin so.
    bool choose() {
        unsigned char first[3];
        if (!peek(first, sizeof first)) return false;
        const bool hello = first[0] == 0x16 && first[1] == 0x03 && first[2] <= 0x04;
        if (hello && !tls_) {
            failure_ = "a client began TLS, but this server has no --tls-cert; connection closed";
            return false;
        }
        if (!hello) {
            if (tlsOnly_) {
                refuse();
                return false;
            }
            inner_.reset(new PlainTransport(fd_));
            return true;
        }
        SSL* ssl = SSL_new(static_cast<SSL_CTX*>(tls_->native()));
        if (!ssl || !SSL_set_fd(ssl, fd_)) {
            failure_ = "TLS: " + sslReason();
            SSL_free(ssl);
            return false;
        }
        std::unique_ptr<TlsTransport> t(new TlsTransport(fd_, ssl));
        if (!t->accept()) {
            failure_ = t->failure();
            return false;
        }
        inner_ = std::move(t);
        return true;
    }

    bool peek(unsigned char* out, std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
        for (;;) {
            const ssize_t n = ::recv(fd_, out, count, MSG_PEEK);
            if (n == ssize_t(count)) return true;
            if (n == 0) return false;
            if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) {
                failure_ = "no first bytes from the client in time";
                return false;
            }
            // A few bytes came: they stay readable while peeked, so poll
            // only for a hang-up (also a shutdown by the server) and give the
            // rest a moment. Nothing yet: wait for it.
            pollfd pfd{fd_, short(n > 0 ? POLLRDHUP : POLLIN | POLLRDHUP), 0};
            if (::poll(&pfd, 1, n > 0 ? 0 : int(left)) > 0 && (pfd.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
                failure_ = "the client closed the connection before its first bytes";
                return false;
            }
            if (n > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Answers the clear start request with a refusal the client can show.
    void refuse() {
        refused_ = true;
        failure_ = "clear connection refused: TLS only";
        PlainTransport plain(fd_);
        unsigned char head[4];
        std::uint32_t length = 0;
        std::uint8_t kind = 0;
        std::uint16_t number = 0;
        CPACKET body;
        if (!readExactly(plain, head, 4) || !vornwire::DecodeFrameHeader(head, length) || length < 3 ||
            length > 4096 || !body.Resize(length) || !readExactly(plain, body.Data(), length))
            return;
        body.TakeU8(kind).TakeU16(number);
        CPACKET answer;
        CLSTRING message("Server initialization failed: this server takes encrypted connections only "
                         "(connect with Encrypt=yes)");
        vornwire::AddAnswerHeader(answer, vornwire::kKindRequest, number, std::uint32_t(kStatusTlsRequired),
                                  message);
        unsigned char frame[4];
        vornwire::EncodeFrameHeader(static_cast<std::uint32_t>(answer.Length()), frame);
        iovec parts[] = {{frame, sizeof frame}, {answer.Data(), answer.Length()}};
        plain.write(parts, 2);
    }

    bool readExactly(PlainTransport& plain, void* buffer, std::size_t count) {
        auto* p = static_cast<unsigned char*>(buffer);
        while (count > 0) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, int(seconds_) * 1000) <= 0) return false;
            const ssize_t n = plain.read(p, count);
            if (n <= 0) return false;
            p += n;
            count -= std::size_t(n);
        }
        return true;
    }

    int fd_;
    std::shared_ptr<TlsContext> tls_;
    bool tlsOnly_;
    unsigned seconds_;
    bool refused_ = false;
    std::unique_ptr<Transport> inner_;
    std::string failure_;
};

}  // namespace

std::shared_ptr<TlsContext> TlsContext::load(const std::string& certFile, const std::string& keyFile,
                                             std::string& error) {
    std::shared_ptr<TlsContext> c(new TlsContext);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    c->ctx_ = ctx;
    if (!ctx) {
        error = sslReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // A client that goes without the closing alert has simply gone.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
        error = "cannot use the certificate " + certFile + ": " + sslReason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot use the key " + keyFile + ": " + sslReason();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        error = "the key " + keyFile + " does not belong to the certificate " + certFile;
        return nullptr;
    }
    return c;
}

TlsContext::~TlsContext() { SSL_CTX_free(static_cast<SSL_CTX*>(ctx_)); }

std::unique_ptr<Transport> makeTransport(int fd, const std::shared_ptr<TlsContext>& tls, bool tlsOnly,
                                         unsigned handshakeSeconds) {
    if (tls) {
        // Bounds every wait inside a TLS record or handshake.
        timeval limit{static_cast<time_t>(handshakeSeconds ? handshakeSeconds : 1), 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    return std::unique_ptr<Transport>(new FirstBytesTransport(fd, tls, tlsOnly, handshakeSeconds));
}

}  // namespace vornd
