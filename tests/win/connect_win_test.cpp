// The DLL's ConfigDSN writing a data source through the system's installer
// library (Wine's odbccp32, windowless), and SQLConnect / SQLDriverConnect to
// a vornd on the Linux side. The server's port comes from the environment
// variable VORN_WIN_VORND_PORT (vornd on 127.0.0.1, every login accepted);
// without it the connecting tests are skipped.
#include "win/dll.h"

#include "support/attribute_list.h"

#include <windows.h>
#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const char* const kDriver = "Kalmo VORNsql driver";

using ConfigDsnFn = BOOL(WINAPI*)(HWND, WORD, LPCSTR, LPCSTR);
using GetProfileFn = int(WINAPI*)(LPCSTR, LPCSTR, LPCSTR, LPSTR, int, LPCSTR);

BOOL configDsn(WORD request, const std::string& list) {
  return vornwin::dllFn<ConfigDsnFn>("ConfigDSN")(nullptr, request, kDriver, list.data());
}

using vorntest::attributeList;

// A key as the installer library reads it back.
std::string key(const char* dsn, const char* name) {
  static HMODULE installer = LoadLibraryA("odbccp32.dll");
  auto get = reinterpret_cast<GetProfileFn>(
      reinterpret_cast<void*>(GetProcAddress(installer, "SQLGetPrivateProfileString")));
  if (!get) return "<no installer>";
  char buf[512] = "";
  get(dsn, name, "<none>", buf, sizeof buf, "ODBC.INI");
  return buf;
}

// The DLL's handles, called as a driver manager would.
struct Dbc {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  Dbc() {
    auto alloc = VORN_DLL_FN(SQLAllocHandle);
    alloc(SQL_HANDLE_ENV, nullptr, &env);
    alloc(SQL_HANDLE_DBC, env, &dbc);
  }
  ~Dbc() {
    VORN_DLL_FN(SQLDisconnect)(dbc);
    auto release = VORN_DLL_FN(SQLFreeHandle);
    release(SQL_HANDLE_DBC, dbc);
    release(SQL_HANDLE_ENV, env);
  }
  std::string state() {
    SQLCHAR s[6] = "", text[600] = "";
    VORN_DLL_FN(SQLGetDiagRec)(SQL_HANDLE_DBC, dbc, 1, s, nullptr, text, sizeof text, nullptr);
    return std::string(reinterpret_cast<char*>(s)) + " " + reinterpret_cast<char*>(text);
  }
};

}  // namespace

TEST(WinSetup, ConfigDsnThroughTheInstallerLibrary) {
  ASSERT_TRUE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=vornwin_setup", "Server=db.example", "Service=7110"})));
  EXPECT_EQ("db.example", key("vornwin_setup", "Server"));
  EXPECT_EQ("7110", key("vornwin_setup", "Service"));
  EXPECT_EQ("<none>", key("vornwin_setup", "Description"));  // windowless: only what was given

  ASSERT_TRUE(configDsn(ODBC_CONFIG_DSN, attributeList({"DSN=vornwin_setup", "LogLevel=2"})));
  EXPECT_EQ("2", key("vornwin_setup", "LogLevel"));
  EXPECT_EQ("db.example", key("vornwin_setup", "Server"));

  EXPECT_FALSE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=bad[name]", "Server=x"})));
  EXPECT_FALSE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=" + std::string(300, 'n')})));
  EXPECT_FALSE(configDsn(ODBC_ADD_DSN, attributeList({"Server=x"})));

  // Wine's odbccp32 reports the removal as done; where its registry copy of
  // the keys then lives differs between Wine versions, so only that is checked.
  EXPECT_TRUE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=vornwin_setup"})));
  EXPECT_FALSE(configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=bad[name]"})));
}

TEST(WinConnect, ConnectAndDisconnectToVornd) {
  const char* env = std::getenv("VORN_WIN_VORND_PORT");
  std::string port = env ? env : "";
  if (port.empty()) GTEST_SKIP() << "VORN_WIN_VORND_PORT is not set: no vornd to connect to";
  ASSERT_TRUE(configDsn(ODBC_ADD_DSN, attributeList({"DSN=vornwin", "Server=127.0.0.1", "Service=" + port})));

  {
    Dbc c;
    auto connect = VORN_DLL_FN(SQLConnect);
    ASSERT_EQ(SQL_SUCCESS, connect(c.dbc, (SQLCHAR*)"vornwin", SQL_NTS, (SQLCHAR*)"wine", SQL_NTS,
                                   (SQLCHAR*)"secret", SQL_NTS))
        << c.state();
    EXPECT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDisconnect)(c.dbc));
  }
  {
    Dbc c;
    SQLCHAR out[256] = "";
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, VORN_DLL_FN(SQLDriverConnect)(
                               c.dbc, nullptr, (SQLCHAR*)"DSN=vornwin;UID=wine;PWD=secret", SQL_NTS, out,
                               sizeof out, &len, SQL_DRIVER_NOPROMPT))
        << c.state();
    EXPECT_EQ("DSN=vornwin;SERVER=127.0.0.1;SERVICE=" + port + ";UID=wine;PWD=secret;LogLevel=0",
              std::string(reinterpret_cast<char*>(out)));
    EXPECT_EQ(SQLSMALLINT(std::string(reinterpret_cast<char*>(out)).size()), len);
  }
  configDsn(ODBC_REMOVE_DSN, attributeList({"DSN=vornwin"}));
}
