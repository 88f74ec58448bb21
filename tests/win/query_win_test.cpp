// A query through the DLL under Wine against vornd on the Linux side: the
// answer documents are parsed by the DLL's own Expat, character data arrives
// in the ANSI code page, bound columns are filled, and rows beyond the first
// block are asked for. The port comes from VORN_WIN_VORND_PORT.
#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {


// The text as the process's ANSI code page spells it.
std::string ansi(const wchar_t* text) {
    char buf[256] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, "?", nullptr);
    return buf;
}

}  // namespace

TEST(WinQuery, RowsComeThroughTheDllInTheAnsiCodePage) {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    if (!port || !*port) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to query";
    auto alloc = VORN_DLL_FN(SQLAllocHandle);
    auto release = VORN_DLL_FN(SQLFreeHandle);
    auto exec = VORN_DLL_FN(SQLExecDirect);
    auto bind = VORN_DLL_FN(SQLBindCol);
    auto fetch = VORN_DLL_FN(SQLFetch);

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    std::string in = std::string("SERVER=127.0.0.1;SERVICE=") + port + ";UID=wine;PWD=secret";
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDriverConnect)(
                               dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    // Non-ASCII character data, converted from UTF-8 inside the DLL.
    SQLINTEGER id = 0;
    char name[64];
    SQLLEN idInd = 0, nameInd = 0;
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT ID, NAME FROM AUTHORS WHERE ID = 1", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_C_CHAR, name, sizeof name, &nameInd));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(1, id);
    std::string expected = ansi(L"Selma Lagerl\u00f6f");
    EXPECT_EQ(expected, std::string(name));
    EXPECT_EQ(SQLLEN(expected.size()), nameInd);
    EXPECT_EQ(SQL_NO_DATA, fetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeStmt)(stmt, SQL_CLOSE));

    // 25 rows arrive in three blocks; every row is seen once, in order.
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT ID FROM ARTICLES WHERE ID <= 25 ORDER BY ID", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_C_SLONG, &id, 0, &idInd));
    int rows = 0;
    while (fetch(stmt) == SQL_SUCCESS) EXPECT_EQ(++rows, id);
    EXPECT_EQ(25, rows);

    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));  // drops the statement
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
}
