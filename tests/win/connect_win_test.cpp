// The DLL's ConfigDSN writing a data source through the system's installer
// library (Wine's odbccp32, windowless); connecting through one:
// unicode_win_test.cpp.
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

}  // namespace
