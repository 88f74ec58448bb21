// Encrypted sessions through the unixODBC driver manager against vornd
// serving TLS: certificates made fresh by tests/support/make-test-certs.sh
// into the build tree, a recording proxy on the path, and every refusal a
// user meets (wrong issuer, expired, wrong name, self-signed, a clear client
// at a TLS-only server, a TLS client at a clear server).
#include "support/odbc_sandbox.h"
#include "VorndSuite.h"

#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

using vorndtest::readFile;
using vorndtest::TestServer;

namespace {

const char* const kDriver = "Kalmo VORNsql driver";
const char* const kPassword = "Sesame-Xq7-pw";

// Listens on a loopback port and relays each connection to `target`,
// keeping a copy of every byte in both directions.
class RecordingProxy {
public:
    explicit RecordingProxy(std::uint16_t target) : target_(target) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RecordingProxy() {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    std::uint16_t port() const { return port_; }
    std::string recorded() {
        std::lock_guard<std::mutex> g(mutex_);
        return bytes_;
    }

private:
    void serve() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int client = accept(listen_, nullptr, nullptr);
            if (client < 0) continue;
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(target_);
            if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) relay(client, server);
            close(server);
            close(client);
        }
    }
    void relay(int client, int server) {
        char buffer[16384];
        while (!stop_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(p, 2, 100) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!p[i].revents) continue;
                const ssize_t n = recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0) return;
                {
                    std::lock_guard<std::mutex> g(mutex_);
                    bytes_.append(buffer, std::size_t(n));
                }
                if (send(p[1 - i].fd, buffer, std::size_t(n), MSG_NOSIGNAL) != n) return;
            }
        }
    }

    std::uint16_t target_;
    int listen_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::string bytes_;
};

struct Dbc {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    Dbc() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Dbc() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLRETURN driverConnect(const std::string& in, std::string* out = nullptr) {
        SQLCHAR buffer[1024] = "";
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, sizeof buffer,
                                              &length, SQL_DRIVER_NOPROMPT);
        if (out) *out = reinterpret_cast<char*>(buffer);
        return rc;
    }
    std::string state() {
        SQLCHAR s[6] = "", text[600] = "";
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, s, &native, text, sizeof text, &len))) return "";
        return std::string((char*)s) + " " + (char*)text;
    }
    // The authors' names and countries, one text.
    std::string authors() {
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        std::string all;
        if (SQL_SUCCEEDED(SQLExecDirect(st, (SQLCHAR*)"SELECT NAME, COUNTRY FROM AUTHORS ORDER BY ID", SQL_NTS))) {
            while (SQL_SUCCEEDED(SQLFetch(st))) {
                for (SQLUSMALLINT col = 1; col <= 2; ++col) {
                    char value[200] = "";
                    SQLLEN ind = 0;
                    SQLGetData(st, col, SQL_C_CHAR, value, sizeof value, &ind);
                    if (ind > 0) all += std::string(value) + "|";
                }
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return all;
    }
};

bool ok(SQLRETURN rc) { return SQL_SUCCEEDED(rc); }

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One folder per process: ctest runs each test in a process of its own, perhaps side by side.
        certs_ = std::string(VORN_TLS_DIR) + "-" + std::to_string(getpid());
        ASSERT_EQ(0, std::system(("bash " VORN_CERT_SCRIPT " " + certs_ + " > " + certs_ + ".out 2>&1").c_str()))
            << readFile(certs_ + ".out");
        odbc_.reset(new vorntest::OdbcSandbox);
        odbc_->write(odbc_->driverIni(), std::string("[") + kDriver + "]\nDescription=VORN\nDriver=" +
                                             VORN_DRIVER_LIB + "\nSetup=" + VORN_DRIVER_LIB + "\n");
        const std::string users = std::string("alice:") + kPassword + "\n";
        const std::string c = certs_ + "/";
        tlsOnly_.reset(new TestServer("tls-only", users,
                                      {"--tls-cert", c + "server.pem", "--tls-key", c + "server.key", "--tls-only"}));
        expired_.reset(new TestServer("tls-expired", users,
                                      {"--tls-cert", c + "expired.pem", "--tls-key", c + "server.key"}));
        selfSigned_.reset(new TestServer("tls-self", users,
                                         {"--tls-cert", c + "self.pem", "--tls-key", c + "self.key"}));
        clear_.reset(new TestServer("tls-clear", users));
        for (TestServer* s : {tlsOnly_.get(), expired_.get(), selfSigned_.get(), clear_.get()})
            ASSERT_TRUE(s->ok()) << s->error();
    }
    static void TearDownTestSuite() {
        for (auto* s : {&tlsOnly_, &expired_, &selfSigned_, &clear_}) {
            if (*s) {
                EXPECT_EQ(0, (*s)->stop());
            }
            s->reset();
        }
        odbc_.reset();
        std::system(("rm -rf " + certs_ + " " + certs_ + ".*").c_str());
    }
    static std::string at(std::uint16_t port, const std::string& more) {
        return "DRIVER={" + std::string(kDriver) + "};Server=127.0.0.1;Service=" + std::to_string(port) +
               ";UID=alice;PWD=" + kPassword + ";" + more;
    }
    static std::string ca() { return certs_ + "/ca.pem"; }

    inline static std::string certs_;
    inline static std::unique_ptr<vorntest::OdbcSandbox> odbc_;
    inline static std::unique_ptr<TestServer> tlsOnly_, expired_, selfSigned_, clear_;
};

// What crosses the wire: in clear text the rows can be read off it (so the
// recorder sees what there is to see); encrypted, neither the password nor
// a row value nor the statement text.
TEST_F(Tls, EncryptedSessionShowsNothingOnTheWire) {
    const char* secrets[] = {kPassword, "Jules Verne", "Mary Shelley", "Sweden", "AUTHORS"};
    {
        RecordingProxy proxy(clear_->port());
        Dbc c;
        ASSERT_PRED1(ok, c.driverConnect(at(proxy.port(), "Encrypt=no"))) << c.state();
        EXPECT_NE(std::string::npos, c.authors().find("Jules Verne|France|"));
        EXPECT_NE(std::string::npos, proxy.recorded().find("Jules Verne"));
    }
    RecordingProxy proxy(tlsOnly_->port());
    Dbc c;
    std::string out;
    ASSERT_PRED1(ok, c.driverConnect(at(proxy.port(), "Encrypt=yes;CAFile=" + ca()), &out)) << c.state();
    EXPECT_NE(std::string::npos, out.find(";Encrypt=yes;CAFile=" + ca())) << out;
    const std::string rows = c.authors();
    EXPECT_EQ("Selma Lagerlöf|Sweden|Jules Verne|France|Mary Shelley|United Kingdom|Anonymous|", rows);
    SQLDisconnect(c.dbc);
    const std::string wire = proxy.recorded();
    EXPECT_GT(wire.size(), 500u);
    for (const char* s : secrets) EXPECT_EQ(std::string::npos, wire.find(s)) << s << " crossed in clear";
}

// Data-source keys choose TLS as the connection string does.
TEST_F(Tls, DataSourceKeysAndTrustServerCertificate) {
    // Made by ConfigDSN, as an administrator makes it.
    std::string list;
    for (const std::string& pair : {std::string("DSN=secure"), std::string("Server=127.0.0.1"),
                                    "Service=" + std::to_string(tlsOnly_->port()), std::string("Encrypt=yes"),
                                    "CAFile=" + ca(), std::string("HostNameInCertificate=localhost")})
        list.append(pair).push_back('\0');
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kDriver, list.c_str()));
    {
        Dbc c;
        ASSERT_PRED1(ok, SQLConnect(c.dbc, (SQLCHAR*)"secure", SQL_NTS, (SQLCHAR*)"alice", SQL_NTS,
                                    (SQLCHAR*)kPassword, SQL_NTS)) << c.state();
        EXPECT_NE(std::string::npos, c.authors().find("Mary Shelley|"));
    }
    // A self-signed server is taken on trust when asked to, and only then.
    Dbc trusting;
    ASSERT_PRED1(ok, trusting.driverConnect(at(selfSigned_->port(), "Encrypt=yes;TrustServerCertificate=yes")))
        << trusting.state();
    EXPECT_NE(std::string::npos, trusting.authors().find("Anonymous|"));
    // A server with TLS still serves clear clients when not --tls-only.
    Dbc plain;
    EXPECT_PRED1(ok, plain.driverConnect(at(selfSigned_->port(), ""))) << plain.state();
}

// Each refusal is 08001 with the reason, and no session is left open.
TEST_F(Tls, RefusalsSayWhy) {
    struct Case {
        const char* what;
        std::uint16_t port;
        std::string more, reason;
    } cases[] = {
        {"unknown issuer", tlsOnly_->port(), "Encrypt=yes;CAFile=" + certs_ + "/other-ca.pem",
         "TLS handshake failed: unable to get local issuer certificate (TlsHandshake)"},
        {"system store", tlsOnly_->port(), "Encrypt=yes", "TLS handshake failed: unable to get local issuer"},
        {"expired", expired_->port(), "Encrypt=yes;CAFile=" + ca(), "TLS handshake failed: certificate has expired"},
        {"host name", tlsOnly_->port(), "Encrypt=yes;CAFile=" + ca() + ";HostNameInCertificate=db.example.com",
         "TLS handshake failed: hostname mismatch"},
        {"self-signed", selfSigned_->port(), "Encrypt=yes", "TLS handshake failed: self-signed certificate"},
        {"clear at TLS-only", tlsOnly_->port(), "Encrypt=no", "takes encrypted connections only"},
        {"TLS at clear", clear_->port(), "Encrypt=yes;TrustServerCertificate=yes",
         "the server closed the connection (does it serve TLS?)"},
        {"bad flag", tlsOnly_->port(), "Encrypt=maybe", "Invalid value 'maybe' for Encrypt: use yes or no"},
        {"missing CA file", tlsOnly_->port(), "Encrypt=yes;CAFile=" + certs_ + "/none.pem",
         "TLS cannot start: cannot load the CA file " + certs_ + "/none.pem"},
    };
    for (const Case& k : cases) {
        Dbc c;
        EXPECT_EQ(SQL_ERROR, c.driverConnect(at(k.port, k.more))) << k.what;
        const std::string got = c.state();
        EXPECT_EQ(0u, got.find("08001 ")) << k.what << ": " << got;
        EXPECT_NE(std::string::npos, got.find(k.reason)) << k.what << ": " << got;
    }
}

// pyodbc, as an application would use it.
TEST_F(Tls, PyodbcQueriesOverTls) {
    const std::string script = certs_ + ".py";
    std::ofstream(script) << "import pyodbc\n"
                             "c = pyodbc.connect('" + at(tlsOnly_->port(), "Encrypt=yes;CAFile=" + ca()) + "')\n"
                             "print(c.cursor().execute('SELECT NAME FROM AUTHORS WHERE ID = ?', 2).fetchone()[0])\n";
    const std::string out = certs_ + ".pyout";
    // python3 is not instrumented: a sanitized driver needs its runtime first.
    const std::string preload = VORN_SANITIZER_PRELOAD;
    const std::string env = preload.empty() ? "" : "LD_PRELOAD=" + preload + " ASAN_OPTIONS=detect_leaks=0 ";
    const int rc = std::system((env + "/usr/bin/python3 " + script + " > " + out + " 2>&1").c_str());
    EXPECT_EQ(0, rc) << readFile(out);
    EXPECT_EQ("Jules Verne\n", readFile(out));
}

}  // namespace

namespace {

// A TLS server that takes the connection and then says nothing: the
// handshake's waits end with the login time-out, as a clear login's do.
TEST_F(Tls, SilentServerDuringHandshakeTimesOut) {
    const std::string c = certs_ + "/";
    TestServer frozen("tls-frozen", "", {"--tls-cert", c + "self.pem", "--tls-key", c + "self.key"});
    ASSERT_TRUE(frozen.ok()) << frozen.error();
    ASSERT_EQ(0, kill(frozen.pid(), SIGSTOP));
    Dbc d;
    SQLSetConnectAttr(d.dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    EXPECT_EQ(SQL_ERROR, d.driverConnect(at(frozen.port(), "Encrypt=yes;TrustServerCertificate=yes")));
    kill(frozen.pid(), SIGCONT);
    EXPECT_EQ(0u, d.state().find("HYT00")) << d.state();
    EXPECT_NE(std::string::npos, d.state().find("within 1 seconds")) << d.state();
}

}  // namespace
