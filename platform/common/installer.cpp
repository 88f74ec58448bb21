// Calls into the ODBC installer library through functions looked up by name.
// The lookup itself is per platform (platform/<os>/installer.cpp).
#include "platform/installer.h"

#ifdef VORN_WIN32
#include <windows.h>
#endif
#include <odbcinst.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace plat {
namespace inst {

namespace {

// The function's address, looked up once: the first call decides for the
// life of the process (the installer library is not unloaded underneath us).
template <typename Fn>
Fn lookup(const char* name) {
    return reinterpret_cast<Fn>(installerFunction(name));
}

#define VORN_INSTALLER_FN(name) \
    static const auto fn = lookup<decltype(&::name)>(#name)

}  // namespace

int getPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                            char* out, int outSize, const char* file) {
    VORN_INSTALLER_FN(SQLGetPrivateProfileString);
    if (out && outSize > 0) out[0] = '\0';
    if (!fn || !out || outSize <= 0) return 0;
    int n = fn(section, key, defaultValue, out, outSize, file);
    // Whatever the installer did, the text ends inside the buffer.
    out[outSize - 1] = '\0';
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return n < outSize ? n : outSize - 1;
}

bool writePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
    VORN_INSTALLER_FN(SQLWritePrivateProfileString);
    return fn && fn(section, key, value, file);
}

bool removeDSNFromIni(const char* dsn) {
    VORN_INSTALLER_FN(SQLRemoveDSNFromIni);
    return fn && fn(dsn);
}

bool validDSN(const char* dsn) {
    VORN_INSTALLER_FN(SQLValidDSN);
    return fn && dsn && fn(dsn);
}

#ifndef VORN_WIN32
namespace {

// The keys of an existing data-source section with their values, Driver
// left out (the caller writes it anew). Empty when the section is absent.
std::vector<std::pair<std::string, std::string>> sectionKeys(const char* dsn) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::vector<char> names(4096);
    for (;;) {
        int n = getPrivateProfileString(dsn, nullptr, "", names.data(), int(names.size()), "ODBC.INI");
        if (n < int(names.size()) - 2 || names.size() >= (1u << 20)) {
            names.resize(std::size_t(n) + 2, '\0');
            break;
        }
        names.assign(names.size() * 2, '\0');
    }
    for (const char* p = names.data(); *p; p += std::strlen(p) + 1) {
        if (strcasecmp(p, "Driver") == 0) continue;
        std::vector<char> value(4096);
        getPrivateProfileString(dsn, p, "", value.data(), int(value.size()), "ODBC.INI");
        keys.emplace_back(p, value.data());
    }
    return keys;
}

}  // namespace
#endif

bool writeDSNToIni(const char* dsn, const char* driver) {
    VORN_INSTALLER_FN(SQLWriteDSNToIni);
    if (!fn) return false;
#ifdef VORN_WIN32
    return fn(dsn, driver);
#else
    // unixODBC removes the section before writing it; keep what it had.
    auto keys = dsn ? sectionKeys(dsn) : decltype(sectionKeys(dsn))();
    if (!fn(dsn, driver)) return false;
    for (const auto& kv : keys) writePrivateProfileString(dsn, kv.first.c_str(), kv.second.c_str(), "ODBC.INI");
    return true;
#endif
}

bool installDriverEx(const char* driverAttributes, const char* pathIn, char* pathOut,
                     unsigned short pathOutMax, unsigned short* pathOutLength,
                     unsigned short request, std::uint32_t* usageCount) {
    VORN_INSTALLER_FN(SQLInstallDriverEx);
    if (!fn) return false;
    DWORD usage = 0;
    WORD outLength = 0;
    BOOL ok = fn(driverAttributes, pathIn, pathOut, pathOutMax, &outLength, request, &usage);
    if (pathOutLength) *pathOutLength = outLength;
    if (usageCount) *usageCount = std::uint32_t(usage);
    return ok;
}

short installerError(unsigned short errorIndex, std::uint32_t* errorCode, char* message,
                     unsigned short messageMax, unsigned short* messageLength) {
    VORN_INSTALLER_FN(SQLInstallerError);
    if (!fn) return SQL_ERROR;
    DWORD code = 0;
    WORD length = 0;
    SQLRETURN rc = fn(errorIndex, &code, message, messageMax, &length);
    if (errorCode) *errorCode = std::uint32_t(code);
    if (messageLength) *messageLength = length;
    return rc;
}

bool removeDriver(const char* driverName, bool removeDsns, std::uint32_t* usageCount) {
    VORN_INSTALLER_FN(SQLRemoveDriver);
    if (!fn) return false;
    DWORD usage = 0;
    BOOL ok = fn(driverName, removeDsns ? 1 : 0, &usage);
    if (usageCount) *usageCount = std::uint32_t(usage);
    return ok;
}

bool postInstallerError(std::uint32_t errorCode, const char* message) {
    VORN_INSTALLER_FN(SQLPostInstallerError);
    return fn && SQL_SUCCEEDED(fn(DWORD(errorCode), message));
}

}  // namespace inst
}  // namespace plat
