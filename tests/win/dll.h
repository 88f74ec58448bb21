// Harness for the Windows tests: the driver DLL loaded by name, as a driver
// manager would, its exports looked up by name, and handles allocated
// through them, connected to the vornd on the Linux side when a test needs it.
#pragma once

#include <windows.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

namespace vornwin {

// vornodbc64.dll, loaded on first use from beside the test executable. Throws std::runtime_error when it cannot load,
// which fails the calling test with the loader's reason.
HMODULE dll();

// Address of an export; throws when the DLL does not export it.
FARPROC dllProc(const char* name);

template <class F>
F dllFn(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(dllProc(name)));
}

// An ODBC export typed by its declaration in the ODBC headers (only the type
// is taken: nothing links to the system's ODBC library).
#define VORN_DLL_FN(name) ::vornwin::dllFn<decltype(&::name)>(#name)

// The port of the vornd that scripts/test.sh starts on the Linux side
// (every login accepted), "" when there is none.
inline std::string vorndPort() {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    return port ? port : "";
}

// A data source's keys as the system's installer library reads them back,
// "|"-joined, "<none>" for an absent one.
inline std::string keys(const char* dsn, std::initializer_list<const char*> names) {
    std::string out;
    for (const char* name : names) {
        char buf[512] = "";
        SQLGetPrivateProfileString(dsn, name, "<none>", buf, sizeof buf, "ODBC.INI");
        out += (name == *names.begin() ? "" : "|") + std::string(buf);
    }
    return out;
}

inline std::string diag(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR s[6] = "", text[600] = "";
    VORN_DLL_FN(SQLGetDiagRec)(type, h, 1, s, nullptr, text, sizeof text, nullptr);
    return std::string(reinterpret_cast<char*>(s)) + " " + reinterpret_cast<char*>(text);
}

// An ODBC 3 environment, a connection and a statement for each test; the
// connection made when connectString() says how, the test skipped when
// there is no vornd to reach.
class Handles : public ::testing::Test {
protected:
    virtual std::string connectString() { return ""; }
    void SetUp() override {
        if (!connectString().empty() && vorndPort().empty())
            GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
        ASSERT_EQ(SQL_SUCCESS, open(connectString())) << diag(SQL_HANDLE_DBC, dbc);
    }
    void TearDown() override { close(); }
    // Allocates the handles and connects when `in` is not empty; the connect's result.
    SQLRETURN open(const std::string& in) {
        auto alloc = VORN_DLL_FN(SQLAllocHandle);
        alloc(SQL_HANDLE_ENV, nullptr, &env);
        VORN_DLL_FN(SQLSetEnvAttr)(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        alloc(SQL_HANDLE_DBC, env, &dbc);
        const SQLRETURN rc = in.empty() ? SQL_SUCCESS
                                        : VORN_DLL_FN(SQLDriverConnect)(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (rc == SQL_SUCCESS) alloc(SQL_HANDLE_STMT, dbc, &stmt);
        return rc;
    }
    void close() {
        auto release = VORN_DLL_FN(SQLFreeHandle);
        if (stmt) {
            EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_STMT, stmt));
        }
        if (dbc) VORN_DLL_FN(SQLDisconnect)(dbc);
        for (auto [type, handle] : {std::pair<SQLSMALLINT, SQLHANDLE>{SQL_HANDLE_DBC, dbc}, {SQL_HANDLE_ENV, env}})
            if (handle) {
                EXPECT_EQ(SQL_SUCCESS, release(type, handle)) << type;
            }
        env = dbc = stmt = nullptr;
    }
    // A statement ready for the next: cursor closed, columns unbound, parameters reset.
    void reset() {
        for (SQLUSMALLINT option : {SQL_CLOSE, SQL_UNBIND, SQL_RESET_PARAMS}) VORN_DLL_FN(SQLFreeStmt)(stmt, option);
    }
    SQLRETURN exec(const char* sql) { return VORN_DLL_FN(SQLExecDirect)(stmt, (SQLCHAR*)sql, SQL_NTS); }

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
};

class Connected : public Handles {
protected:
    std::string connectString() override {
        return "SERVER=127.0.0.1;SERVICE=" + vorndPort() + ";UID=wine;PWD=secret";
    }
};

}  // namespace vornwin
