// Attributes through vornodbc64.dll's exports. On Win64 long is 32-bit while
// SQLULEN and pointers are 64-bit: an SQLULEN attribute must travel whole, a
// 32-bit one must not write past its four bytes.
#include "win/odbc_handles.h"

#include <cstring>

namespace {


using WinAttributes = vornwin::OdbcHandles;

TEST_F(WinAttributes, WidthsAndDescriptorStorage) {
    auto getStmt = VORN_DLL_FN(SQLGetStmtAttr);
    auto setStmt = VORN_DLL_FN(SQLSetStmtAttr);
    auto getConn = VORN_DLL_FN(SQLGetConnectAttr);
    const SQLULEN big = (SQLULEN(1) << 32) + 3;
    EXPECT_EQ(SQL_SUCCESS, setStmt(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(big), 0));
    SQLHDESC ard = nullptr;
    EXPECT_EQ(SQL_SUCCESS, getStmt(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    SQLULEN fromDesc = 0;
    EXPECT_EQ(SQL_SUCCESS,
              VORN_DLL_FN(SQLGetDescField)(ard, 0, SQL_DESC_ARRAY_SIZE, &fromDesc, 0, nullptr));
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
}

}  // namespace
