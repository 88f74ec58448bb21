#include "support/odbc_sandbox.h"

#include "platform/installer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vorntest {

OdbcSandbox::OdbcSandbox() {
    char pattern[] = "/tmp/vorn-odbc-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    if (const char* v = std::getenv("ODBCSYSINI")) hadSysIni_ = true, oldSysIni_ = v;
    if (const char* v = std::getenv("ODBCINI")) hadIni_ = true, oldIni_ = v;
    for (const std::string& file : {driverIni(), userIni(), systemIni()}) write(file, "");
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", userIni().c_str(), 1);
}

OdbcSandbox::~OdbcSandbox() {
    if (hadSysIni_) setenv("ODBCSYSINI", oldSysIni_.c_str(), 1); else unsetenv("ODBCSYSINI");
    if (hadIni_) setenv("ODBCINI", oldIni_.c_str(), 1); else unsetenv("ODBCINI");
    std::error_code ignored;  // tests leave logs and outputs beside the configuration
    std::filesystem::remove_all(dir_, ignored);
}

std::string OdbcSandbox::read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void OdbcSandbox::write(const std::string& path, const std::string& text) const {
    std::ofstream(path, std::ios::trunc) << text;
}

std::string OdbcSandbox::key(const char* dsn, const char* key) const {
    char buf[1024];
    plat::inst::getPrivateProfileString(dsn, key, "<none>", buf, sizeof buf, "ODBC.INI");
    return buf;
}

bool OdbcSandbox::hasDsn(const char* dsn) const {
    return read(userIni()).find(std::string("[") + dsn + "]") != std::string::npos;
}

}  // namespace vorntest
