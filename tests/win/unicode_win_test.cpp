// The DLL's exports called directly under Wine against vornd: the W ones
// with wchar_t texts ("日本語" and an emoji through a statement and back; the
// W code itself is the same as on Linux, wide_it.cpp), the ANSI ones in the
// ANSI code page (ConfigDSNW and SQLConnectW: connect_win_test.cpp).
#include "win/dll.h"

#include <sqlucode.h>

#include <cstring>

namespace {

SQLWCHAR* w(const std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text.c_str())); }

const std::wstring kCjk = L"\u65e5\u672c\u8a9e", kEmoji = L"\U0001F600";
const std::wstring kGreek = L"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1";

using WinUnicode = vornwin::Connected;

TEST_F(WinUnicode, WideExportsTakeWcharAnsiOnesTheCodePage) {
    auto execW = VORN_DLL_FN(SQLExecDirectW);
    auto fetch = VORN_DLL_FN(SQLFetch);
    const std::wstring name = kCjk + kEmoji;
    const SQLRETURN deleted = execW(stmt, w(L"DELETE FROM AUTHORS WHERE ID = 60"), SQL_NTS);  // a run before
    ASSERT_TRUE(deleted == SQL_SUCCESS || deleted == SQL_NO_DATA) << deleted;
    reset();
    ASSERT_EQ(SQL_SUCCESS, execW(stmt, w(L"INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (60, '" + name + L"', '" +
                                         kGreek + L"')"), SQL_NTS));
    reset();
    ASSERT_EQ(SQL_SUCCESS, execW(stmt, w(L"SELECT COUNTRY FROM AUTHORS WHERE NAME = '" + name + L"'"), SQL_NTS));
    // Bound as SQL_C_WCHAR: lengths in bytes.
    wchar_t country[16];
    SQLLEN countryLength = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLBindCol)(stmt, 1, SQL_C_WCHAR, country, sizeof country, &countryLength));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(kGreek + L" 12", country + (L" " + std::to_wstring(countryLength)));
    reset();

    // The ANSI exports: statement texts and character data in the ANSI code
    // page, converted at their boundary; in pieces of four bytes and a
    // terminator, each length the rest's.
    char ansiName[64] = "";
    WideCharToMultiByte(CP_ACP, 0, L"Selma Lagerl\u00f6f", -1, ansiName, sizeof ansiName, "?", nullptr);
    ASSERT_EQ(SQL_SUCCESS, exec((std::string("SELECT NAME FROM AUTHORS WHERE NAME = '") + ansiName + "'").c_str()));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
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
