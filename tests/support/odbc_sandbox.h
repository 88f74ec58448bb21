// A private unixODBC configuration for one test: ODBCSYSINI and ODBCINI point
// into a fresh folder, so the installer library reads and writes only there.
#pragma once

#include <string>

namespace vorntest {

class OdbcSandbox {
public:
    OdbcSandbox();
    ~OdbcSandbox();
    OdbcSandbox(const OdbcSandbox&) = delete;
    OdbcSandbox& operator=(const OdbcSandbox&) = delete;

    const std::string& dir() const { return dir_; }
    std::string userIni() const { return dir_ + "/user.ini"; }
    std::string systemIni() const { return dir_ + "/odbc.ini"; }
    std::string driverIni() const { return dir_ + "/odbcinst.ini"; }
    // The text of a file of the sandbox ("" when it does not exist).
    std::string read(const std::string& path) const;
    void write(const std::string& path, const std::string& text) const;
    // Value of a data source's key read back through the installer library,
    // or "<none>" when the key is absent.
    std::string key(const char* dsn, const char* key) const;
    // Whether the data source's section exists in the user file.
    bool hasDsn(const char* dsn) const;

private:
    std::string dir_;
    std::string oldSysIni_, oldIni_;
    bool hadSysIni_ = false, hadIni_ = false;
};

}  // namespace vorntest
