// Unit-test support: an environment, a connection and a statement allocated
// through the driver's exported functions, and diagnostics read back as text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/entry/handles.h"

namespace vorntest {

// "STATE message" of diagnostic record rec, the driver's prefix taken off;
// "" when there is no such record.
inline std::string diagText(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec = 1) {
    static const std::string kPrefix = "[Kalmo][VORNsql driver]";
    SQLCHAR state[6] = {0};
    SQLCHAR msg[600] = {0};
    if (SQLGetDiagRec(type, h, rec, state, nullptr, msg, sizeof msg, nullptr) != SQL_SUCCESS) return "";
    std::string text = reinterpret_cast<char*>(msg);
    if (text.compare(0, kPrefix.size(), kPrefix) == 0) text.erase(0, kPrefix.size());
    return std::string(reinterpret_cast<char*>(state)) + " " + text;
}

struct StatementTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &hstmt));
        env = static_cast<Environment*>(henv);
        conn = static_cast<Connection*>(hdbc);
        stmt = static_cast<Statement*>(hstmt);
    }
    void TearDown() override {
        EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, hstmt));
        EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, hdbc));
        EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, henv));
    }
    std::string stmtDiag(SQLSMALLINT rec = 1) { return diagText(SQL_HANDLE_STMT, hstmt, rec); }
    // "rc STATE text" of the statement call just made (of its record rec).
    std::string stmtResult(SQLRETURN rc, SQLSMALLINT rec = 1) { return std::to_string(rc) + " " + stmtDiag(rec); }

    SQLHANDLE henv = nullptr, hdbc = nullptr, hstmt = nullptr;
    Environment* env = nullptr;
    Connection* conn = nullptr;
    Statement* stmt = nullptr;
};

}  // namespace vorntest
