// The ODBC headers of the platform (unixODBC on Linux, mingw-w64 on Windows),
// included in the order Windows needs.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

// Definition prefix of every exported ODBC function. The library is built with
// hidden visibility; the export list (version script / .def) names the rest.
#ifdef _WIN32
#define VSQL_EXPORT extern "C"
#else
#define VSQL_EXPORT extern "C" __attribute__((visibility("default")))
#endif
