// The DLL's exports called directly under Wine against vornd: the ANSI ones
// in the ANSI code page, and the DLL's own name from a W one (W texts in
// statements and data: wide_it.cpp and unicode_pyodbc.py on Linux, the same
// code; ConfigDSNW and SQLConnectW: connect_win_test.cpp).
#include "win/dll.h"

#include <sqlucode.h>

#include <cstring>

namespace {

using WinUnicode = vornwin::Connected;

TEST_F(WinUnicode, AnsiExportsTakeTheCodePage) {
    // Statement texts and character data in the ANSI code page, converted at
    // the exports' boundary; in pieces of four bytes and a terminator, each
    // length the rest's.
    char ansiName[64] = "";
    WideCharToMultiByte(CP_ACP, 0, L"Selma Lagerl\u00f6f", -1, ansiName, sizeof ansiName, "?", nullptr);
    ASSERT_EQ(SQL_SUCCESS, exec((std::string("SELECT NAME FROM AUTHORS WHERE NAME = '") + ansiName + "'").c_str()));
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFetch)(stmt));
    std::string joined;
    char text[5];
    SQLLEN textLength = 0;
    auto getData = VORN_DLL_FN(SQLGetData);
    for (SQLRETURN rc; (rc = getData(stmt, 1, SQL_C_CHAR, text, sizeof text, &textLength)) != SQL_NO_DATA;) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        EXPECT_EQ(SQLLEN(std::strlen(ansiName) - joined.size()), textLength);
        joined += text;
    }
    EXPECT_EQ(std::string(ansiName), joined);

    // The DLL's own name, its length in bytes.
    wchar_t driver[32];
    SQLSMALLINT driverLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetInfoW)(dbc, SQL_DRIVER_NAME, driver, sizeof driver, &driverLength));
    EXPECT_EQ(L"vornodbc64.dll 28", driver + (L" " + std::to_wstring(driverLength)));
}

}  // namespace
