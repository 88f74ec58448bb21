// The ODBC installer library (odbccp32.dll on Windows, unixODBC's libodbcinst
// on Linux), reached by name at run time rather than linked: a driver must
// load even where no installer library is present, and then only the setup
// and connect calls that need it fail.
//
// Each function is looked up the first time it is called. When the library or
// the function cannot be found, the call counts as failed: FALSE, 0 or
// SQL_ERROR as the installer function itself would report a failure.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plat {
namespace inst {

// SQLGetPrivateProfileString: number of characters written to out (0 on
// failure, out then holds the empty text when outSize > 0).
int getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                            char* out, int outSize, const char* file);
bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file);
// Creates or updates the data source's entry. On Linux unixODBC drops the
// section's other keys when it rewrites the entry; this wrapper puts them
// back, so that the entry behaves as on Windows (the driver name changes, the
// keys stay).
bool writeDSNToIni(const char* dsn, const char* driver);
bool removeDSNFromIni(const char* dsn);
bool validDSN(const char* dsn);

bool installDriverEx(const char* driverAttributes, const char* pathIn, char* pathOut,
                     unsigned short pathOutMax, unsigned short* pathOutLength,
                     unsigned short request, std::uint32_t* usageCount);
// SQLInstallerError: an SQLRETURN (SQL_SUCCESS, SQL_SUCCESS_WITH_INFO,
// SQL_NO_DATA or SQL_ERROR).
short installerError(unsigned short errorIndex, std::uint32_t* errorCode, char* message,
                     unsigned short messageMax, unsigned short* messageLength);
bool removeDriver(const char* driverName, bool removeDsns, std::uint32_t* usageCount);
// SQLPostInstallerError: lets ConfigDSN say why it returned FALSE.
bool postInstallerError(std::uint32_t errorCode, const char* message);

// Every data source the system knows, with the driver it names (a
// description or a library path): the user's and the machine's index of
// data sources on Windows, every section of the ODBC.INI profile elsewhere.
std::vector<std::pair<std::string, std::string>> dataSources();

// The platform's lookup of an installer function by name: null when the
// library or the function is missing. Used by the wrappers above.
void* installerFunction(const char* name);

}  // namespace inst
}  // namespace plat
