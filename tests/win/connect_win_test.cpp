// The DLL's ConfigDSNW and ConfigDSN writing a data source through the
// system's installer library (Wine's odbccp32, windowless), and SQLConnectW
// opening it.
#include "win/dll.h"

#include "support/attribute_list.h"

#include <sqlucode.h>

namespace {

using vorntest::attributeList;
using WinSetup = vornwin::Handles;

BOOL configDsn(WORD request, const std::string& list) {
    using ConfigDsnFn = BOOL(WINAPI*)(HWND, WORD, LPCSTR, LPCSTR);
    return vornwin::dllFn<ConfigDsnFn>("ConfigDSN")(nullptr, request, "Kalmo VORNsql driver", list.data());
}

SQLWCHAR* w(const wchar_t* text) { return reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text)); }

TEST_F(WinSetup, ConfigDsnWritesThroughTheInstallerAndConnectWOpensIt) {
    const std::string port = vornwin::vorndPort();
    if (port.empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeHandle)(SQL_HANDLE_STMT, stmt));  // a disconnect would drop it
    stmt = nullptr;
    using ConfigDsnWFn = BOOL(WINAPI*)(HWND, WORD, LPCWSTR, LPCWSTR);
    const std::wstring list = std::wstring(L"DSN=vornwin_setup\0Server=127.0.0.1\0Service=", 43) +
                              std::wstring(port.begin(), port.end()) + L'\0';
    ASSERT_TRUE(vornwin::dllFn<ConfigDsnWFn>("ConfigDSNW")(nullptr, ODBC_ADD_DSN, L"Kalmo VORNsql driver", list.c_str()));
    // Windowless; a change keeps the rest. (Wine may keep a removed data
    // source's keys in its prefix: only keys each run writes are compared.)
    EXPECT_EQ("127.0.0.1|" + port, vornwin::keys("vornwin_setup", {"Server", "Service"}));
    ASSERT_TRUE(configDsn(ODBC_CONFIG_DSN, attributeList({"DSN=vornwin_setup", "Description=wide"})));
    EXPECT_EQ("wide|127.0.0.1", vornwin::keys("vornwin_setup", {"Description", "Server"}));

    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLConnectW)(dbc, w(L"vornwin_setup"), SQL_NTS, w(L"wine"), SQL_NTS,
                                                    w(L"secret"), SQL_NTS));
    SQLWCHAR dsn[32];
    SQLSMALLINT dsnLength = 0;
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLGetInfoW)(dbc, SQL_DATA_SOURCE_NAME, dsn, sizeof dsn, &dsnLength));
    EXPECT_EQ(L"vornwin_setup 26", reinterpret_cast<wchar_t*>(dsn) + (L" " + std::to_wstring(dsnLength)));
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));

    for (const std::string& bad : {std::string("DSN=bad[name]"), "DSN=" + std::string(300, 'n'), std::string("Server=x")})
        EXPECT_FALSE(configDsn(ODBC_ADD_DSN, attributeList({bad}))) << bad.substr(0, 20);
    // Wine's odbccp32 reports the removal as done; where its registry copy of
    // the keys then lives differs between Wine versions, so only that is checked.
    EXPECT_TRUE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=vornwin_setup"})));
    EXPECT_FALSE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=bad[name]"})));
}

}  // namespace
