// DllRegisterServer / DllUnregisterServer of the DLL against the system's
// installer library (Wine's odbccp32): the library is copied to the driver
// directory the installer names and the entry appears among the installed
// drivers; unregistering removes it again.
#include "win/dll.h"

#include <cstring>
#include <string>

namespace {

const char kDriver[] = "Kalmo VORNsql driver";
const char kFormer[] = "Kalmoventis VORNsql driver";

using RegisterFn = HRESULT(WINAPI*)();

// How many of the installed drivers carry this description.
int entries(const char* description) {
  char buf[8192] = "";
  WORD length = 0;
  int n = 0;
  if (SQLGetInstalledDrivers(buf, sizeof buf, &length))
    for (const char* p = buf; *p; p += strlen(p) + 1) n += std::strcmp(p, description) == 0;
  return n;
}

// A value of the driver's entry as the installer keeps it (in the
// registry), "<none>" when absent.
std::string driverKey(const char* description, const char* key) {
  const std::string subkey = std::string("Software\\ODBC\\ODBCINST.INI\\") + description;
  char buf[1024] = "";
  DWORD size = sizeof buf, type = 0;
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "<none>";
  const LONG rc = RegQueryValueExA(h, key, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) return "<none>";
  return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(buf)) : std::string(buf, strnlen(buf, size));
}

std::string installDirectory() {
  char path[300] = "";
  WORD length = 0;
  DWORD usage = 0;
  const char entry[] = "x\0Driver=x.dll\0";
  SQLInstallDriverEx(entry, nullptr, path, sizeof path, &length, ODBC_INSTALL_INQUIRY, &usage);
  std::string dir = path;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

}  // namespace

TEST(Register, InstallsCopyReplacesFormerEntryAndUnregisterRemovesAll) {
  std::string dir = installDirectory();
  ASSERT_FALSE(dir.empty());
  std::string installed = dir + "\\vornodbc64.dll";

  // A former registration, twice over.
  const char former[] = "Kalmoventis VORNsql driver\0Driver=old.dll\0";
  char path[300];
  WORD length = 0;
  DWORD usage = 0;
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(SQLInstallDriverEx(former, dir.c_str(), path, sizeof path, &length, ODBC_INSTALL_COMPLETE, &usage));
  ASSERT_EQ(1, entries(kFormer));

  auto registerServer = vornwin::dllFn<RegisterFn>("DllRegisterServer");
  ASSERT_EQ(S_OK, registerServer());
  ASSERT_EQ(S_OK, registerServer());  // again: still one entry, counted once
  EXPECT_EQ("1 0 1 03.51 YYN", std::to_string(entries(kDriver)) + " " + std::to_string(entries(kFormer)) + " " +
                                   driverKey(kDriver, "UsageCount") + " " + driverKey(kDriver, "DriverODBCVer") + " " +
                                   driverKey(kDriver, "ConnectFunctions"));
  std::string driverFile = driverKey(kDriver, "Driver");
  EXPECT_EQ(0, lstrcmpiA(installed.c_str(), driverFile.c_str())) << driverFile;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(installed.c_str()));

  EXPECT_EQ(S_OK, vornwin::dllFn<RegisterFn>("DllUnregisterServer")());
  EXPECT_EQ(0, entries(kDriver));
  // (Wine's installer, like unixODBC's, reports success for removing an entry
  // that does not exist, so the E_FAIL of a second unregistration cannot be
  // seen here.)
  DeleteFileA(installed.c_str());
}
