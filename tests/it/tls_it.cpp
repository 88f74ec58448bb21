// Encrypted sessions through the unixODBC driver manager against vornd
// serving TLS: certificates made fresh by tests/support/make-test-certs.sh
// into the build tree, a recording proxy on the path, and every refusal a
// user meets.
#include "support/odbc_session.h"

#include <odbcinst.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vorntest;
using vorndtest::readFile;
using vorndtest::TestServer;

namespace {

const char* const kLogin = "UID=alice;PWD=Sesame-Xq7-pw";

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// Relays one connection on a loopback port to `target` from a child process
// that writes every byte of both directions to `file` before passing it on.
class RecordingProxy {
public:
    RecordingProxy(std::uint16_t target, std::string file) : file_(std::move(file)) {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        bind(listener, reinterpret_cast<sockaddr*>(&a), len);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if ((pid_ = fork()) != 0) {
            close(listener);
            return;
        }
        // Only async-signal-safe calls here: the parent has threads.
        const int ends[2] = {accept(listener, nullptr, nullptr), socket(AF_INET, SOCK_STREAM, 0)};
        const int out = open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        sockaddr_in t = loopback(target);
        char buffer[16384];
        if (connect(ends[1], reinterpret_cast<sockaddr*>(&t), sizeof t) == 0)
            for (pollfd p[2] = {{ends[0], POLLIN, 0}, {ends[1], POLLIN, 0}}; poll(p, 2, -1) > 0;)
                for (int i = 0; i < 2; ++i) {
                    const ssize_t n = p[i].revents ? recv(ends[i], buffer, sizeof buffer, 0) : 0;
                    if (p[i].revents && (n <= 0 || write(out, buffer, std::size_t(n)) != n ||
                                         send(ends[1 - i], buffer, std::size_t(n), MSG_NOSIGNAL) != n))
                        _exit(0);
                }
        _exit(0);
    }
    ~RecordingProxy() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::uint16_t port() const { return port_; }
    std::string recorded() const { return readFile(file_); }

private:
    std::string file_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

// The authors' rows as one text.
std::string authors(SQLHDBC dbc) {
    Stmt st(dbc);
    std::string all;
    if (ok(st.exec("SELECT NAME, COUNTRY FROM AUTHORS ORDER BY ID")))
        for (const std::string& row : st.rows()) all += row + "|";
    return all;
}

class Tls : public OdbcSession {
protected:
    static void SetUpTestSuite() {
        // One folder per process: ctest runs each test in a process of its own, perhaps side by side.
        certs_ = std::string(VORN_TLS_DIR) + "-" + std::to_string(getpid()) + "/";
        const std::string log = certs_.substr(0, certs_.size() - 1) + ".out";
        ASSERT_EQ(0, std::system(("bash " VORN_CERT_SCRIPT " " + certs_ + " > " + log + " 2>&1").c_str())) << readFile(log);
        registerDriver();
        const std::string users = "alice:Sesame-Xq7-pw\n", c = certs_;
        const auto tls = [&](const char* cert, const char* key) {
            return std::vector<std::string>{"--tls-cert", c + cert, "--tls-key", c + key};
        };
        std::vector<std::string> only = tls("server.pem", "server.key");
        only.push_back("--tls-only");
        tlsOnly_.reset(new TestServer("tls-only", users, only));
        expired_.reset(new TestServer("tls-expired", users, tls("expired.pem", "server.key")));
        selfSigned_.reset(new TestServer("tls-self", users, tls("self.pem", "self.key")));
        frozen_.reset(new TestServer("tls-frozen", users, tls("self.pem", "self.key")));
        clear_.reset(new TestServer("tls-clear", users));
        for (auto* s : {&tlsOnly_, &expired_, &selfSigned_, &frozen_, &clear_}) ASSERT_TRUE((*s)->ok()) << (*s)->error();
        kill(frozen_->pid(), SIGSTOP);  // takes connections, then says nothing
    }
    static void TearDownTestSuite() {
        if (frozen_) kill(frozen_->pid(), SIGCONT);
        for (auto* s : {&tlsOnly_, &expired_, &selfSigned_, &frozen_, &clear_}) {
            if (*s) {
                EXPECT_EQ(0, (*s)->stop());
            }
            s->reset();
        }
        OdbcSession::TearDownTestSuite();
        std::system(("rm -rf " + certs_ + " " + certs_.substr(0, certs_.size() - 1) + ".out").c_str());
    }
    static std::string on(const std::unique_ptr<TestServer>& s, const std::string& more) {
        return vorntest::at(s->port(), more, kLogin);
    }

    inline static std::string certs_;
    inline static std::unique_ptr<TestServer> tlsOnly_, expired_, selfSigned_, frozen_, clear_;
};

// Encrypted, neither the password nor a row value nor the statement text
// crosses the wire in clear.
TEST_F(Tls, EncryptedSessionShowsNothingOnTheWire) {
    RecordingProxy proxy(tlsOnly_->port(), certs_ + "wire");
    Dbc c;
    std::string out;
    ASSERT_PRED1(ok, c.driverConnect(at(proxy.port(), "Encrypt=yes;CAFile=" + certs_ + "ca.pem", kLogin), &out))
        << c.state();
    EXPECT_NE(std::string::npos, out.find(";Encrypt=yes;CAFile=" + certs_ + "ca.pem")) << out;
    const std::string rows = authors(c.dbc);
    EXPECT_NE(std::string::npos, rows.find("Selma Lagerlöf|Sweden|Jules Verne|France|Mary Shelley|United Kingdom|"));
    SQLDisconnect(c.dbc);
    const std::string wire = proxy.recorded();
    EXPECT_GT(wire.size(), 500u);
    for (const char* s : {"Sesame-Xq7-pw", "Jules Verne", "Mary Shelley", "Sweden", "AUTHORS"})
        EXPECT_EQ(std::string::npos, wire.find(s)) << s << " crossed in clear";
}

// Data-source keys choose TLS as the connection string does; a self-signed
// server is taken on trust when asked to.
TEST_F(Tls, DataSourceKeysAndTrust) {
    std::string list;
    for (const std::string& pair : {std::string("DSN=secure"), std::string("Server=127.0.0.1"),
                                    "Service=" + std::to_string(tlsOnly_->port()), std::string("Encrypt=yes"),
                                    "CAFile=" + certs_ + "ca.pem", std::string("HostNameInCertificate=localhost")})
        list.append(pair).push_back('\0');
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kDriver, list.c_str()));
    Dbc c, trusting;
    ASSERT_PRED1(ok, c.connect("secure", "alice", "Sesame-Xq7-pw")) << c.state();
    EXPECT_NE(std::string::npos, authors(c.dbc).find("Mary Shelley|"));
    ASSERT_PRED1(ok, trusting.driverConnect(on(selfSigned_, "Encrypt=yes;TrustServerCertificate=yes")))
        << trusting.state();
    EXPECT_NE(std::string::npos, authors(trusting.dbc).find("Anonymous|"));
}

// Each refusal says why, and no session is left open.
TEST_F(Tls, RefusalsSayWhy) {
    const std::string ca = "Encrypt=yes;CAFile=" + certs_ + "ca.pem";
    const struct {
        const char* what;
        const std::unique_ptr<TestServer>& server;
        std::string more, reason;
    } cases[] = {
        {"unknown issuer", tlsOnly_, "Encrypt=yes;CAFile=" + certs_ + "other-ca.pem",
         "TLS handshake failed: unable to get local issuer certificate (TlsHandshake)"},
        {"system store", tlsOnly_, "Encrypt=yes", "TLS handshake failed: unable to get local issuer"},
        {"expired", expired_, ca, "TLS handshake failed: certificate has expired"},
        {"host name", tlsOnly_, ca + ";HostNameInCertificate=db.example.com", "TLS handshake failed: hostname mismatch"},
        {"self-signed", selfSigned_, "Encrypt=yes", "TLS handshake failed: self-signed certificate"},
        {"clear at TLS-only", tlsOnly_, "Encrypt=no", "takes encrypted connections only"},
        {"TLS at clear", clear_, "Encrypt=yes;TrustServerCertificate=yes",
         "the server closed the connection (does it serve TLS?)"},
        {"bad flag", tlsOnly_, "Encrypt=maybe", "Invalid value 'maybe' for Encrypt: use yes or no"},
        {"missing CA file", tlsOnly_, "Encrypt=yes;CAFile=" + certs_ + "none.pem",
         "TLS cannot start: cannot load the CA file " + certs_ + "none.pem"},
        // The handshake's waits end with the login time-out, as a clear login's do.
        {"silent server", frozen_, "Encrypt=yes;TrustServerCertificate=yes", "within 1 seconds"},
    };
    for (const auto& k : cases) {
        Dbc c;
        SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
        EXPECT_EQ(SQL_ERROR, c.driverConnect(on(k.server, k.more))) << k.what;
        const std::string got = c.state();
        EXPECT_EQ(0u, got.find(&k.server == &frozen_ ? "HYT00 " : "08001 ")) << k.what << ": " << got;
        EXPECT_NE(std::string::npos, got.find(k.reason)) << k.what << ": " << got;
    }
}

}  // namespace
