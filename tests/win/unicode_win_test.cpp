// The DLL's W exports called directly under Wine against vornd: "日本語" and
// an emoji go into a statement text and come back whole through
// SQL_C_WCHAR (piecewise and bound), error messages and names; the ANSI
// exports keep speaking the ANSI code page. The port comes from
// VORN_WIN_VORND_PORT.
#include "win/dll.h"

#include <windows.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using ConfigDsnWFn = BOOL(WINAPI*)(HWND, WORD, LPCWSTR, LPCWSTR);

SQLWCHAR* w(const std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text.c_str())); }

const std::wstring kCjk = L"\u65e5\u672c\u8a9e";
const std::wstring kEmoji = L"\U0001F600";
const std::wstring kGreek = L"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1";

}  // namespace

TEST(WinUnicode, WideExportsRoundTripCjkAndAnEmoji) {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    if (!port || !*port) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to query";
    auto alloc = VORN_DLL_FN(SQLAllocHandle);
    auto release = VORN_DLL_FN(SQLFreeHandle);
    auto execW = VORN_DLL_FN(SQLExecDirectW);
    auto getData = VORN_DLL_FN(SQLGetData);
    auto fetch = VORN_DLL_FN(SQLFetch);
    auto closeCursor = [](SQLHSTMT s) { VORN_DLL_FN(SQLFreeStmt)(s, SQL_CLOSE); };

    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    std::string narrow = std::string("SERVER=127.0.0.1;SERVICE=") + port + ";UID=wine;PWD=secret";
    const std::wstring in(narrow.begin(), narrow.end());
    SQLWCHAR out[256];
    SQLSMALLINT outLength = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDriverConnectW)(
                               dbc, nullptr, w(in), SQL_NTS, out, 256, &outLength, SQL_DRIVER_NOPROMPT));
    const std::wstring outText(reinterpret_cast<wchar_t*>(out));
    EXPECT_EQ(SQLSMALLINT(outText.size()), outLength);
    EXPECT_NE(std::wstring::npos, outText.find(L"SERVICE=" + std::wstring(port, port + std::strlen(port))));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));

    // In through a wide statement text, found again by it.
    const std::wstring name = kCjk + kEmoji;
    const SQLRETURN deleted = execW(stmt, w(L"DELETE FROM AUTHORS WHERE ID = 60"), SQL_NTS);  // a run before
    ASSERT_TRUE(deleted == SQL_SUCCESS || deleted == SQL_NO_DATA) << deleted;
    closeCursor(stmt);
    ASSERT_EQ(SQL_SUCCESS, execW(stmt, w(L"INSERT INTO AUTHORS (ID, NAME, COUNTRY) VALUES (60, '" + name + L"', '" +
                                         kGreek + L"')"),
                                 SQL_NTS));
    closeCursor(stmt);
    ASSERT_EQ(SQL_SUCCESS, execW(stmt, w(L"SELECT NAME, COUNTRY FROM AUTHORS WHERE NAME = '" + name + L"'"), SQL_NTS));
    SQLWCHAR column[8];
    SQLSMALLINT columnLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDescribeColW)(stmt, 2, column, 8, &columnLength,
                                                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::wstring(L"COUNTRY"), reinterpret_cast<wchar_t*>(column));
    EXPECT_EQ(7, columnLength);

    // Bound as SQL_C_WCHAR: lengths in bytes.
    wchar_t country[16];
    SQLLEN countryLength = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLBindCol)(stmt, 2, SQL_C_WCHAR, country, sizeof country,
                                                                   &countryLength));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    EXPECT_EQ(kGreek, country);
    EXPECT_EQ(SQLLEN(kGreek.size() * 2), countryLength);

    // SQLGetData in whole characters: three units fit, the pair waits for the
    // next piece.
    wchar_t piece[4];
    SQLLEN pieceLength = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, getData(stmt, 1, SQL_C_WCHAR, piece, sizeof piece, &pieceLength));
    EXPECT_EQ(kCjk, piece);
    EXPECT_EQ(SQLLEN(name.size() * 2), pieceLength);
    EXPECT_EQ(SQL_SUCCESS, getData(stmt, 1, SQL_C_WCHAR, piece, sizeof piece, &pieceLength));
    EXPECT_EQ(kEmoji, piece);
    EXPECT_EQ(4, pieceLength);
    EXPECT_EQ(SQL_NO_DATA, getData(stmt, 1, SQL_C_WCHAR, piece, sizeof piece, &pieceLength));
    closeCursor(stmt);

    // The server's message names the table, whole.
    EXPECT_EQ(SQL_ERROR, execW(stmt, w(L"SELECT NAME FROM " + name), SQL_NTS));
    SQLWCHAR state[6], message[512];
    SQLSMALLINT messageLength = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetDiagRecW)(SQL_HANDLE_STMT, stmt, 1, state, nullptr,
                                                                           message, 512, &messageLength));
    EXPECT_EQ(std::wstring(L"HY000"), reinterpret_cast<wchar_t*>(state));
    EXPECT_NE(std::wstring::npos, std::wstring(reinterpret_cast<wchar_t*>(message)).find(name));

    // The ANSI exports: statement texts and character data in the ANSI code
    // page, converted at their boundary.
    auto exec = VORN_DLL_FN(SQLExecDirect);
    char ansiName[64] = "";
    WideCharToMultiByte(CP_ACP, 0, L"Selma Lagerl\u00f6f", -1, ansiName, sizeof ansiName, "?", nullptr);
    const std::string query = std::string("SELECT NAME FROM AUTHORS WHERE NAME = '") + ansiName + "'";
    ASSERT_EQ(SQL_SUCCESS, exec(stmt, (SQLCHAR*)query.c_str(), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
    // In pieces of four bytes and a terminator, each length the rest's.
    std::string joined;
    char text[5];
    SQLLEN textLength = 0;
    SQLRETURN rc;
    while ((rc = getData(stmt, 1, SQL_C_CHAR, text, sizeof text, &textLength)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        EXPECT_EQ(SQLLEN(std::strlen(ansiName) - joined.size()), textLength);
        joined += text;
    }
    EXPECT_EQ(std::string(ansiName), joined);
    closeCursor(stmt);

    // A text attribute: the server name, its length in bytes.
    wchar_t catalog[16];
    SQLINTEGER catalogLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetConnectAttrW)(
                               dbc, SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, &catalogLength));
    EXPECT_EQ(std::wstring(L"127.0.0.1"), catalog);
    EXPECT_EQ(18, catalogLength);

    // The library's file name, its length in bytes.
    SQLWCHAR driver[32];
    SQLSMALLINT driverLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetInfoW)(dbc, SQL_DRIVER_NAME, driver, sizeof driver,
                                                                     &driverLength));
    EXPECT_EQ(std::wstring(L"vornodbc64.dll"), reinterpret_cast<wchar_t*>(driver));
    EXPECT_EQ(28, driverLength);

    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
}

TEST(WinUnicode, ConfigDsnWStoresADataSourceThatSqlConnectWOpens) {
    const char* port = std::getenv("VORN_WIN_VORND_PORT");
    if (!port || !*port) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
    auto config = vornwin::dllFn<ConfigDsnWFn>("ConfigDSNW");
    const std::string narrowPort(port);
    // Pairs ended by a zero each, the list by an empty one.
    std::wstring list = L"DSN=vornwin_wide";
    list += L'\0';
    list += L"Server=127.0.0.1";
    list += L'\0';
    list += L"Service=" + std::wstring(narrowPort.begin(), narrowPort.end());
    list += L'\0';
    ASSERT_TRUE(config(nullptr, ODBC_ADD_DSN, L"Kalmo VORNsql driver", list.c_str()));

    auto alloc = VORN_DLL_FN(SQLAllocHandle);
    auto release = VORN_DLL_FN(SQLFreeHandle);
    SQLHANDLE env = nullptr, dbc = nullptr;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLConnectW)(dbc, w(L"vornwin_wide"), SQL_NTS,
                                                                     w(L"wine"), SQL_NTS, w(L"secret"), SQL_NTS));
    SQLWCHAR dsn[32];
    SQLSMALLINT dsnLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetInfoW)(dbc, SQL_DATA_SOURCE_NAME, dsn, sizeof dsn,
                                                                     &dsnLength));
    EXPECT_EQ(std::wstring(L"vornwin_wide"), reinterpret_cast<wchar_t*>(dsn));
    EXPECT_EQ(24, dsnLength);
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));
    release(SQL_HANDLE_DBC, dbc);
    release(SQL_HANDLE_ENV, env);

    std::wstring remove = L"DSN=vornwin_wide";
    remove += L'\0';
    EXPECT_TRUE(config(nullptr, ODBC_REMOVE_DSN, L"Kalmo VORNsql driver", remove.c_str()));
}
