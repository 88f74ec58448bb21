// Parameters through the DLL under Wine against vornd, where the widths
// differ from Linux: a UTF-16 value in a two-byte SQLWCHAR, a column-wise
// array stepping over 64-bit SQLLEN indicators, and SQLDescribeParam's
// 64-bit size.
#include "win/dll.h"

namespace {

using WinParams = vornwin::Connected;

TEST_F(WinParams, WideValuesArraysAndDescriptions) {
    auto bindParameter = VORN_DLL_FN(SQLBindParameter);
    auto fetch = VORN_DLL_FN(SQLFetch);
    SQLINTEGER id = 0;
    SQLLEN nts = SQL_NTS, idInd = 0;
    wchar_t name[] = L"Jules Verne";
    ASSERT_EQ(SQL_SUCCESS, bindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 60, 0, name, 0, &nts));
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID FROM AUTHORS WHERE NAME = ?"));
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLBindCol)(stmt, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(2, id);
    reset();

    // Three rows, the second NULL, the third a taken key.
    exec("DROP TABLE IF EXISTS PW");
    ASSERT_EQ(SQL_SUCCESS, exec("CREATE TABLE PW (ID INTEGER PRIMARY KEY, X DOUBLE)"));
    SQLINTEGER ids[3] = {1, 2, 1};
    SQLDOUBLE xs[3] = {0.1, 0, 1e308};
    SQLLEN xInd[3] = {0, SQL_NULL_DATA, 0};
    SQLUSMALLINT status[3] = {};
    auto setAttr = VORN_DLL_FN(SQLSetStmtAttr);
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
    bindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr);
    bindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, xs, 0, xInd);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, exec("INSERT INTO PW VALUES (?, ?)"));
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[0]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[1]);
    EXPECT_EQ(SQL_PARAM_ERROR, status[2]);
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0));
    reset();
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT COUNT(*) FROM PW WHERE (ID = 1 AND X = 0.1) OR (ID = 2 AND X IS NULL)"));
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLBindCol)(stmt, 1, SQL_C_SLONG, &id, 0, &idInd));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(2, id);
    reset();

    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLPrepare)(stmt, (SQLCHAR*)"SELECT * FROM PW WHERE ID = ?", SQL_NTS));
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = ~SQLULEN(0);
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDescribeParam)(stmt, 1, &type, &size, &digits, &nullable));
    EXPECT_EQ(SQL_VARCHAR, type);
    EXPECT_EQ(255u, size);
    EXPECT_EQ(SQL_NULLABLE_UNKNOWN, nullable);
    exec("DROP TABLE PW");
}

}  // namespace
