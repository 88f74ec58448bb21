// Load through the unixODBC driver manager against vornd: many threads on
// connections of their own, threads sharing one connection, and a
// connect/prepare/execute/fetch/disconnect loop that the sanitized tree
// checks for leaks (LeakSanitizer at exit, in this program and in vornd).
#include "support/odbc_sandbox.h"
#include "VorndSuite.h"
#include "stress.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kDriver = "Kalmo VORNsql driver";
const char* const kQuery = "SELECT ID, NAME FROM AUTHORS ORDER BY ID";

using Rows = std::vector<std::string>;

// One connection of the driver manager, or the diagnostic that refused it.
struct Conn {
    SQLHDBC dbc = SQL_NULL_HDBC;
    Conn(SQLHENV env, const std::string& in, std::string& error) {
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                              SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) error = "connect: " + diag(SQL_HANDLE_DBC, dbc);
    }
    ~Conn() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    static std::string diag(SQLSMALLINT type, SQLHANDLE h) {
        SQLCHAR state[6] = "", text[512] = "";
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
        return std::string((char*)state) + " " + (char*)text;
    }
};

// Runs the query on a statement of its own; its rows as "ID|NAME", or the
// diagnostic in `error`.
Rows query(SQLHDBC dbc, std::string& error, bool prepared = false) {
    Rows rows;
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st))) {
        error = "alloc: " + Conn::diag(SQL_HANDLE_DBC, dbc);
        return rows;
    }
    SQLRETURN rc = prepared ? SQLPrepare(st, (SQLCHAR*)kQuery, SQL_NTS) : SQLExecDirect(st, (SQLCHAR*)kQuery, SQL_NTS);
    if (prepared && SQL_SUCCEEDED(rc)) rc = SQLExecute(st);
    if (!SQL_SUCCEEDED(rc)) error = "execute: " + Conn::diag(SQL_HANDLE_STMT, st);
    while (error.empty() && SQL_SUCCEEDED(rc = SQLFetch(st))) {
        SQLINTEGER id = 0;
        char name[256] = "";
        SQLLEN n1 = 0, n2 = 0;
        SQLGetData(st, 1, SQL_C_SLONG, &id, 0, &n1);
        SQLGetData(st, 2, SQL_C_CHAR, name, sizeof name, &n2);
        rows.push_back(std::to_string(id) + "|" + (n2 == SQL_NULL_DATA ? "<null>" : name));
    }
    if (error.empty() && rc != SQL_NO_DATA) error = "fetch: " + Conn::diag(SQL_HANDLE_STMT, st);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return rows;
}

class Storm : public vorndtest::VorndSuite {
protected:
    static void SetUpTestSuite() {
        odbc_.reset(new vorntest::OdbcSandbox);
        odbc_->write(odbc_->driverIni(), std::string("[") + kDriver + "]\nDescription=VORN\nDriver=" +
                                             VORN_DRIVER_LIB + "\nSetup=" + VORN_DRIVER_LIB + "\n");
        startServer("storm", "", {"--max-sessions", "64"});
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        std::string error;
        Conn c(env_, connectionString(), error);
        ASSERT_EQ("", error);
        expected_ = query(c.dbc, error);
        ASSERT_EQ("", error);
        ASSERT_GT(expected_.size(), 1u);
    }
    static void TearDownTestSuite() {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        VorndSuite::TearDownTestSuite();
        odbc_.reset();
    }
    static std::string connectionString() {
        return "DRIVER={" + std::string(kDriver) + "};Server=127.0.0.1;Service=" +
               std::to_string(server_->port()) + ";UID=a;PWD=b";
    }
    // Runs `lanes` threads of `each` queries; the first failure of any, or "".
    static std::string storm(unsigned lanes, unsigned each, const std::function<std::string(unsigned)>& lane) {
        std::vector<std::string> errors(lanes);
        std::vector<std::thread> threads;
        const auto t0 = std::chrono::steady_clock::now();
        for (unsigned t = 0; t < lanes; ++t) threads.emplace_back([&, t] { errors[t] = lane(t); });
        for (std::thread& t : threads) t.join();
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%u threads x %u queries: %.2f s\n", lanes, each, took);
        for (const std::string& e : errors)
            if (!e.empty()) return e;
        return "";
    }
    // `each` queries on `dbc`, each result compared row by row.
    static std::string queries(SQLHDBC dbc, unsigned each, unsigned lane) {
        for (unsigned i = 0; i < each; ++i) {
            std::string error;
            const Rows rows = query(dbc, error, i % 2 == 1);
            if (!error.empty()) return "lane " + std::to_string(lane) + " query " + std::to_string(i) + ": " + error;
            if (rows != expected_) return "lane " + std::to_string(lane) + " query " + std::to_string(i) + ": rows differ";
        }
        return "";
    }

    inline static std::unique_ptr<vorntest::OdbcSandbox> odbc_;
    inline static SQLHENV env_ = SQL_NULL_HENV;
    inline static Rows expected_;
};

TEST_F(Storm, SixteenThreadsOnConnectionsOfTheirOwn) {
    const unsigned each = vornstress::count(200, 1000);
    EXPECT_EQ("", storm(16, each, [&](unsigned lane) {
        std::string error;
        Conn c(env_, connectionString(), error);
        return error.empty() ? queries(c.dbc, each, lane) : error;
    }));
}

TEST_F(Storm, FourThreadsSharingOneConnection) {
    const unsigned each = vornstress::count(200, 1000);
    std::string error;
    Conn shared(env_, connectionString(), error);
    ASSERT_EQ("", error);
    EXPECT_EQ("", storm(4, each, [&](unsigned lane) { return queries(shared.dbc, each, lane); }));
}

// A hundred whole cycles; a leak in any shows in the sanitized tree at exit.
TEST_F(Storm, ConnectPrepareExecuteFetchDisconnectCycles) {
    for (unsigned i = 0; i < 100; ++i) {
        std::string error;
        Conn c(env_, connectionString(), error);
        ASSERT_EQ("", error) << "cycle " << i;
        ASSERT_EQ(expected_, query(c.dbc, error, true)) << "cycle " << i << ": " << error;
    }
}

}  // namespace
