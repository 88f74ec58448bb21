// What the tests through the unixODBC driver manager share: handles that free
// themselves, diagnostics as "STATE text", client programs run with the
// driver, and a suite with one vornd on the sample database reached through a
// data source of a private configuration.
#pragma once

#include "support/odbc_sandbox.h"
#include "VorndSuite.h"

#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vorntest {

const char* const kDriver = "Kalmo VORNsql driver";

inline bool ok(SQLRETURN rc) { return SQL_SUCCEEDED(rc); }

// "STATE message" of a handle's first record; "" when there is none.
inline std::string diag(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1) {
    SQLCHAR state[6] = "", text[600] = "";
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, rec, state, nullptr, text, sizeof text, nullptr))) return "";
    return std::string((char*)state) + " " + (char*)text;
}

// A connection string naming the driver, without a data source.
inline std::string at(int port, const std::string& more = "", const std::string& login = "UID=a;PWD=b") {
    return "DRIVER={" + std::string(kDriver) + "};Server=127.0.0.1;Service=" + std::to_string(port) + ";" + login +
           (more.empty() ? "" : ";" + more);
}

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
    Dbc(const Dbc&) = delete;
    Dbc& operator=(const Dbc&) = delete;
    SQLRETURN connect(const std::string& dsn, const char* user = "alice", const char* pwd = "secret") {
        return SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pwd, SQL_NTS);
    }
    // Without prompting; the output string cut to `size`, its whole length in `total`.
    SQLRETURN driverConnect(const std::string& in, std::string* out = nullptr, SQLSMALLINT size = 1024,
                            SQLSMALLINT* total = nullptr) {
        std::string buffer(std::size_t(size), '#');
        SQLSMALLINT length = -1;
        const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, (SQLCHAR*)&buffer[0], size,
                                              &length, SQL_DRIVER_NOPROMPT);
        if (out) *out = buffer.c_str();
        if (total) *total = length;
        return rc;
    }
    std::string state() { return diag(SQL_HANDLE_DBC, dbc); }
    SQLUINTEGER dead() {
        SQLUINTEGER v = 99;
        SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &v, 0, nullptr);
        return v;
    }
};

struct Stmt {
    SQLHSTMT h = SQL_NULL_HSTMT;
    explicit Stmt(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h); }
    ~Stmt() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    SQLRETURN exec(const char* sql) { return SQLExecDirect(h, (SQLCHAR*)sql, SQL_NTS); }
    std::string state() { return diag(SQL_HANDLE_STMT, h); }
    // Every row's columns as text joined by "|", NULL as "<null>".
    std::vector<std::string> rows() {
        std::vector<std::string> all;
        SQLSMALLINT columns = 0;
        SQLNumResultCols(h, &columns);
        while (SQL_SUCCEEDED(SQLFetch(h))) {
            std::string row;
            for (SQLUSMALLINT c = 1; c <= columns; ++c) {
                char value[512] = "";
                SQLLEN ind = 0;
                SQLGetData(h, c, SQL_C_CHAR, value, sizeof value, &ind);
                row += (c > 1 ? "|" : "") + (ind == SQL_NULL_DATA ? std::string("<null>") : value);
            }
            all.push_back(row);
        }
        SQLFreeStmt(h, SQL_CLOSE);
        return all;
    }
};

// Runs a shell command that starts a program using the driver (isql,
// python3, perl, php); its exit status, its output in `output`. Those
// programs are not instrumented: a sanitized driver needs the sanitizer's
// runtime loaded first, and their own exit-time leaks are not ours.
inline int runWithDriver(const std::string& dir, const std::string& command, std::string& output) {
    const std::string preload = VORN_SANITIZER_PRELOAD, file = dir + "/run.out";
    const std::string env = preload.empty() ? "" : "export LD_PRELOAD=" + preload + " ASAN_OPTIONS=detect_leaks=0; ";
    const int rc = std::system(("(" + env + command + ") > " + file + " 2>&1").c_str());
    output = vorndtest::readFile(file);
    return rc;
}

// One vornd and one private configuration for a suite (unixODBC reads
// ODBCSYSINI once): the driver registered, and a connection and a statement
// in each test when the suite has a data source.
class OdbcSession : public vorndtest::VorndSuite {
protected:
    static void registerDriver() {
        odbc_.reset(new OdbcSandbox);
        odbc_->write(odbc_->driverIni(), std::string("[") + kDriver + "]\nDescription=VORN\nDriver=" +
                                             VORN_DRIVER_LIB + "\nSetup=" + VORN_DRIVER_LIB + "\n");
    }
    // Starts the server (log named after dsn) and writes the data source.
    static void startWithDataSource(const std::string& dsn, std::vector<std::string> serverArgs = {}) {
        registerDriver();
        startServer(dsn, "", std::move(serverArgs));
        odbc_->write(odbc_->systemIni(), "[" + dsn + "]\nDriver=" + kDriver + "\nServer=127.0.0.1\nService=" +
                                             std::to_string(server_->port()) + "\n");
        dsn_ = dsn;
    }
    // A data source made through the installer, as an administrator would; on
    // the suite's server unless another service is given.
    static bool addDsn(const std::string& name, std::vector<std::string> pairs = {}, std::string service = "") {
        if (service.empty()) service = std::to_string(server_->port());
        std::string list = "DSN=" + name + '\0' + "Server=127.0.0.1" + '\0' + "Service=" + service + '\0';
        for (const std::string& p : pairs) list.append(p).push_back('\0');
        return SQLConfigDataSource(nullptr, ODBC_ADD_DSN, kDriver, list.c_str());
    }
    static void TearDownTestSuite() {
        VorndSuite::TearDownTestSuite();
        odbc_.reset();
        dsn_.clear();
    }
    void SetUp() override {
        if (dsn_.empty()) return;
        conn_.reset(new Dbc);
        dbc = conn_->dbc;
        ASSERT_PRED1(ok, conn_->driverConnect("DSN=" + dsn_ + ";UID=u;PWD=p")) << conn_->state();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        conn_.reset();
    }
    SQLRETURN exec(const char* sql) { return SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS); }
    std::string diag() { return vorntest::diag(SQL_HANDLE_STMT, stmt); }
    // How often vornd (started with --verbose) has logged a request with this number.
    static int requests(int number) {
        const std::string log = vorndtest::readFile(server_->log()), what = "request " + std::to_string(number) + " ";
        int n = 0;
        for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    }

    inline static std::unique_ptr<OdbcSandbox> odbc_;
    inline static std::string dsn_;
    std::unique_ptr<Dbc> conn_;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

}  // namespace vorntest
