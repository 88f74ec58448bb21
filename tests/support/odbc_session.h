// A suite whose tests reach one vornd on the sample database through the
// unixODBC driver manager: the driver registered in a private configuration
// with one data source, and in each test a connection and a statement.
#pragma once

#include "support/odbc_sandbox.h"
#include "VorndSuite.h"

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>
#include <vector>

namespace vorntest {

class OdbcSession : public vorndtest::VorndSuite {
protected:
    // Starts the server (log named after dsn) and writes the data source.
    static void startWithDataSource(const std::string& dsn, std::vector<std::string> serverArgs = {}) {
        odbc_.reset(new OdbcSandbox);
        odbc_->write(odbc_->driverIni(), std::string("[Kalmo VORNsql driver]\nDriver=") + VORN_DRIVER_LIB + "\n");
        startServer(dsn, "", std::move(serverArgs));
        odbc_->write(odbc_->systemIni(), "[" + dsn + "]\nDriver=Kalmo VORNsql driver\nServer=127.0.0.1\nService=" +
                                             std::to_string(server_->port()) + "\n");
        dsn_ = dsn;
    }
    static void TearDownTestSuite() {
        VorndSuite::TearDownTestSuite();
        odbc_.reset();
    }
    void SetUp() override {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const std::string in = "DSN=" + dsn_ + ";UID=u;PWD=p";
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT)));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLRETURN exec(const char* sql) { return SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS); }

    inline static std::unique_ptr<OdbcSandbox> odbc_;
    inline static std::string dsn_;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
};

}  // namespace vorntest
