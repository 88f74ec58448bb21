// Encrypted sessions through the unixODBC driver manager against vornd
// serving TLS: certificates made fresh by tests/support/make-test-certs.sh
// into the build tree, and every refusal a user meets. A server that takes
// encrypted connections only proves a session encrypted: it refuses clear
// text before any login.
#include "support/odbc_session.h"

#include <signal.h>
#include <unistd.h>

using namespace vorntest;
using vorndtest::readFile;
using vorndtest::TestServer;

namespace {

const char* const kLogin = "UID=alice;PWD=Sesame-Xq7-pw";

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

// Data-source keys choose TLS as the connection string does; a self-signed
// server is taken on trust when asked to.
TEST_F(Tls, DataSourceKeysAndTrust) {
    ASSERT_TRUE(addDsn("secure", {"Encrypt=yes", "CAFile=" + certs_ + "ca.pem", "HostNameInCertificate=localhost"},
                       std::to_string(tlsOnly_->port())));
    Dbc c, trusting;
    std::string out;
    ASSERT_PRED1(ok, c.driverConnect(std::string("DSN=secure;") + kLogin, &out)) << c.state();
    EXPECT_NE(std::string::npos, out.find(";Encrypt=yes;CAFile=" + certs_ + "ca.pem")) << out;
    ASSERT_PRED1(ok, trusting.driverConnect(on(selfSigned_, "Encrypt=yes;TrustServerCertificate=yes")))
        << trusting.state();
    for (SQLHDBC dbc : {c.dbc, trusting.dbc}) {
        Stmt st(dbc);
        ASSERT_EQ(SQL_SUCCESS, st.exec("SELECT NAME, COUNTRY FROM AUTHORS WHERE ID = 1")) << st.state();
        EXPECT_EQ(std::vector<std::string>{"Selma Lagerlöf|Sweden"}, st.rows());
    }
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
