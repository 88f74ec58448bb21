// DllRegisterServer of the built library against unixODBC's installer in a
// private configuration: the library is copied beside odbcinst.ini and
// entered there; a fresh process (pyodbc) then connects to vornd through the
// registered driver, and cannot once DllUnregisterServer has removed it.
#include "server/WireClient.h"
#include "support/odbc_sandbox.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using RegisterFn = std::int32_t (*)();


// Connects in a new pyodbc process; its exit status and output.
int connectInChild(const vorntest::OdbcSandbox& odbc, int port, std::string& output) {
    const std::string preload = VORN_SANITIZER_PRELOAD, file = odbc.dir() + "/connect.out";
    const std::string env = preload.empty() ? "" : "export LD_PRELOAD=" + preload + " ASAN_OPTIONS=detect_leaks=0; ";
    const std::string script = "import pyodbc; pyodbc.connect('DRIVER={Kalmo VORNsql driver};SERVER=127.0.0.1;"
                               "SERVICE=" + std::to_string(port) + ";UID=u;PWD=p').close(); print('connected')";
    const int rc = std::system(("(" + env + "/usr/bin/python3 -c \"" + script + "\") > " + file + " 2>&1").c_str());
    output = vorndtest::readFile(file);
    return rc;
}

}  // namespace

TEST(Registration, RegisteredCopyIsWhatTheDriverManagerLoads) {
    vorntest::OdbcSandbox odbc;
    vorndtest::TestServer server("register");  // no users file: any login will do
    ASSERT_TRUE(server.ok()) << server.error();

    void* lib = dlopen(VORN_DRIVER_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(lib, "DllRegisterServer"));
    auto unreg = reinterpret_cast<RegisterFn>(dlsym(lib, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);

    ASSERT_EQ(0, reg());
    const std::string copy = odbc.dir() + "/libvornodbc.so";
    // The file itself: this process's installer library caches what it read.
    EXPECT_NE(std::string::npos, odbc.read(odbc.driverIni()).find("\nDriver=" + copy + "\n"));
    EXPECT_EQ(vorndtest::readFile(VORN_DRIVER_LIB), vorndtest::readFile(copy));

    std::string output;
    EXPECT_EQ(0, connectInChild(odbc, server.port(), output)) << output;
    EXPECT_NE(std::string::npos, output.find("connected")) << output;

    EXPECT_EQ(0, unreg());
    EXPECT_EQ(std::string::npos, odbc.read(odbc.driverIni()).find("Kalmo VORNsql driver"));
    EXPECT_NE(0, connectInChild(odbc, server.port(), output));
    EXPECT_NE(std::string::npos, output.find("Can't open lib 'Kalmo VORNsql driver'")) << output;
    dlclose(lib);
    EXPECT_EQ(0, server.stop());
}
