// Parameters through the DLL under Wine against vornd, where long is 32 bits
// and SQLLEN 64: a column-wise array stepping over SQLLEN indicators, and
// SQLDescribeParam's size at its full width.
#include "win/dll.h"

namespace {

using WinParams = vornwin::Connected;

TEST_F(WinParams, ArraysAndDescriptions) {
    auto bindParameter = VORN_DLL_FN(SQLBindParameter);
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
    EXPECT_EQ(std::to_string(SQL_PARAM_SUCCESS) + std::to_string(SQL_PARAM_SUCCESS) + std::to_string(SQL_PARAM_ERROR),
              std::to_string(status[0]) + std::to_string(status[1]) + std::to_string(status[2]));
    ASSERT_EQ(SQL_SUCCESS, setAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0));
    reset();
    SQLINTEGER found = -1;
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT COUNT(*) FROM PW WHERE (ID = 1 AND X = 0.1) OR (ID = 2 AND X IS NULL)"));
    VORN_DLL_FN(SQLBindCol)(stmt, 1, SQL_C_SLONG, &found, 0, nullptr);
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFetch)(stmt));
    EXPECT_EQ(2, found);
    reset();

    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLPrepare)(stmt, (SQLCHAR*)"SELECT * FROM PW WHERE ID = ?", SQL_NTS));
    SQLSMALLINT type = 0, digits = -1, nullable = -1;
    SQLULEN size = ~SQLULEN(0);
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDescribeParam)(stmt, 1, &type, &size, &digits, &nullable));
    // SQL_VARCHAR of 255, SQL_NULLABLE_UNKNOWN: the size at its full 64 bits.
    EXPECT_EQ("12 255 2", std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(nullable));
}

}  // namespace
