// Connecting through the unixODBC driver manager to a real vornd: the driver
// registered in a private odbcinst.ini, its data sources made with
// SQLConfigDataSource (the driver's ConfigDSN), SQLConnect, SQLDriverConnect,
// lost and frozen servers, and the client scripts of tests/it.
#include "support/odbc_session.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

using namespace vorntest;
using vorndtest::readFile;
using vorndtest::TestServer;

namespace {

int openSockets() {
    int n = 0;
    std::error_code ignored;  // the folder's own descriptor is gone when its link is read
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
        n += std::filesystem::read_symlink(fd.path(), ignored).string().rfind("socket:", 0) == 0;
    return n;
}

// Signals a server and waits until it has stopped or died (T or Z in
// /proc/PID/stat): kill only sends the signal.
bool signalTaken(pid_t pid, int signal) {
    if (kill(pid, signal) != 0) return false;
    for (int i = 0; i < 1000; ++i) {
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t paren = stat.rfind(')');
        if (paren == std::string::npos || paren + 2 >= stat.size()) return true;  // gone
        if (std::strchr("TZX", stat[paren + 2])) return true;
        usleep(10000);
    }
    return false;
}

class DriverManager : public OdbcSession {
protected:
    static void SetUpTestSuite() {
        registerDriver();
        startServer("connect", "alice:secret\n", {"--verbose"});
    }
    static std::string port() { return std::to_string(server_->port()); }
};

// A data source made through the installer: SQLConnect, SQLDriverConnect's
// output string from its keys, and the log they name.
TEST_F(DriverManager, DataSourceMadeByConfigDsnConnectAndTheLogItNames) {
    const std::string log = odbc_->dir() + "/driver.log";
    // (The keys ConfigDSN writes: the unit tests.)
    ASSERT_TRUE(addDsn("vorn", {"Description=not in the output", "LogLevel=5", "LogFile=" + log}));

    const int stops = requests(111);
    const int sockets = openSockets();
    std::string first;
    {
        Dbc c;
        ASSERT_EQ(SQL_SUCCESS, c.connect("vorn")) << c.state();  // the manager's SQLSetEnvAttr reached the driver
        // The disconnect drops the statements and descriptors still allocated.
        SQLHANDLE handles[4];
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(i < 3 ? SQL_HANDLE_STMT : SQL_HANDLE_DESC, c.dbc, &handles[i]));
        EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(c.dbc)) << c.state();
        first = readFile(log);
        // And again, the output string cut by its buffer: a warning the
        // manager can read, and the whole string's length.
        const std::string whole =
            "DSN=vorn;SERVER=127.0.0.1;SERVICE=" + port() + ";UID=alice;PWD=secret;LogLevel=5;LogFile=" + log;
        std::string cut;
        SQLSMALLINT length = 0;
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, c.driverConnect("DSN=vorn;UID=alice;PWD=secret", &cut, 40, &length));
        EXPECT_EQ("01004 [Kalmo][VORNsql driver]String data, right truncated", c.state());
        EXPECT_EQ(whole.substr(0, 39), cut);
        EXPECT_EQ(SQLSMALLINT(whole.size()), length);
        EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT));
    }
    EXPECT_EQ(stops + 2, requests(111));  // each session ended with StopVorn
    EXPECT_EQ(sockets, openSockets());    // and its connection closed

    for (const char* line : {"Number of statements 3", "Number of descriptors 1", "SQLConnect", "Exit with retVal = 0"})
        EXPECT_NE(std::string::npos, first.find(line)) << line << "\n" << first;
    // The second session adds to the log; the first one's lines stay.
    const std::string text = readFile(log);
    EXPECT_EQ(first, text.substr(0, first.size()));
    EXPECT_NE(std::string::npos, text.find("SQLDriverConnect", first.size()));
    // A data source without LogLevel turns the log off again.
    ASSERT_TRUE(addDsn("quiet"));
    ASSERT_PRED1(ok, Dbc().connect("quiet"));
    EXPECT_EQ(std::string::npos, readFile(log).find("SQLDisconnect", text.size()));
}

// Every failed connect says why, through both connect functions (a port
// nobody listens on: the unit tests).
TEST_F(DriverManager, LoginFailuresSayWhy) {
    ASSERT_TRUE(addDsn("why"));
    ASSERT_TRUE(addDsn("nosvc", {}, "no-such-vorn-service"));
    const struct {
        const char *dsn, *user, *password;
        std::string state, text;
    } cases[] = {
        {"why", "alice", "wrong", "28000", "[Kalmo][VORNsql driver]Invalid user name or password"},
        {"nosvc", "alice", "secret", "08001", "127.0.0.1:no-such-vorn-service: Service not found (getaddrinfo)"},
    };
    for (const auto& c : cases) {
        Dbc byConnect, byDriverConnect;
        EXPECT_EQ(SQL_ERROR, byConnect.connect(c.dsn, c.user, c.password));
        EXPECT_EQ(SQL_ERROR, byDriverConnect.driverConnect(std::string("DSN=") + c.dsn + ";UID=" + c.user +
                                                           ";PWD=" + c.password));
        for (Dbc* d : {&byConnect, &byDriverConnect}) {
            const std::string got = d->state();
            EXPECT_EQ(c.state, got.substr(0, 5)) << c.dsn << " " << c.user << ": " << got;
            EXPECT_NE(std::string::npos, got.find(c.text)) << got;
        }
    }
}

// A server that dies or stops answering: the wait ends with the limit that
// bounds it (login, connection or query time-out), the connection reads as
// dead, later calls fail at once, the disconnect succeeds, and the same
// handle connects again to a server started anew.
TEST_F(DriverManager, LostOrFrozenServer) {
    enum When { Login, Execute, Fetch };
    const struct {
        const char* what;
        int signal;
        When when;
        SQLULEN queryTimeout;
        std::string state;
        std::vector<const char*> reasons;  // any one of them
    } cases[] = {
        {"frozen at login", SIGSTOP, Login, 0, "HYT00", {"within 1 seconds"}},
        {"killed while fetching", SIGKILL, Fetch, 0, "08S01 [Kalmo][VORNsql driver]Communication link failure",
         {" (recv)", " (send)"}},  // closed, reset or refused by timing
        {"frozen while fetching", SIGSTOP, Fetch, 0, "08S01 [Kalmo][VORNsql driver]Communication link failure",
         {"within 1 seconds"}},
        {"query time-out at execution", SIGSTOP, Execute, 2, "HYT00 [Kalmo][VORNsql driver]Timeout expired",
         {"within the query time-out of 2 seconds"}},
        {"query time-out while fetching", SIGSTOP, Fetch, 2, "HYT00 [Kalmo][VORNsql driver]Timeout expired",
         {"within the query time-out of 2 seconds"}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        TestServer lost("lost");
        ASSERT_TRUE(lost.ok()) << lost.error();
        Dbc c;
        std::string got;
        SQLSetConnectAttr(c.dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(k.when == Login ? 1 : 60), 0);
        // After the login the connection's limit, not the login's, bounds each
        // wait; a query time-out as long as the connection's wins.
        SQLSetConnectAttr(c.dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(k.queryTimeout ? k.queryTimeout : 1), 0);
        if (k.when == Login) {
            ASSERT_TRUE(signalTaken(lost.pid(), k.signal));
            EXPECT_EQ(SQL_ERROR, c.driverConnect(at(lost.port())));
            kill(lost.pid(), SIGCONT);
            got = c.state();
        } else {
            ASSERT_PRED1(ok, c.driverConnect(at(lost.port()))) << c.state();
            EXPECT_EQ(SQLUINTEGER(SQL_CD_FALSE), c.dead());
            Stmt st(c.dbc);
            SQLSetStmtAttr(st.h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(k.queryTimeout), 0);
            if (k.when == Fetch) {
                ASSERT_PRED1(ok, st.exec("SELECT ID FROM ARTICLES")) << st.state();
                ASSERT_PRED1(ok, SQLFetch(st.h)) << st.state();  // the first of ten rows at hand
            }
            ASSERT_TRUE(signalTaken(lost.pid(), k.signal));
            SQLRETURN rc = SQL_SUCCESS;
            if (k.when == Fetch) {
                for (int i = 0; i < 20 && rc == SQL_SUCCESS; ++i) rc = SQLFetch(st.h);
            } else {
                rc = st.exec("SELECT ID FROM ARTICLES");
            }
            kill(lost.pid(), SIGCONT);
            EXPECT_EQ(SQL_ERROR, rc);
            got = st.state();
            if (!k.queryTimeout) {
                EXPECT_NE(std::string::npos, got.find("127.0.0.1:" + std::to_string(lost.port())));
            }
        }
        EXPECT_EQ(0u, got.find(k.state)) << got;
        EXPECT_TRUE(std::any_of(k.reasons.begin(), k.reasons.end(),
                                [&](const char* r) { return got.find(r) != std::string::npos; })) << got;
        if (k.when == Login) continue;
        EXPECT_EQ(SQLUINTEGER(SQL_CD_TRUE), c.dead());
        {
            Stmt again(c.dbc);
            EXPECT_EQ(SQL_ERROR, again.exec("SELECT 1"));
            EXPECT_EQ(0u, again.state().find("08S01")) << again.state();
            EXPECT_NE(std::string::npos, again.state().find("was lost")) << again.state();
        }
        EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(c.dbc));
        TestServer restarted("restarted");
        ASSERT_TRUE(restarted.ok()) << restarted.error();
        ASSERT_PRED1(ok, c.driverConnect(at(restarted.port()))) << c.state();
        EXPECT_EQ(SQLUINTEGER(SQL_CD_FALSE), c.dead());
        Stmt st(c.dbc);
        EXPECT_PRED1(ok, st.exec("SELECT ID FROM ARTICLES")) << st.state();
        EXPECT_PRED1(ok, SQLFetch(st.h)) << st.state();
    }
}

// One pyodbc, DBD::ODBC or PHP script of tests/it, named by ctest in
// VORN_IT_SCRIPT (tests/connect.cmake), run against the data source VORN_IT
// of a fresh sample database of its own.
TEST_F(DriverManager, Script) {
    const char* script = std::getenv("VORN_IT_SCRIPT");
    if (!script || !*script) GTEST_SKIP() << "VORN_IT_SCRIPT names the script to run";
    TestServer open("script");  // without a users file: any login will do
    ASSERT_TRUE(open.ok()) << open.error();
    ASSERT_TRUE(addDsn("VORN_IT", {"LogLevel=0"}, std::to_string(open.port())));
    const std::string name = script, extension = name.substr(name.rfind('.') + 1);
    const std::map<std::string, const char*> interpreters = {
        {"py", "/usr/bin/python3 "}, {"pl", "/usr/bin/perl "}, {"php", "/usr/bin/php "}, {"R", "/usr/bin/Rscript "}};
    const char* interpreter = interpreters.at(extension);
    if (extension == "php" && *VORN_SANITIZER_PRELOAD)
        GTEST_SKIP() << "PHP loads its extensions with RTLD_DEEPBIND, which the sanitizer runtime refuses";
    std::string out;
    EXPECT_EQ(0, runWithDriver(odbc_->dir(), std::string("VORN_IT_DSN=VORN_IT ") + interpreter + script + " < /dev/null",
                               out)) << out;
}

}  // namespace
