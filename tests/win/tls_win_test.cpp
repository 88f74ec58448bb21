// An encrypted session from the DLL under Wine (Schannel, which Wine backs
// with GnuTLS) to vornd on the Linux side, started with a certificate by
// scripts/test.sh: VORN_WIN_VORND_PORT names its port, VORN_WIN_CA_DIR the
// folder of the test CA's files (as a Windows path).
#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
using DriverConnectFn = SQLRETURN(SQL_API*)(SQLHDBC, SQLHWND, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                            SQLSMALLINT*, SQLUSMALLINT);
using DisconnectFn = SQLRETURN(SQL_API*)(SQLHDBC);
using ExecDirectFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
using FetchFn = SQLRETURN(SQL_API*)(SQLHSTMT);
using GetDataFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using DiagRecFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*,
                                      SQLSMALLINT, SQLSMALLINT*);

struct Session {
    SQLHANDLE env = nullptr, dbc = nullptr;
    Session() {
        auto alloc = vornwin::dllFn<AllocFn>("SQLAllocHandle");
        alloc(SQL_HANDLE_ENV, nullptr, &env);
        alloc(SQL_HANDLE_DBC, env, &dbc);
    }
    ~Session() {
        vornwin::dllFn<DisconnectFn>("SQLDisconnect")(dbc);
        auto release = vornwin::dllFn<FreeFn>("SQLFreeHandle");
        release(SQL_HANDLE_DBC, dbc);
        release(SQL_HANDLE_ENV, env);
    }
    SQLRETURN connect(const std::string& more) {
        const std::string in = std::string("SERVER=127.0.0.1;SERVICE=") + std::getenv("VORN_WIN_VORND_PORT") +
                               ";UID=wine;PWD=secret;" + more;
        return vornwin::dllFn<DriverConnectFn>("SQLDriverConnect")(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS,
                                                                   nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    }
    std::string state() {
        SQLCHAR s[6] = "", text[600] = "";
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        vornwin::dllFn<DiagRecFn>("SQLGetDiagRec")(SQL_HANDLE_DBC, dbc, 1, s, &native, text, sizeof text, &len);
        return std::string((char*)s) + " " + (char*)text;
    }
    std::string author(int id) {
        SQLHANDLE stmt = nullptr;
        vornwin::dllFn<AllocFn>("SQLAllocHandle")(SQL_HANDLE_STMT, dbc, &stmt);
        const std::string sql = "SELECT NAME FROM AUTHORS WHERE ID = " + std::to_string(id);
        char name[64] = "";
        SQLLEN ind = 0;
        if (SQL_SUCCEEDED(vornwin::dllFn<ExecDirectFn>("SQLExecDirect")(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) &&
            SQL_SUCCEEDED(vornwin::dllFn<FetchFn>("SQLFetch")(stmt)))
            vornwin::dllFn<GetDataFn>("SQLGetData")(stmt, 1, SQL_C_CHAR, name, sizeof name, &ind);
        vornwin::dllFn<FreeFn>("SQLFreeHandle")(SQL_HANDLE_STMT, stmt);
        return name;
    }
};

bool haveServer() {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    return port && *port;
}

}  // namespace

TEST(WinTls, EncryptedSessionQueries) {
    if (!haveServer()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.connect("Encrypt=yes;TrustServerCertificate=yes")) << s.state();
    EXPECT_EQ("Jules Verne", s.author(2));
    EXPECT_EQ("Mary Shelley", s.author(3));  // a second exchange on the same records' stream
}

// The certificate checked against a CA file: the right issuer and name
// pass, a foreign issuer and a wrong name are 08001 with the reason.
TEST(WinTls, CertificateChecks) {
    const char* dir = std::getenv("VORN_WIN_CA_DIR");
    if (!haveServer() || !dir || !*dir) GTEST_SKIP() << "VORN_WIN_CA_DIR is not set: no test CA";
    const std::string ca = std::string(dir) + "\\ca.pem";
    {
        Session s;
        ASSERT_EQ(SQL_SUCCESS, s.connect("Encrypt=yes;HostNameInCertificate=localhost;CAFile=" + ca)) << s.state();
        EXPECT_EQ("Jules Verne", s.author(2));
    }
    struct Case {
        std::string more, reason;
    } cases[] = {
        {"Encrypt=yes;HostNameInCertificate=localhost;CAFile=" + std::string(dir) + "\\other-ca.pem",
         "unable to get local issuer certificate"},
        {"Encrypt=yes;HostNameInCertificate=db.example.com;CAFile=" + ca, "hostname mismatch"},
    };
    for (const Case& k : cases) {
        Session s;
        EXPECT_EQ(SQL_ERROR, s.connect(k.more));
        EXPECT_EQ(0u, s.state().find("08001 ")) << s.state();
        EXPECT_NE(std::string::npos, s.state().find(k.reason)) << s.state();
    }
}
