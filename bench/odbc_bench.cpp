// One client for comparing ODBC drivers through the unixODBC driver manager
// with DSN-less connection strings; bench/run.sh drives it. Each mode prints
// one line of "name value" pairs for the script to collect.
//
//   odbc_bench exec CONN SQL...             run statements (setting up tables)
//   odbc_bench rows CONN SQL [getdata]      fetch every row as SQL_C_CHAR
//   odbc_bench latency CONN N               N small queries, prepared and direct
//   odbc_bench connect CONN N               N connects and disconnects
//   odbc_bench wide CONN SQL                long values read with SQLGetData
//   odbc_bench pingpong N                   bare loopback round trips, 64 bytes
//                                           out and 2 KiB back (TCP_NODELAY)
#include <sql.h>
#include <sqlext.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// User plus system time of this process, with the driver (and an in-process
// engine) in it.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakKib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE h, const char* what) {
    SQLCHAR state[6] = "", text[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    if (h) SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
    std::fprintf(stderr, "odbc_bench: %s failed: [%s] %s\n", what, state, text);
    std::exit(1);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
    if (!SQL_SUCCEEDED(rc)) fail(type, h, what);
}

struct Connection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;

    explicit Connection(const std::string& conn) {
        check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_HANDLE_ENV, env, "SQLAllocHandle");
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        check(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_HANDLE_ENV, env, "SQLAllocHandle");
        open(conn);
    }
    ~Connection() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    void open(const std::string& conn) {
        SQLCHAR out[1024];
        SQLSMALLINT outLen = 0;
        check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, out, sizeof out, &outLen,
                               SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    }
    SQLHSTMT statement() {
        SQLHSTMT s = SQL_NULL_HSTMT;
        check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
        return s;
    }
};

constexpr SQLLEN kCell = 256;

struct Fetched {
    long rows = 0;
    long bytes = 0;
};

// The measured part of the rows mode, by name for callgrind's
// --toggle-collect: execute and fetch every row.
extern "C" __attribute__((noinline)) void bench_fetch_all(SQLHSTMT s, const char* sql, bool getData,
                                                          Fetched* out) {
    check(SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, s, "SQLExecDirect");
    SQLSMALLINT columns = 0;
    SQLNumResultCols(s, &columns);
    std::vector<char> cells(static_cast<std::size_t>(columns) * kCell);
    std::vector<SQLLEN> lengths(static_cast<std::size_t>(columns));
    if (!getData) {
        for (SQLUSMALLINT c = 0; c < columns; ++c)
            check(SQLBindCol(s, c + 1, SQL_C_CHAR, &cells[c * kCell], kCell, &lengths[c]), SQL_HANDLE_STMT, s,
                  "SQLBindCol");
    }
    for (;;) {
        const SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA) break;
        check(rc, SQL_HANDLE_STMT, s, "SQLFetch");
        ++out->rows;
        for (SQLUSMALLINT c = 0; c < columns; ++c) {
            if (getData)
                check(SQLGetData(s, c + 1, SQL_C_CHAR, &cells[c * kCell], kCell, &lengths[c]), SQL_HANDLE_STMT, s,
                      "SQLGetData");
            if (lengths[c] > 0) out->bytes += lengths[c];
        }
    }
    SQLCloseCursor(s);
}

int rowsMode(const std::string& conn, const char* sql, bool getData) {
    Connection c(conn);
    SQLHSTMT s = c.statement();
    Fetched f;
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    bench_fetch_all(s, sql, getData, &f);
    const double wall = seconds(t0), cpu = cpuSeconds() - cpu0;
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    std::printf("rows %ld seconds %.6f rows_per_s %.0f cpu_us_per_row %.3f bytes %ld peak_kib %ld\n", f.rows, wall,
                f.rows / wall, f.rows ? cpu * 1e6 / f.rows : 0.0, f.bytes, peakKib());
    return 0;
}

// One row, one small value: the round trip and the per-statement cost.
int latencyMode(const std::string& conn, int n) {
    Connection c(conn);
    SQLHSTMT s = c.statement();
    char name[128];
    SQLLEN len = 0;
    SQLINTEGER id = 0;
    SQLLEN idLen = 0;
    check(SQLPrepare(s, (SQLCHAR*)"SELECT NAME FROM BENCH WHERE ID = ?", SQL_NTS), SQL_HANDLE_STMT, s, "SQLPrepare");
    check(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &id, 0, &idLen), SQL_HANDLE_STMT,
          s, "SQLBindParameter");
    check(SQLBindCol(s, 1, SQL_C_CHAR, name, sizeof name, &len), SQL_HANDLE_STMT, s, "SQLBindCol");
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        id = 1 + (i * 7919) % 100000;
        check(SQLExecute(s), SQL_HANDLE_STMT, s, "SQLExecute");
        check(SQLFetch(s), SQL_HANDLE_STMT, s, "SQLFetch");
        SQLCloseCursor(s);
    }
    const double prepared = seconds(t0) / n;
    SQLFreeHandle(SQL_HANDLE_STMT, s);

    s = c.statement();
    check(SQLBindCol(s, 1, SQL_C_CHAR, name, sizeof name, &len), SQL_HANDLE_STMT, s, "SQLBindCol");
    t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        const std::string sql = "SELECT NAME FROM BENCH WHERE ID = " + std::to_string(1 + (i * 7919) % 100000);
        check(SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_HANDLE_STMT, s, "SQLExecDirect");
        check(SQLFetch(s), SQL_HANDLE_STMT, s, "SQLFetch");
        SQLCloseCursor(s);
    }
    const double direct = seconds(t0) / n;
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    std::printf("prepared_us %.2f direct_us %.2f\n", prepared * 1e6, direct * 1e6);
    return 0;
}

int connectMode(const std::string& conn, int n) {
    Connection c(conn);
    SQLDisconnect(c.dbc);
    const auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        c.open(conn);
        SQLDisconnect(c.dbc);
    }
    std::printf("connect_us %.2f\n", seconds(t0) / n * 1e6);
    c.open(conn);
    return 0;
}

int wideMode(const std::string& conn, const char* sql) {
    Connection c(conn);
    SQLHSTMT s = c.statement();
    std::vector<char> buffer(64 * 1024);
    long rows = 0, bytes = 0;
    const auto t0 = Clock::now();
    check(SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, s, "SQLExecDirect");
    for (;;) {
        SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA) break;
        check(rc, SQL_HANDLE_STMT, s, "SQLFetch");
        ++rows;
        for (;;) {
            SQLLEN len = 0;
            rc = SQLGetData(s, 2, SQL_C_CHAR, buffer.data(), static_cast<SQLLEN>(buffer.size()), &len);
            if (rc == SQL_NO_DATA) break;
            check(rc, SQL_HANDLE_STMT, s, "SQLGetData");
            const SQLLEN room = static_cast<SQLLEN>(buffer.size()) - 1;
            if (len == SQL_NO_TOTAL || len > room) {
                bytes += room;
            } else {
                if (len > 0) bytes += len;
                break;
            }
        }
    }
    const double wall = seconds(t0);
    SQLCloseCursor(s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    std::printf("wide_rows %ld wide_bytes %ld wide_seconds %.6f peak_kib %ld\n", rows, bytes, wall, peakKib());
    return 0;
}

bool full(int fd, char* p, std::size_t n, bool sending) {
    while (n > 0) {
        const ssize_t k = sending ? ::send(fd, p, n, MSG_NOSIGNAL) : ::recv(fd, p, n, 0);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

// Two processes, as a client and its server are.
int pingpongMode(int n) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t alen = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &alen) != 0) {
        std::perror("odbc_bench: listen");
        return 1;
    }
    const int on = 1;
    const pid_t server = ::fork();
    if (server < 0) {
        std::perror("odbc_bench: fork");
        return 1;
    }
    if (server == 0) {
        const int fd = ::accept(listener, nullptr, nullptr);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char in[64], out[2048] = {};
        while (full(fd, in, sizeof in, false) && full(fd, out, sizeof out, true)) {
        }
        ::_exit(0);
    }
    ::close(listener);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("odbc_bench: connect");
        ::kill(server, SIGKILL);
        ::waitpid(server, nullptr, 0);
        return 1;
    }
    char out[64] = {}, in[2048];
    bool ok = true;
    const auto t0 = Clock::now();
    for (int i = 0; i < n && ok; ++i) ok = full(fd, out, sizeof out, true) && full(fd, in, sizeof in, false);
    const double rtt = seconds(t0) / n;
    ::close(fd);
    ::waitpid(server, nullptr, 0);
    if (!ok) return 1;
    std::printf("roundtrip_us %.2f\n", rtt * 1e6);
    return 0;
}

int execMode(const std::string& conn, int count, char** statements) {
    Connection c(conn);
    for (int i = 0; i < count; ++i) {
        SQLHSTMT s = c.statement();
        check(SQLExecDirect(s, (SQLCHAR*)statements[i], SQL_NTS), SQL_HANDLE_STMT, s, statements[i]);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: odbc_bench exec CONN SQL... | rows CONN SQL [getdata] | latency CONN N |\n"
                 "       connect CONN N | wide CONN SQL | pingpong N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    if (mode == "pingpong") return pingpongMode(std::max(1, std::atoi(argv[2])));
    const std::string conn = argv[2];
    if (mode == "exec") return execMode(conn, argc - 3, argv + 3);
    if (argc < 4) return usage();
    if (mode == "rows") return rowsMode(conn, argv[3], argc > 4 && std::strcmp(argv[4], "getdata") == 0);
    if (mode == "latency") return latencyMode(conn, std::max(1, std::atoi(argv[3])));
    if (mode == "connect") return connectMode(conn, std::max(1, std::atoi(argv[3])));
    if (mode == "wide") return wideMode(conn, argv[3]);
    return usage();
}
