// A client's fetch loop through the driver manager: a query of N rows x 5
// columns (integer, varchar(64), 40-character text, numeric, date), every
// column read as SQL_C_CHAR, bound or through SQLGetData. Prints rows per
// second for each round and their median. With --setup it first creates and
// fills the table. Run it against a vornd that is already serving, so that a
// whole-process measurement of this program is the client's alone.
//
//   fetch_bench --connect "DRIVER=/path/libvornodbc.so;Server=127.0.0.1;Service=7110;UID=u;PWD=p"
//               [--setup] [--rows 100000] [--block 10|all] [--getdata] [--rounds 3]
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kColumns = 5;
constexpr SQLLEN kWidth = 96;  // room for the longest text of the table

void usage() {
    std::printf(
        "Usage: fetch_bench --connect STRING [--setup] [--rows N] [--block N|all] [--getdata] [--rounds N]\n"
        "  --connect STRING  connection string (BlockSize is added from --block)\n"
        "  --setup           create table FETCH_BENCH with --rows rows first\n"
        "  --rows N          rows to read (default 100000)\n"
        "  --block N|all     BlockSize for the connection (default: the driver's)\n"
        "  --getdata         read with SQLGetData instead of bound columns\n"
        "  --rounds N        rounds of the query (default 3)\n");
}

[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    SQLCHAR state[6] = "", text[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length);
    std::fprintf(stderr, "fetch_bench: %s failed: %s %s\n", what, state, text);
    std::exit(1);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
    if (!SQL_SUCCEEDED(rc)) fail(type, handle, what);
}

void exec(SQLHDBC dbc, const std::string& sql) {
    SQLHSTMT stmt;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, stmt, sql.c_str());
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

void setup(SQLHDBC dbc, long rows) {
    SQLHSTMT probe;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &probe);
    SQLExecDirect(probe, (SQLCHAR*)"DROP TABLE FETCH_BENCH", SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, probe);
    exec(dbc, "CREATE TABLE FETCH_BENCH (ID INTEGER, NAME VARCHAR(64), BODY VARCHAR(40), PRICE NUMERIC, DAY DATE)");
    // Filled in slices of one statement each, so that no text is huge.
    const long slice = 5000;
    for (long from = 1; from <= rows; from += slice) {
        std::string sql = "INSERT INTO FETCH_BENCH VALUES ";
        for (long i = from; i < from + slice && i <= rows; ++i) {
            char row[200];
            std::snprintf(row, sizeof row, "%s(%ld, 'name %ld', 'abcdefghijklmnopqrstuvwxyz0123456789%04ld', %ld.25, '2024-%02ld-%02ld')",
                          i == from ? "" : ",", i, i, i % 10000, i % 100000, 1 + i % 12, 1 + i % 28);
            sql += row;
        }
        exec(dbc, sql);
    }
}

long fetchAll(SQLHDBC dbc, long rows, bool getData) {
    SQLHSTMT stmt;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
    char sql[200];
    std::snprintf(sql, sizeof sql, "SELECT ID, NAME, BODY, PRICE, DAY FROM FETCH_BENCH WHERE ID <= %ld", rows);
    check(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS), SQL_HANDLE_STMT, stmt, "SQLExecDirect");
    char data[kColumns][kWidth];
    SQLLEN length[kColumns];
    if (!getData)
        for (int c = 0; c < kColumns; ++c)
            check(SQLBindCol(stmt, SQLUSMALLINT(c + 1), SQL_C_CHAR, data[c], kWidth, &length[c]), SQL_HANDLE_STMT, stmt,
                  "SQLBindCol");
    long n = 0;
    unsigned long checksum = 0;
    for (;;) {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        check(rc, SQL_HANDLE_STMT, stmt, "SQLFetch");
        if (getData)
            for (int c = 0; c < kColumns; ++c)
                check(SQLGetData(stmt, SQLUSMALLINT(c + 1), SQL_C_CHAR, data[c], kWidth, &length[c]), SQL_HANDLE_STMT,
                      stmt, "SQLGetData");
        checksum += static_cast<unsigned long>(length[1] + data[0][0]);
        ++n;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (checksum == 0 && n > 0) std::fprintf(stderr, "fetch_bench: empty values\n");
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::string connect, block;
    long rows = 100000;
    int rounds = 3;
    bool doSetup = false, getData = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--connect") connect = next();
        else if (a == "--rows") rows = std::atol(next());
        else if (a == "--block") block = next();
        else if (a == "--rounds") rounds = std::atoi(next());
        else if (a == "--setup") doSetup = true;
        else if (a == "--getdata") getData = true;
        else {
            usage();
            return a == "--help" ? 0 : 2;
        }
    }
    if (connect.empty() || rows < 1 || rounds < 1) {
        usage();
        return 2;
    }
    if (!block.empty()) connect += ";BlockSize=" + block;

    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    check(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
    if (doSetup) setup(dbc, rows);

    std::vector<double> rates;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        long n = fetchAll(dbc, rows, getData);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (n != rows) {
            std::fprintf(stderr, "fetch_bench: %ld rows read, %ld expected\n", n, rows);
            return 1;
        }
        rates.push_back(double(n) / seconds);
        std::printf("round %d: %ld rows in %.3f s, %.0f rows/s\n", r + 1, n, seconds, rates.back());
    }
    std::sort(rates.begin(), rates.end());
    std::printf("median: %.0f rows/s (%s, block %s)\n", rates[rates.size() / 2], getData ? "SQLGetData" : "bound",
                block.empty() ? "default" : block.c_str());
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return 0;
}
