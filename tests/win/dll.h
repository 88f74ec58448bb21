// Harness for the Windows tests: the driver DLL loaded by name, as a driver
// manager would, and its exports looked up by name.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vornwin {

// vornodbc64.dll, loaded on first use (from beside the test executable, or
// from the path in VORN_DLL). Throws std::runtime_error when it cannot load,
// which fails the calling test with the loader's reason.
HMODULE dll();

// Address of an export; throws when the DLL does not export it.
FARPROC dllProc(const char* name);

// Typed export: auto alloc = dllFn<SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>("SQLAllocHandle");
template <class F>
F dllFn(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(dllProc(name)));
}

// An ODBC export typed by its declaration in the ODBC headers, which the test
// includes (only its type is taken: nothing links to the system's ODBC
// library): auto alloc = VORN_DLL_FN(SQLAllocHandle);
#define VORN_DLL_FN(name) ::vornwin::dllFn<decltype(&::name)>(#name)

// The names in the DLL's export directory, in table order.
std::vector<std::string> exportedNames();

// The names driver/exports.list gave the build.
std::vector<std::string> expectedExports();

// Some behaviour is fixed when the DLL loads (VSQL_LOGFILE, VSQL_LOGLEVEL). A
// test that needs such a setting runs itself again in a fresh process with the
// extra environment, in which isolated() is true and the DLL is loaded anew:
//
//   TEST(DriverLog, FileFromEnvironment) {
//     if (!vornwin::isolated()) {
//       ASSERT_EQ(0, vornwin::rerunIsolated({{"VSQL_LOGFILE", path}, {"VSQL_LOGLEVEL", "5"}}));
//       ... inspect the file ...
//       return;
//     }
//     ... calls into the DLL, run in the fresh process ...
//   }
//
// Returns the fresh process's exit code: 0 when the test passed there.
using EnvVar = std::pair<std::string, std::string>;
bool isolated();
int rerunIsolated(std::initializer_list<EnvVar> env);

// A fresh empty folder for the current test, under the build tree's temp.
std::string scratchDir();

}  // namespace vornwin
