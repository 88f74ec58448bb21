// Fetching through vornd's sample database with vornodbc64.dll's exports: on
// Win64 SQLLEN is wider than long, so indicator arrays, row-wise strides and
// piecewise lengths are where a width slip would show. Needs
// VORN_WIN_VORND_PORT (tests/win/connect_win_test.cpp).
#include "win/dll.h"

#include "support/attribute_list.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
using ConfigDsnFn = BOOL(WINAPI*)(HWND, WORD, LPCSTR, LPCSTR);
using ConnectFn = SQLRETURN(SQL_API*)(SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT);
using DisconnectFn = SQLRETURN(SQL_API*)(SQLHDBC);
using ExecFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
using SetStmtFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using BindFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using FetchFn = SQLRETURN(SQL_API*)(SQLHSTMT);
using GetDataFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using CloseFn = SQLRETURN(SQL_API*)(SQLHSTMT);

TEST(WinFetch, IndicatorArraysRowWiseStridesAndPieces) {
    const char* env = std::getenv("VORN_WIN_VORND_PORT");
    const std::string port = env ? env : "";
    if (port.empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to fetch from";
    auto configDsn = vornwin::dllFn<ConfigDsnFn>("ConfigDSN");
    ASSERT_TRUE(configDsn(nullptr, ODBC_ADD_DSN, "Kalmo VORNsql driver",
                          vorntest::attributeList({"DSN=vornfetch", "Server=127.0.0.1", "Service=" + port}).data()));
    auto alloc = vornwin::dllFn<AllocFn>("SQLAllocHandle");
    auto release = vornwin::dllFn<FreeFn>("SQLFreeHandle");
    auto exec = vornwin::dllFn<ExecFn>("SQLExecDirect");
    auto setStmt = vornwin::dllFn<SetStmtFn>("SQLSetStmtAttr");
    auto bind = vornwin::dllFn<BindFn>("SQLBindCol");
    auto fetch = vornwin::dllFn<FetchFn>("SQLFetch");
    auto getData = vornwin::dllFn<GetDataFn>("SQLGetData");
    SQLHANDLE henv = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &henv));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, henv, &dbc));
    ASSERT_EQ(SQL_SUCCESS, vornwin::dllFn<ConnectFn>("SQLConnect")(dbc, (SQLCHAR*)"vornfetch", SQL_NTS,
                                                                    (SQLCHAR*)"wine", SQL_NTS, (SQLCHAR*)"pw", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    // Column-wise over a block boundary: indicators are SQLLEN apart.
    SQLINTEGER ids[6];
    SQLLEN idLen[6], sectionLen[6];
    char sections[6][10];
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)6, 0));
    ASSERT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT ID, SECTION FROM ARTICLES WHERE ID <= 12 ORDER BY ID", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, ids, 0, idLen));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_C_CHAR, sections, sizeof sections[0], sectionLen));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));  // rows 7 to 12, from blocks 1 and 2
    EXPECT_EQ(6u, processed);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(7 + i, ids[i]);
        EXPECT_EQ(4, idLen[i]);
    }
    EXPECT_EQ(SQL_NULL_DATA, sectionLen[0]);  // 7 % 4 == 3: no section
    EXPECT_STREQ("news", sections[1]);
    EXPECT_EQ(4, sectionLen[1]);
    EXPECT_EQ(SQL_SUCCESS, vornwin::dllFn<CloseFn>("SQLCloseCursor")(stmt));

    // Row-wise, then a long value in pieces with SQLLEN lengths.
    struct Line {
        SQLINTEGER id;
        SQLLEN idLen;
        double score;
        SQLLEN scoreLen;
    } lines[2];
    ASSERT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Line), 0));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT ID, SCORE FROM ARTICLES WHERE ID IN (7, 14) ORDER BY ID",
                                SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, &lines[0].id, 0, &lines[0].idLen));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_C_DOUBLE, &lines[0].score, 0, &lines[0].scoreLen));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(14, lines[1].id);
    EXPECT_EQ(8, lines[1].scoreLen);
    EXPECT_DOUBLE_EQ(2.0, lines[1].score);

    ASSERT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT BODY FROM ARTICLES WHERE ID = 1000", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    char piece[4000];
    SQLLEN len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, getData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &len));
    EXPECT_EQ(SQLLEN(std::strlen("Long body of article 1000: ") + 6000), len);
    EXPECT_EQ(SQL_SUCCESS, getData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &len));
    EXPECT_EQ(SQLLEN(27 + 6000 - 3999), len);
    EXPECT_EQ(SQL_NO_DATA, getData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &len));

    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_STMT, stmt));
    vornwin::dllFn<DisconnectFn>("SQLDisconnect")(dbc);
    release(SQL_HANDLE_DBC, dbc);
    release(SQL_HANDLE_ENV, henv);
    configDsn(nullptr, ODBC_REMOVE_DSN, "Kalmo VORNsql driver", vorntest::attributeList({"DSN=vornfetch"}).data());
}

}  // namespace
