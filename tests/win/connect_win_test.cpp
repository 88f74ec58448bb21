// The DLL's ConfigDSN writing a data source through the system's installer
// library (Wine's odbccp32, windowless), and SQLConnect / SQLDriverConnect
// through it to the vornd on the Linux side.
#include "win/dll.h"

#include "support/attribute_list.h"

namespace {

using vorntest::attributeList;
using WinSetup = vornwin::Handles;

BOOL configDsn(WORD request, const std::string& list) {
    using ConfigDsnFn = BOOL(WINAPI*)(HWND, WORD, LPCSTR, LPCSTR);
    return vornwin::dllFn<ConfigDsnFn>("ConfigDSN")(nullptr, request, "Kalmo VORNsql driver", list.data());
}

TEST_F(WinSetup, ConfigDsnThroughTheInstallerLibrary) {
    ASSERT_TRUE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=vornwin_setup", "Server=db.example", "Service=7110"})));
    // Windowless: only what was given.
    EXPECT_EQ("db.example|7110|<none>", vornwin::keys("vornwin_setup", {"Server", "Service", "Description"}));
    ASSERT_TRUE(configDsn(ODBC_CONFIG_DSN, attributeList({"DSN=vornwin_setup", "LogLevel=2"})));
    EXPECT_EQ("2|db.example", vornwin::keys("vornwin_setup", {"LogLevel", "Server"}));
    for (const std::string& bad : {std::string("DSN=bad[name]"), "DSN=" + std::string(300, 'n'), std::string("Server=x")})
        EXPECT_FALSE(configDsn(ODBC_ADD_DSN, attributeList({bad}))) << bad.substr(0, 20);
    // Wine's odbccp32 reports the removal as done; where its registry copy of
    // the keys then lives differs between Wine versions, so only that is checked.
    EXPECT_TRUE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=vornwin_setup"})));
    EXPECT_FALSE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=bad[name]"})));
}

TEST_F(WinSetup, ConnectAndDriverConnectThroughTheDataSource) {
    const std::string port = vornwin::vorndPort();
    if (port.empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLFreeHandle)(SQL_HANDLE_STMT, stmt));  // a disconnect would drop it
    stmt = nullptr;
    ASSERT_TRUE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=vornwin", "Server=127.0.0.1", "Service=" + port})));
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLConnect)(dbc, (SQLCHAR*)"vornwin", SQL_NTS, (SQLCHAR*)"wine", SQL_NTS,
                                                   (SQLCHAR*)"secret", SQL_NTS)) << vornwin::diag(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(dbc));
    SQLCHAR out[256] = "";
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDriverConnect)(dbc, nullptr, (SQLCHAR*)"DSN=vornwin;UID=wine;PWD=secret",
                                                         SQL_NTS, out, sizeof out, &len, SQL_DRIVER_NOPROMPT))
        << vornwin::diag(SQL_HANDLE_DBC, dbc);
    const std::string text = reinterpret_cast<char*>(out);
    EXPECT_EQ("DSN=vornwin;SERVER=127.0.0.1;SERVICE=" + port + ";UID=wine;PWD=secret;LogLevel=0", text);
    EXPECT_EQ(SQLSMALLINT(text.size()), len);
    configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=vornwin"}));
}

}  // namespace
