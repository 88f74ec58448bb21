// main() of it_tests and the helpers of odbc_it.h.
#include "it/odbc_it.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vornit {

const char* dsn() {
    const char* v = std::getenv("VORN_IT_DSN");
    return v && *v ? v : "VORN_IT";
}

std::string diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::string out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = {};
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native, text, sizeof text, &len);
        if (!SQL_SUCCEEDED(rc)) break;
        out += reinterpret_cast<char*>(state);
        out += " (" + std::to_string(native) + ") ";
        out += reinterpret_cast<char*>(text);
        out += "\n";
    }
    return out.empty() ? "(no diagnostics)\n" : out;
}

Session::Session() {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
        ADD_FAILURE() << "SQLAllocHandle(ENV) failed";
        return;
    }
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        ADD_FAILURE() << "SQLAllocHandle(DBC) failed\n" << diagnostics(SQL_HANDLE_ENV, env_);
        dbc_ = SQL_NULL_HDBC;
    }
}

Session::~Session() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

SQLRETURN Session::connect(const char* user, const char* password) {
    std::string d = dsn(), u = user, p = password;
    SQLRETURN rc = SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(&d[0]), SQL_NTS, reinterpret_cast<SQLCHAR*>(&u[0]),
                              SQL_NTS, reinterpret_cast<SQLCHAR*>(&p[0]), SQL_NTS);
    connected_ = SQL_SUCCEEDED(rc);
    return rc;
}

SQLHSTMT Session::statement() {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) {
        ADD_FAILURE() << "SQLAllocHandle(STMT) failed\n" << diagnostics(SQL_HANDLE_DBC, dbc_);
        return SQL_NULL_HSTMT;
    }
    return stmt;  // released with the connection
}

}  // namespace vornit

int main(int argc, char** argv) {
    // The fixture's configuration, also when run by hand from the build tree.
    setenv("ODBCSYSINI", VORN_IT_ODBC_DIR, 0);
    setenv("ODBCINI", VORN_IT_ODBC_DIR "/odbc.ini", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
