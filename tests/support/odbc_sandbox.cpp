#include "support/odbc_sandbox.h"

#include "platform/installer.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <dirent.h>
#include <unistd.h>

namespace vorntest {

OdbcSandbox::OdbcSandbox() {
    char pattern[] = "/tmp/vorn-odbc-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    if (const char* v = std::getenv("ODBCSYSINI")) hadSysIni_ = true, oldSysIni_ = v;
    if (const char* v = std::getenv("ODBCINI")) hadIni_ = true, oldIni_ = v;
    write(driverIni(), "");
    write(userIni(), "");
    write(systemIni(), "");
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", userIni().c_str(), 1);
}

OdbcSandbox::~OdbcSandbox() {
    if (hadSysIni_) setenv("ODBCSYSINI", oldSysIni_.c_str(), 1); else unsetenv("ODBCSYSINI");
    if (hadIni_) setenv("ODBCINI", oldIni_.c_str(), 1); else unsetenv("ODBCINI");
    // Tests leave logs and outputs beside the configuration.
    if (DIR* d = opendir(dir_.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                unlink((dir_ + "/" + e->d_name).c_str());
        closedir(d);
    }
    rmdir(dir_.c_str());
}

std::string OdbcSandbox::read(const std::string& path) const {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void OdbcSandbox::write(const std::string& path, const std::string& text) const {
    std::ofstream out(path, std::ios::trunc);
    out << text;
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
