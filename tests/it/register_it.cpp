// DllRegisterServer of the built library against unixODBC's installer in a
// private configuration: the library is copied beside odbcinst.ini and
// entered there; a fresh process (pyodbc) then connects to vornd through the
// registered driver, and cannot once DllUnregisterServer has removed it.
#include "support/odbc_session.h"

#include <dlfcn.h>

#include <cstdint>

namespace {

using RegisterFn = std::int32_t (*)();

TEST(Registration, RegisteredCopyIsWhatTheDriverManagerLoads) {
    vorntest::OdbcSandbox odbc;
    vorndtest::TestServer server("register");  // no users file: any login will do
    ASSERT_TRUE(server.ok()) << server.error();
    void* lib = dlopen(VORN_DRIVER_LIB, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    auto reg = reinterpret_cast<RegisterFn>(dlsym(lib, "DllRegisterServer"));
    auto unreg = reinterpret_cast<RegisterFn>(dlsym(lib, "DllUnregisterServer"));
    ASSERT_TRUE(reg && unreg);
    const std::string connect = "/usr/bin/python3 -c \"import pyodbc; pyodbc.connect('" +
                                vorntest::at(server.port()) + "').close(); print('connected')\"";
    std::string output;

    ASSERT_EQ(0, reg());
    const std::string copy = odbc.dir() + "/libvornodbc.so";
    // The file itself: this process's installer library caches what it read.
    EXPECT_NE(std::string::npos, odbc.read(odbc.driverIni()).find("\nDriver=" + copy + "\n"));
    EXPECT_EQ(vorndtest::readFile(VORN_DRIVER_LIB), vorndtest::readFile(copy));
    EXPECT_EQ(0, vorntest::runWithDriver(odbc.dir(), connect, output)) << output;
    EXPECT_NE(std::string::npos, output.find("connected")) << output;

    EXPECT_EQ(0, unreg());
    EXPECT_EQ(std::string::npos, odbc.read(odbc.driverIni()).find("Kalmo VORNsql driver"));
    EXPECT_NE(0, vorntest::runWithDriver(odbc.dir(), connect, output));
    EXPECT_NE(std::string::npos, output.find("Can't open lib 'Kalmo VORNsql driver'")) << output;
    dlclose(lib);
    EXPECT_EQ(0, server.stop());
}

}  // namespace
