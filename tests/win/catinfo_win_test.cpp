// Information answers through vornodbc64.dll's exports: on Win64 the 16-bit
// and 32-bit answers keep to their widths, and the type list is a result the
// statement describes.
#include "win/odbc_handles.h"

#include <cstring>

namespace {


using WinInfo = vornwin::OdbcHandles;

TEST_F(WinInfo, WidthsAndTypeList) {
    auto getInfo = VORN_DLL_FN(SQLGetInfo);
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

    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetTypeInfo)(stmt, SQL_ALL_TYPES));
    SQLSMALLINT columns = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLNumResultCols)(stmt, &columns));
    EXPECT_EQ(19, columns);
}

}  // namespace
