// Information answers through vornodbc64.dll's exports: on Win64 the 16-bit
// and 32-bit answers keep to their widths, and the type list is a result the
// statement describes.
#include "win/dll.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
using SetEnvFn = SQLRETURN(SQL_API*)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetInfoFn = SQLRETURN(SQL_API*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
using TypeInfoFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLSMALLINT);
using NumColsFn = SQLRETURN(SQL_API*)(SQLHSTMT, SQLSMALLINT*);

TEST(WinInfo, WidthsAndTypeList) {
    auto alloc = vornwin::dllFn<AllocFn>("SQLAllocHandle");
    auto release = vornwin::dllFn<FreeFn>("SQLFreeHandle");
    auto getInfo = vornwin::dllFn<GetInfoFn>("SQLGetInfo");
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, vornwin::dllFn<SetEnvFn>("SQLSetEnvAttr")(env, SQL_ATTR_ODBC_VERSION,
                                                                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    unsigned char slot[8];
    SQLSMALLINT length = 0;
    std::memset(slot, 0xA5, sizeof slot);
    EXPECT_EQ(SQL_SUCCESS, getInfo(dbc, SQL_MAX_COLUMN_NAME_LEN, slot, 0, &length));
    const unsigned char u16[] = {255, 0, 0xA5};
    EXPECT_EQ(0, std::memcmp(slot, u16, sizeof u16));
    EXPECT_EQ(2, length);
    std::memset(slot, 0xA5, sizeof slot);
    EXPECT_EQ(SQL_SUCCESS, getInfo(dbc, SQL_SCROLL_OPTIONS, slot, 0, &length));
    const unsigned char u32[] = {17, 0, 0, 0, 0xA5};
    EXPECT_EQ(0, std::memcmp(slot, u32, sizeof u32));
    EXPECT_EQ(4, length);
    char name[8];
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, getInfo(dbc, SQL_DRIVER_NAME, nullptr, 0, &length));
    EXPECT_EQ(14, length);
    EXPECT_EQ(SQL_ERROR, getInfo(dbc, SQL_ODBC_VER, name, sizeof name, &length));

    EXPECT_EQ(SQL_SUCCESS, vornwin::dllFn<TypeInfoFn>("SQLGetTypeInfo")(stmt, SQL_ALL_TYPES));
    SQLSMALLINT columns = 0;
    EXPECT_EQ(SQL_SUCCESS, vornwin::dllFn<NumColsFn>("SQLNumResultCols")(stmt, &columns));
    EXPECT_EQ(19, columns);

    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
}

}  // namespace
