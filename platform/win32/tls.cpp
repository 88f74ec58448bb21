// TLS through the system's Schannel (secur32 and crypt32, both part of
// Windows). Schannel is driven by hand over the non-blocking socket; the
// server's certificate is checked here after the handshake, so that a CA
// file can stand in for the system's store.
#include "platform/tls.h"

#define SECURITY_WIN32
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#ifndef SECURITY_FLAG_IGNORE_UNKNOWN_CA
#define SECURITY_FLAG_IGNORE_UNKNOWN_CA 0x00000100  // wininet.h's, which this file needs nothing else of
#endif

namespace plat {
namespace tls {

class Channel {
public:
    SOCKET socket = INVALID_SOCKET;
    bool verify = true;
    std::string caFile, host;
    CredHandle cred{};
    bool haveCred = false;
    CtxtHandle ctx{};
    bool haveCtx = false;
    bool ready = false;
    bool peerClosed = false;
    SecPkgContext_StreamSizes sizes{};
    std::vector<char> in;     // bytes from the socket not yet used
    std::vector<char> out;    // bytes for the socket not yet sent
    std::vector<char> plain;  // decrypted bytes not yet received
    std::size_t plainAt = 0;
    std::size_t taken = 0;    // plain bytes of the send whose record is in `out`
    std::string reason;
    int socketError = 0;

    ~Channel() {
        if (haveCtx) DeleteSecurityContext(&ctx);
        if (haveCred) FreeCredentialsHandle(&cred);
    }
};

namespace {

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

struct CodeText {
    long code;
    const char* text;
};

// Schannel's and the certificate checks' codes in words.
const CodeText kTexts[] = {
    {long(CERT_E_EXPIRED), "certificate has expired"},
    {long(SEC_E_CERT_EXPIRED), "certificate has expired"},
    {long(CERT_E_UNTRUSTEDROOT), "unable to get local issuer certificate"},
    {long(CERT_E_CHAINING), "unable to get local issuer certificate"},
    {long(SEC_E_UNTRUSTED_ROOT), "unable to get local issuer certificate"},
    {long(CERT_E_CN_NO_MATCH), "hostname mismatch"},
    {long(SEC_E_WRONG_PRINCIPAL), "hostname mismatch"},
    {long(CERT_E_WRONG_USAGE), "certificate is not meant for a server"},
    {long(CERT_E_REVOKED), "certificate revoked"},
    {long(TRUST_E_CERT_SIGNATURE), "certificate signature failure"},
    {long(SEC_E_ALGORITHM_MISMATCH), "no protocol version or cipher suite in common with the server"},
    {long(SEC_E_ILLEGAL_MESSAGE), "the server sent a malformed handshake message"},
    {long(SEC_E_MESSAGE_ALTERED), "a record failed its integrity check"},
    {long(SEC_E_DECRYPT_FAILURE), "a record could not be decrypted"},
    {long(SEC_E_INTERNAL_ERROR), "Schannel failed internally"},
    {long(SEC_E_NO_CREDENTIALS), "no TLS credentials"},
};

std::string textOf(long code) {
    for (const CodeText& t : kTexts)
        if (t.code == code) return t.text;
    char text[48];
    std::snprintf(text, sizeof text, "Schannel error 0x%08lX", static_cast<unsigned long>(code));
    return text;
}

long failWith(Channel* c, long code) {
    c->socketError = 0;
    c->reason = textOf(code);
    return kFailed;
}

long socketFailure(Channel* c) {
    c->socketError = WSAGetLastError();
    c->reason = "socket error";
    return kFailed;
}

// Sends what is waiting: 1 when all went, else kWantWrite or kFailed.
long flush(Channel* c) {
    while (!c->out.empty()) {
        const int n = ::send(c->socket, c->out.data(), int(c->out.size()), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) return kWantWrite;
            return socketFailure(c);
        }
        c->out.erase(c->out.begin(), c->out.begin() + n);
    }
    return 1;
}

// Reads more from the socket: 1, 0 at the end of the stream, kWantRead or
// kFailed.
long fill(Channel* c) {
    char buffer[16384 + 512];
    const int n = ::recv(c->socket, buffer, int(sizeof buffer), 0);
    if (n == SOCKET_ERROR) {
        if (WSAGetLastError() == WSAEWOULDBLOCK) return kWantRead;
        return socketFailure(c);
    }
    if (n == 0) return 0;
    c->in.insert(c->in.end(), buffer, buffer + n);
    return 1;
}

void takeToken(Channel* c, SecBuffer& b) {
    if (b.pvBuffer && b.cbBuffer) {
        const char* p = static_cast<const char*>(b.pvBuffer);
        c->out.insert(c->out.end(), p, p + b.cbBuffer);
    }
    if (b.pvBuffer) FreeContextBuffer(b.pvBuffer);
    b.pvBuffer = nullptr;
}

// Keeps the bytes that Schannel did not use: the last `extra` of `in`.
void keepExtra(Channel* c, const SecBuffer& b) {
    if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0 && b.cbBuffer <= c->in.size())
        c->in.erase(c->in.begin(), c->in.end() - b.cbBuffer);
    else
        c->in.clear();
}

std::wstring wide(const std::string& s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? std::size_t(n) : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    return w;
}

// A store of the PEM file's certificates; null with the reason.
HCERTSTORE loadPem(const std::string& file, std::string& reason) {
    std::ifstream f(file, std::ios::binary);
    if (!f) {
        reason = "cannot read " + file;
        return nullptr;
    }
    std::stringstream text;
    text << f.rdbuf();
    const std::string pem = text.str();
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (!store) {
        reason = "cannot make a certificate store";
        return nullptr;
    }
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----", kEnd[] = "-----END CERTIFICATE-----";
    int count = 0;
    for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
        const std::size_t end = pem.find(kEnd, at);
        if (end == std::string::npos) break;
        const std::string block = pem.substr(at, end + sizeof kEnd - 1 - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.c_str(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                  nullptr, nullptr))
            continue;
        std::vector<BYTE> der(size);
        if (CryptStringToBinaryA(block.c_str(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                 nullptr, nullptr) &&
            CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_ALWAYS,
                                             nullptr))
            ++count;
    }
    if (count == 0) {
        CertCloseStore(store, 0);
        reason = "no certificate in " + file;
        return nullptr;
    }
    return store;
}

// The server's certificate against the CA file or the system's store, and
// the host name: "" when it passes, else why not.
std::string checkPeer(Channel* c) {
    PCCERT_CONTEXT cert = nullptr;
    if (QueryContextAttributesA(&c->ctx, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert)
        return "the server sent no certificate";
    std::string why;
    HCERTSTORE ca = nullptr, both = nullptr;
    if (!c->caFile.empty()) {
        ca = loadPem(c->caFile, why);
        if (!ca) {
            CertFreeCertificateContext(cert);
            return "cannot load the CA file " + c->caFile + ": " + why;
        }
        both = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
        if (both) {
            CertAddStoreToCollection(both, ca, 0, 0);
            if (cert->hCertStore) CertAddStoreToCollection(both, cert->hCertStore, 0, 0);
        }
    }
    static LPSTR usage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, both ? both : cert->hCertStore, &para, 0, nullptr, &chain)) {
        why = textOf(long(GetLastError()));
    } else {
        std::wstring name = wide(c->host);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        // With a CA file the root need not be the system's; it is matched
        // against the file below.
        ssl.fdwChecks = ca ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;
        ssl.pwszServerName = &name[0];
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            why = textOf(long(GetLastError()));
        else if (status.dwError)
            why = textOf(long(status.dwError));
        else if (ca) {
            const CERT_SIMPLE_CHAIN* simple = chain->cChain ? chain->rgpChain[0] : nullptr;
            PCCERT_CONTEXT root = simple && simple->cElement ? simple->rgpElement[simple->cElement - 1]->pCertContext
                                                             : nullptr;
            PCCERT_CONTEXT found =
                root ? CertFindCertificateInStore(ca, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr) : nullptr;
            if (found)
                CertFreeCertificateContext(found);
            else
                why = "unable to get local issuer certificate";
        }
        CertFreeCertificateChain(chain);
    }
    if (both) CertCloseStore(both, 0);
    if (ca) CertCloseStore(ca, 0);
    CertFreeCertificateContext(cert);
    return why;
}

long finishHandshake(Channel* c) {
    if (QueryContextAttributesA(&c->ctx, SECPKG_ATTR_STREAM_SIZES, &c->sizes) != SEC_E_OK)
        return failWith(c, long(SEC_E_INTERNAL_ERROR));
    if (c->verify) {
        const std::string why = checkPeer(c);
        if (!why.empty()) {
            c->socketError = 0;
            c->reason = why;
            return kFailed;
        }
    }
    c->ready = true;
    return 1;
}

}  // namespace

Channel* open(net::Socket s, const Settings& settings, std::string& reason) {
    std::unique_ptr<Channel> c(new (std::nothrow) Channel);
    if (!c) {
        reason = "out of memory";
        return nullptr;
    }
    c->socket = static_cast<SOCKET>(s);
    c->verify = settings.verify;
    c->caFile = settings.caFile ? settings.caFile : "";
    c->host = settings.hostName ? settings.hostName : "";
    if (c->verify && !c->caFile.empty()) {
        // A CA file that cannot be used fails before any byte is sent.
        HCERTSTORE probe = loadPem(c->caFile, reason);
        if (!probe) {
            reason = "cannot load the CA file " + c->caFile + ": " + reason;
            return nullptr;
        }
        CertCloseStore(probe, 0);
    }
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // TLS 1.2: Schannel hands TLS 1.3's post-handshake messages to the
    // caller as renegotiations, which this engine does not take part in.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    const SECURITY_STATUS st = AcquireCredentialsHandleA(nullptr, const_cast<LPSTR>(UNISP_NAME_A),
                                                         SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr, nullptr,
                                                         &c->cred, &expiry);
    if (st != SEC_E_OK) {
        reason = textOf(long(st));
        return nullptr;
    }
    c->haveCred = true;
    u_long on = 1;
    if (::ioctlsocket(c->socket, FIONBIO, &on) != 0) {
        reason = "cannot switch the socket to non-blocking";
        return nullptr;
    }
    return c.release();
}

long handshake(Channel* c) {
    if (c->ready) return 1;
    for (;;) {
        const long flushed = flush(c);
        if (flushed != 1) return flushed;
        if (c->haveCtx && c->in.empty()) {
            const long got = fill(c);
            if (got != 1) return got;
        }
        SecBuffer outBuf[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, outBuf};
        SecBuffer inBuf[2] = {{unsigned(c->in.size()), SECBUFFER_TOKEN, c->in.data()}, {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, inBuf};
        ULONG attributes = 0;
        TimeStamp expiry;
        std::string target = c->host;
        SECURITY_STATUS st =
            InitializeSecurityContextA(&c->cred, c->haveCtx ? &c->ctx : nullptr, target.empty() ? nullptr : &target[0],
                                       kRequest, 0, 0, c->haveCtx ? &inDesc : nullptr, 0,
                                       c->haveCtx ? nullptr : &c->ctx, &outDesc, &attributes, &expiry);
        c->haveCtx = true;
        if (st == SEC_E_INCOMPLETE_MESSAGE) {
            const long got = fill(c);
            if (got != 1) return got;
            continue;
        }
        takeToken(c, outBuf[0]);
        if (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED || st == SEC_I_INCOMPLETE_CREDENTIALS) {
            if (inDesc.pBuffers == inBuf) keepExtra(c, inBuf[1]);
            if (st == SEC_E_OK) {
                const long flushedLast = flush(c);
                if (flushedLast != 1) return flushedLast;
                return finishHandshake(c);
            }
            continue;
        }
        return failWith(c, long(st));
    }
}

long receive(Channel* c, void* buffer, std::size_t count) {
    for (;;) {
        if (c->plainAt < c->plain.size()) {
            std::size_t n = c->plain.size() - c->plainAt;
            if (n > count) n = count;
            std::memcpy(buffer, c->plain.data() + c->plainAt, n);
            c->plainAt += n;
            if (c->plainAt == c->plain.size()) {
                c->plain.clear();
                c->plainAt = 0;
            }
            return long(n);
        }
        if (c->peerClosed) return 0;
        if (!c->in.empty()) {
            SecBuffer b[4] = {{unsigned(c->in.size()), SECBUFFER_DATA, c->in.data()},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
            const SECURITY_STATUS st = DecryptMessage(&c->ctx, &desc, 0, nullptr);
            if (st == SEC_E_OK) {
                const SecBuffer* extra = nullptr;
                for (SecBuffer& x : b) {
                    if (x.BufferType == SECBUFFER_DATA && x.cbBuffer)
                        c->plain.insert(c->plain.end(), static_cast<char*>(x.pvBuffer),
                                        static_cast<char*>(x.pvBuffer) + x.cbBuffer);
                    if (x.BufferType == SECBUFFER_EXTRA) extra = &x;
                }
                // Decrypted in place: the plain bytes are copied before
                // the rest of `in` moves down.
                if (extra) keepExtra(c, *extra);
                else c->in.clear();
                continue;
            }
            if (st == SEC_I_CONTEXT_EXPIRED) {
                c->peerClosed = true;
                continue;
            }
            if (st != SEC_E_INCOMPLETE_MESSAGE) return failWith(c, long(st));
        }
        const long got = fill(c);
        if (got != 1) return got;
    }
}

long send(Channel* c, const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (c->taken == 0) {
        const std::size_t n = count < c->sizes.cbMaximumMessage ? count : c->sizes.cbMaximumMessage;
        std::vector<char> record(c->sizes.cbHeader + n + c->sizes.cbTrailer);
        std::memcpy(record.data() + c->sizes.cbHeader, buffer, n);
        SecBuffer b[4] = {{c->sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {unsigned(n), SECBUFFER_DATA, record.data() + c->sizes.cbHeader},
                          {c->sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + c->sizes.cbHeader + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
        const SECURITY_STATUS st = EncryptMessage(&c->ctx, 0, &desc, 0);
        if (st != SEC_E_OK) return failWith(c, long(st));
        c->out.insert(c->out.end(), record.data(), record.data() + b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
        c->taken = n;
    }
    const long flushed = flush(c);
    if (flushed != 1) return flushed;
    const long n = long(c->taken);
    c->taken = 0;
    return n;
}

bool pending(const Channel* c) { return c->plainAt < c->plain.size(); }
std::string reason(const Channel* c) { return c->reason; }
int socketError(const Channel* c) { return c->socketError; }

void close(Channel* c) {
    if (!c) return;
    if (c->ready && flush(c) == 1) {
        // The closing alert, sent once if the socket takes it.
        DWORD type = SCHANNEL_SHUTDOWN;
        SecBuffer tb = {sizeof type, SECBUFFER_TOKEN, &type};
        SecBufferDesc td = {SECBUFFER_VERSION, 1, &tb};
        if (ApplyControlToken(&c->ctx, &td) == SEC_E_OK) {
            SecBuffer outBuf[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, outBuf};
            ULONG attributes = 0;
            TimeStamp expiry;
            std::string target = c->host;
            if (InitializeSecurityContextA(&c->cred, &c->ctx, target.empty() ? nullptr : &target[0], kRequest, 0, 0,
                                           nullptr, 0, nullptr, &outDesc, &attributes, &expiry) == SEC_E_OK) {
                takeToken(c, outBuf[0]);
                flush(c);
            } else if (outBuf[0].pvBuffer) {
                FreeContextBuffer(outBuf[0].pvBuffer);
            }
        }
    }
    delete c;
}

}  // namespace tls
}  // namespace plat
