// Attributes through vornodbc64.dll's exports. On Win64 long is 32-bit while
// SQLULEN and pointers are 64-bit: an SQLULEN attribute must travel whole, a
// 32-bit one must not write past its four bytes.
#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
using GetAttrFn = SQLRETURN(SQL_API*)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using SetAttrFn = SQLRETURN(SQL_API*)(SQLHANDLE, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetDescFieldFn = SQLRETURN(SQL_API*)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER, SQLINTEGER*);

TEST(WinAttributes, WidthsAndDescriptorStorage) {
    auto alloc = vornwin::dllFn<AllocFn>("SQLAllocHandle");
    auto release = vornwin::dllFn<FreeFn>("SQLFreeHandle");
    auto getStmt = vornwin::dllFn<GetAttrFn>("SQLGetStmtAttr");
    auto setStmt = vornwin::dllFn<SetAttrFn>("SQLSetStmtAttr");
    auto getConn = vornwin::dllFn<GetAttrFn>("SQLGetConnectAttr");
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, vornwin::dllFn<SetAttrFn>("SQLSetEnvAttr")(env, SQL_ATTR_ODBC_VERSION,
                                                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    const SQLULEN big = (SQLULEN(1) << 32) + 3;
    EXPECT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(big), 0));
    SQLHDESC ard = nullptr;
    EXPECT_EQ(SQL_SUCCESS, getStmt(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    SQLULEN fromDesc = 0;
    EXPECT_EQ(SQL_SUCCESS,
              vornwin::dllFn<GetDescFieldFn>("SQLGetDescField")(ard, 0, SQL_DESC_ARRAY_SIZE, &fromDesc, 0, nullptr));
    EXPECT_EQ(big, fromDesc);

    unsigned char slot[16];
    std::memset(slot, 0xA5, sizeof slot);
    SQLINTEGER size = 0;
    EXPECT_EQ(SQL_SUCCESS, getStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, slot, 0, &size));
    EXPECT_EQ(8, size);
    SQLULEN value = 0;
    std::memcpy(&value, slot, 8);
    EXPECT_EQ(big, value);
    EXPECT_EQ(0xA5, slot[8]);

    std::memset(slot, 0xA5, sizeof slot);
    EXPECT_EQ(SQL_SUCCESS, getConn(dbc, SQL_ATTR_AUTOCOMMIT, slot, 0, nullptr));
    const unsigned char on[] = {1, 0, 0, 0, 0xA5};
    EXPECT_EQ(0, std::memcmp(slot, on, sizeof on));

    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
}

}  // namespace
