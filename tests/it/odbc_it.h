// Support for integration tests: ODBC calls through the unixODBC driver
// manager against the vornd that the ctest fixture started (tests/it/it-env.sh).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <string>

namespace vornit {

// The fixture's data source name ("VORN_IT").
const char* dsn();

// Every diagnostic record of a handle, "SQLSTATE (native) text" one a line.
std::string diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// An ODBC 3 environment and a connection handle from the driver manager; the
// connection is opened to dsn() by connect(). Everything is released on
// destruction (disconnecting first when connected).
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // SQLConnect to dsn(); the return code (diagnostics stay on dbc()).
    SQLRETURN connect(const char* user = "", const char* password = "");
    SQLHENV env() const { return env_; }
    SQLHDBC dbc() const { return dbc_; }
    // A new statement on the connection, freed with the session.
    SQLHSTMT statement();

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

}  // namespace vornit

// Asserts an ODBC call succeeded (SQL_SUCCESS or SQL_SUCCESS_WITH_INFO) and
// shows the handle's diagnostics when it did not.
#define ASSERT_ODBC_OK(call, handleType, handle)                                                 \
    do {                                                                                         \
        SQLRETURN vornit_rc_ = (call);                                                           \
        ASSERT_TRUE(SQL_SUCCEEDED(vornit_rc_))                                                   \
            << #call << " returned " << vornit_rc_ << "\n" << vornit::diagnostics(handleType, handle); \
    } while (0)
#define EXPECT_ODBC_OK(call, handleType, handle)                                                 \
    do {                                                                                         \
        SQLRETURN vornit_rc_ = (call);                                                           \
        EXPECT_TRUE(SQL_SUCCEEDED(vornit_rc_))                                                   \
            << #call << " returned " << vornit_rc_ << "\n" << vornit::diagnostics(handleType, handle); \
    } while (0)
