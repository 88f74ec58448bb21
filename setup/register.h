// The driver's registration with the ODBC installer: DllRegisterServer and
// DllUnregisterServer, and the steps behind them.
#pragma once

#include <cstdint>
#include <string>

// The COM-style result of the two entry points.
#ifdef _WIN32
using RegisterResult = long;  // HRESULT
#else
using RegisterResult = std::int32_t;
#endif
constexpr RegisterResult kRegisterOk = 0;                               // S_OK
constexpr RegisterResult kRegisterUnexpected = RegisterResult(0x8000FFFFu);  // E_UNEXPECTED
constexpr RegisterResult kRegisterFail = RegisterResult(0x80004005u);        // E_FAIL

extern const char kDriverDescription[];        // "Kalmo VORNsql driver"
extern const char kFormerDriverDescription[];  // "Kalmoventis VORNsql driver"
// The library's file name as the driver entry gives it.
extern const char kDriverLibraryFile[];

// The driver entry for the installer: description, then keyword=value items,
// each ended by NUL, the whole ended by an extra NUL. `libraryFile` is what
// Driver= and Setup= name.
std::string driverEntry(const std::string& libraryFile);

// Registration with the library's own file at `ownPath` ("" when unknown).
RegisterResult registerDriver(const std::string& ownPath);
// Removes both entries; with `warn`, a message box names the data sources
// that still use the driver afterwards.
RegisterResult unregisterDriver(bool warn = true);
