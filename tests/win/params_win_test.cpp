// Parameters through the DLL under Wine against vornd: a wide-character
// value, a column-wise array with a NULL and a failing row, and
// SQLDescribeParam. The port comes from VORN_WIN_VORND_PORT.
#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {


}  // namespace

TEST(WinParams, WideValuesArraysAndDescriptions) {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    if (!port || !*port) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to query";
    auto alloc = VORN_DLL_FN(SQLAllocHandle);
    auto release = VORN_DLL_FN(SQLFreeHandle);
    auto exec = VORN_DLL_FN(SQLExecDirect);
    auto bindParameter = VORN_DLL_FN(SQLBindParameter);
    auto setAttr = VORN_DLL_FN(SQLSetStmtAttr);
    auto bind = VORN_DLL_FN(SQLBindCol);
    auto fetch = VORN_DLL_FN(SQLFetch);
    auto freeStmt = VORN_DLL_FN(SQLFreeStmt);

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    std::string in = std::string("SERVER=127.0.0.1;SERVICE=") + port + ";UID=wine;PWD=secret";
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDriverConnect)(
                               dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    // A UTF-16 value (two-byte SQLWCHAR on Windows too) finds its row.
    wchar_t name[] = L"Jules Verne";
    SQLLEN nts = SQL_NTS, idInd = 0;
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, bindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 60, 0, name, 0, &nts));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT ID FROM AUTHORS WHERE NAME = ?", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(2, id);
    ASSERT_EQ(SQL_SUCCESS, freeStmt(stmt, SQL_CLOSE));
    ASSERT_EQ(SQL_SUCCESS, freeStmt(stmt, SQL_UNBIND));
    ASSERT_EQ(SQL_SUCCESS, freeStmt(stmt, SQL_RESET_PARAMS));

    // Three rows, the second NULL, the third a taken key.
    exec(stmt, (SQLCHAR*)"DROP TABLE IF EXISTS PW", SQL_NTS);
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"CREATE TABLE PW (ID INTEGER PRIMARY KEY, X DOUBLE)", SQL_NTS));
    SQLINTEGER ids[3] = {1, 2, 1};
    SQLDOUBLE xs[3] = {0.1, 0, 1e308};
    SQLLEN xInd[3] = {0, SQL_NULL_DATA, 0};
    SQLUSMALLINT status[3] = {};
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
    bindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    bindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, xs, 0, xInd);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, exec(stmt, (SQLCHAR*)"INSERT INTO PW VALUES (?, ?)", SQL_NTS));
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[0]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[1]);
    EXPECT_EQ(SQL_PARAM_ERROR, status[2]);
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0));
    ASSERT_EQ(SQL_SUCCESS, freeStmt(stmt, SQL_RESET_PARAMS));
    SQLINTEGER count = 0;
    SQLLEN countInd = 0;
    ASSERT_EQ(SQL_SUCCESS,
              exec(stmt, (SQLCHAR*)"SELECT COUNT(*) FROM PW WHERE (ID = 1 AND X = 0.1) OR (ID = 2 AND X IS NULL)",
                   SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, &count, 0, &countInd));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(2, count);
    ASSERT_EQ(SQL_SUCCESS, freeStmt(stmt, SQL_CLOSE));

    // What the driver knows of an unbound marker.
    ASSERT_EQ(SQL_SUCCESS,
              VORN_DLL_FN(SQLPrepare)(stmt, (SQLCHAR*)"SELECT * FROM PW WHERE ID = ?", SQL_NTS));
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDescribeParam)(stmt, 1, &type, &size, &digits,
                                                                              &nullable));
    EXPECT_EQ(SQL_VARCHAR, type);
    EXPECT_EQ(255u, size);
    EXPECT_EQ(SQL_NULLABLE_UNKNOWN, nullable);

    exec(stmt, (SQLCHAR*)"DROP TABLE PW", SQL_NTS);
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
}
