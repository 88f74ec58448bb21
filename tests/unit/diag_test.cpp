// Diagnostics: header and record fields, positions, and the one text
// copy-out rule.
#include "support/driver_handles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using Diag = vorntest::StatementTest;

TEST_F(Diag, GetDiagFieldHeaderAndRecordRules) {
    SQLINTEGER n = -7;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE, &n, 0, nullptr), SQL_NO_DATA);

    std::strcpy(conn->dsn, "demo");
    std::strcpy(conn->server, "localhost");
    addOdbcError(stmt, "HY000", nullptr);
    addOdbcError(stmt, "IM001", nullptr);
    setLastDiagPosition(stmt->diag, 3, 2);
    addOdbcError(conn, "01004", nullptr, 4, 5);
    addOdbcError(env, "HY000", nullptr);

    // Header fields ignore the record number; statement-only ones are errors
    // elsewhere and leave the value alone.
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, -9, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 2);
    n = 1234;
    for (SQLSMALLINT id : {SQL_DIAG_RETURNCODE, SQL_DIAG_ROW_COUNT, SQL_DIAG_DYNAMIC_FUNCTION,
                           SQL_DIAG_DYNAMIC_FUNCTION_CODE, SQL_DIAG_CURSOR_ROW_COUNT}) {
        EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, id, &n, 0, nullptr), SQL_SUCCESS) << id;
        if (id != SQL_DIAG_RETURNCODE) {
            EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, hdbc, 0, id, &n, 0, nullptr), SQL_ERROR) << id;
        }
    }
    EXPECT_EQ(n, 1234);

    char text[40];
    SQLSMALLINT len = 0;
    auto textField = [&](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id) {
        EXPECT_EQ(SQLGetDiagField(type, h, rec, id, text, sizeof text, &len), SQL_SUCCESS) << id;
        EXPECT_EQ(std::size_t(len), std::strlen(text));
        return std::string(text);
    };
    EXPECT_EQ(textField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE), "HY000");
    EXPECT_EQ(textField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_CLASS_ORIGIN), "ISO 9075");
    EXPECT_EQ(textField(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_CLASS_ORIGIN), "ODBC 3.0");
    EXPECT_EQ(textField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_CONNECTION_NAME), "demo");
    EXPECT_EQ(textField(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_SERVER_NAME), "localhost");
    EXPECT_EQ(textField(SQL_HANDLE_ENV, henv, 1, SQL_DIAG_SERVER_NAME), "");
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_MESSAGE_TEXT, text, 8, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(text, "[Kalmo]");
    EXPECT_EQ(std::size_t(len), std::strlen("[Kalmo][VORNsql driver]General error"));

    // Positions: a statement's are read; another handle's are written but the
    // answer is an error. An unknown field writes nothing.
    auto number = [&](SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT id, SQLRETURN rc) {
        SQLINTEGER v = 77;
        EXPECT_EQ(SQLGetDiagField(type, h, rec, id, &v, 0, nullptr), rc) << id;
        return v;
    };
    EXPECT_EQ(number(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_ROW_NUMBER, SQL_SUCCESS), 3);
    EXPECT_EQ(number(SQL_HANDLE_STMT, hstmt, 2, SQL_DIAG_COLUMN_NUMBER, SQL_SUCCESS), 2);
    EXPECT_EQ(number(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_ROW_NUMBER, SQL_SUCCESS), SQL_NO_ROW_NUMBER);
    EXPECT_EQ(number(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_ROW_NUMBER, SQL_ERROR), 4);
    EXPECT_EQ(number(SQL_HANDLE_DBC, hdbc, 1, SQL_DIAG_COLUMN_NUMBER, SQL_ERROR), 5);
    EXPECT_EQ(number(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_NATIVE, SQL_SUCCESS), 0);
    EXPECT_EQ(number(SQL_HANDLE_STMT, hstmt, 1, 555, SQL_SUCCESS), 77);

    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 0, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 3, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagField(7, hstmt, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_SQLSTATE, nullptr, 0, nullptr), SQL_SUCCESS_WITH_INFO);

    // SQLGetDiagRec counts records from 1; an unknown handle type has none;
    // every output may be null.
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 0, nullptr, nullptr, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(7, hstmt, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 2, nullptr, nullptr, nullptr, 0, nullptr), SQL_SUCCESS_WITH_INFO);
}
