// Parameters through vornodbc64.dll's exports against vornd on the Linux
// side: on Win64 SQLLEN is wider than long, so the indicators that
// SQLBindParameter points at (lengths, SQL_NULL_DATA, SQL_LEN_DATA_AT_EXEC)
// and SQLPutData's length are where a width slip would show. Needs
// VORN_WIN_VORND_PORT (tests/win/connect_win_test.cpp). Its rows go into
// COUNTERS with keys of its own and are deleted again.
#include "win/dll.h"

#include "support/attribute_list.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
using ConfigDsnFn = BOOL(WINAPI*)(HWND, WORD, LPCSTR, LPCSTR);
using ConnectFn = SQLRETURN(SQL_API*)(SQLHDBC, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT);
using DisconnectFn = SQLRETURN(SQL_API*)(SQLHDBC);
using ExecFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
using BindParamFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                        SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using ParamDataFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLPOINTER*);
using PutDataFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLPOINTER, SQLLEN);
using FetchFn = SQLRETURN(SQL_API*)(SQLHSTMT);
using GetDataFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN*);
using CloseFn = SQLRETURN(SQL_API*)(SQLHSTMT);

TEST(WinExecute, ParameterIndicatorsAndDataAtExecution) {
    const char* env = std::getenv("VORN_WIN_VORND_PORT");
    const std::string port = env ? env : "";
    if (port.empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to execute on";
    auto configDsn = vornwin::dllFn<ConfigDsnFn>("ConfigDSN");
    ASSERT_TRUE(configDsn(nullptr, ODBC_ADD_DSN, "Kalmo VORNsql driver",
                          vorntest::attributeList({"DSN=vornexec", "Server=127.0.0.1", "Service=" + port}).data()));
    auto alloc = vornwin::dllFn<AllocFn>("SQLAllocHandle");
    auto release = vornwin::dllFn<FreeFn>("SQLFreeHandle");
    auto exec = vornwin::dllFn<ExecFn>("SQLExecDirect");
    auto bind = vornwin::dllFn<BindParamFn>("SQLBindParameter");
    auto paramData = vornwin::dllFn<ParamDataFn>("SQLParamData");
    auto putData = vornwin::dllFn<PutDataFn>("SQLPutData");
    SQLHANDLE henv = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &henv));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, henv, &dbc));
    ASSERT_EQ(SQL_SUCCESS, vornwin::dllFn<ConnectFn>("SQLConnect")(dbc, (SQLCHAR*)"vornexec", SQL_NTS,
                                                                    (SQLCHAR*)"wine", SQL_NTS, (SQLCHAR*)"pw", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    // A character value cut by its length, a NULL, a number at execution.
    SQLINTEGER id = 901, token = 0, n = 42;
    char digits[] = "7000";
    SQLLEN two = 2, null = SQL_NULL_DATA, atExec = SQL_LEN_DATA_AT_EXEC(4);
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 4, 0, digits, 0, &two));
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"INSERT INTO COUNTERS (ID, N) VALUES (?, ?)", SQL_NTS));
    id = 902;
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &token, 0, &atExec));
    ASSERT_EQ(SQL_NEED_DATA, exec(stmt, (SQLCHAR*)"INSERT INTO COUNTERS (ID, N) VALUES (?, ?)", SQL_NTS));
    SQLPOINTER which = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, paramData(stmt, &which));
    EXPECT_EQ(&token, which);
    EXPECT_EQ(SQL_SUCCESS, putData(stmt, &n, 0));
    ASSERT_EQ(SQL_SUCCESS, paramData(stmt, &which));
    // A NULL where the column refuses one: the server's fault comes back.
    id = 903;
    ASSERT_EQ(SQL_SUCCESS, bind(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &n, 0, &null));
    EXPECT_EQ(SQL_ERROR, exec(stmt, (SQLCHAR*)"INSERT INTO COUNTERS (ID, N) VALUES (?, ?)", SQL_NTS));

    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"SELECT SUM(N), COUNT(*) FROM COUNTERS WHERE ID > 900", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, vornwin::dllFn<FetchFn>("SQLFetch")(stmt));
    SQLINTEGER sum = 0, count = 0;
    SQLLEN len = 0;
    auto getData = vornwin::dllFn<GetDataFn>("SQLGetData");
    EXPECT_EQ(SQL_SUCCESS, getData(stmt, 1, SQL_C_SLONG, &sum, 0, &len));
    EXPECT_EQ(SQL_SUCCESS, getData(stmt, 2, SQL_C_SLONG, &count, 0, &len));
    EXPECT_EQ(70 + 42, sum);
    EXPECT_EQ(2, count);
    EXPECT_EQ(SQL_SUCCESS, vornwin::dllFn<CloseFn>("SQLCloseCursor")(stmt));
    EXPECT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)"DELETE FROM COUNTERS WHERE ID > 900", SQL_NTS));

    release(SQL_HANDLE_STMT, stmt);
    vornwin::dllFn<DisconnectFn>("SQLDisconnect")(dbc);
    release(SQL_HANDLE_DBC, dbc);
    release(SQL_HANDLE_ENV, henv);
    configDsn(nullptr, ODBC_REMOVE_DSN, "Kalmo VORNsql driver", vorntest::attributeList({"DSN=vornexec"}).data());
}

}  // namespace
