// Self-registration of the driver with the ODBC installer library.
//
// On Windows the installer completes the Driver and Setup file names with the
// installation directory itself. unixODBC records the texts as given and
// loads the driver from exactly that text, so there the entry names the
// installed copy by its full path.
#include "setup/register.h"

#include "driver/entry/odbc.h"
#include "platform/files.h"
#include "platform/installer.h"
#include "platform/msgbox.h"
#include "platform/platform.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

const char kDriverDescription[] = "Kalmo VORNsql driver";
const char kFormerDriverDescription[] = "Kalmoventis VORNsql driver";
#ifdef VORN_WIN32
const char kDriverLibraryFile[] = "vornodbc64.dll";
#else
const char kDriverLibraryFile[] = "libvornodbc.so";
#endif

namespace {

const char* const kFixedAttributes[] = {
    "SQLLevel=0", "FileUsage=0", "DriverODBCVer=03.51", "ConnectFunctions=YYN", "APILevel=0",
};

constexpr unsigned short kInstallDirSize = 300;  // 299 characters and NUL
constexpr unsigned short kInstallerMessageSize = 512;
constexpr unsigned short kMaxInstallerErrors = 9;

void appendItem(std::string& entry, const std::string& item) {
    entry += item;
    entry += '\0';
}

// The installer's directory for drivers, without a trailing separator; false
// when the installer does not answer.
bool inquireInstallDirectory(std::string& dir) {
    char path[kInstallDirSize] = "";
    unsigned short length = 0;
    std::uint32_t usage = 0;
    std::string entry = driverEntry(kDriverLibraryFile);
    if (!plat::inst::installDriverEx(entry.data(), nullptr, path, sizeof path, &length,
                                     ODBC_INSTALL_INQUIRY, &usage))
        return false;
    path[sizeof path - 1] = '\0';
    dir = path;
    if (length > 0 && !dir.empty() && dir.back() == plat::kPathSeparator) dir.pop_back();
    return true;
}

// Removes every registration of a description; false when the first removal
// fails (no such entry).
bool removeAll(const char* description) {
    std::uint32_t usage = 0;
    if (!plat::inst::removeDriver(description, true, &usage)) return false;
    while (usage > 0 && plat::inst::removeDriver(description, true, &usage)) {
    }
    return true;
}

// The installer's first non-empty reason for the failed installation.
void reportInstallerError() {
    for (unsigned short i = 1; i <= kMaxInstallerErrors; ++i) {
        char message[kInstallerMessageSize] = "";
        std::uint32_t code = 0;
        unsigned short length = 0;
        short rc = plat::inst::installerError(i, &code, message, sizeof message, &length);
        message[sizeof message - 1] = '\0';
        if (SQL_SUCCEEDED(rc) && message[0]) {
            plat::messageBox("ODBC Driver Installation Completion Error", message, plat::kMsgBoxIconStop);
            return;
        }
    }
}

bool namesThisDriver(const std::string& driver) {
    if (driver == kDriverDescription || driver == kFormerDriverDescription) return true;
    // A data source may name the library itself, by its path.
    const std::size_t n = std::strlen(kDriverLibraryFile);
    if (driver.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)  // Windows paths in any case
        if (std::tolower(static_cast<unsigned char>(driver[driver.size() - n + i])) !=
            std::tolower(static_cast<unsigned char>(kDriverLibraryFile[i])))
            return false;
    return true;
}

// The data sources that name this driver, once each.
std::vector<std::string> dataSourcesOfDriver() {
    std::vector<std::string> found;
    for (const auto& source : plat::inst::dataSources())
        if (namesThisDriver(source.second) &&
            std::find(found.begin(), found.end(), source.first) == found.end())
            found.push_back(source.first);
    return found;
}

// Data sources left behind by the removal cannot connect any more: say so
// instead of leaving them broken silently.
void warnAboutDataSourcesLeft() {
    const std::vector<std::string> left = dataSourcesOfDriver();
    if (left.empty()) return;
    std::string text = "These data sources still use the " + std::string(kDriverDescription) +
                       ", which is no longer registered, and cannot connect until it is registered again: ";
    for (std::size_t i = 0; i < left.size(); ++i) text += (i ? ", " : "") + left[i];
    text += ".";
    plat::messageBox("ODBC Driver Removal", text.c_str(), plat::kMsgBoxIconExclamation);
}

}  // namespace

std::string driverEntry(const std::string& libraryFile) {
    std::string entry;
    appendItem(entry, kDriverDescription);
    appendItem(entry, "Driver=" + libraryFile);
    appendItem(entry, "Setup=" + libraryFile);
    for (const char* item : kFixedAttributes) appendItem(entry, item);
    entry += '\0';
    return entry;
}

RegisterResult unregisterDriver(bool warn) {
    removeAll(kFormerDriverDescription);
    const RegisterResult result = removeAll(kDriverDescription) ? kRegisterOk : kRegisterFail;
    if (warn && result == kRegisterOk) warnAboutDataSourcesLeft();
    return result;
}

RegisterResult registerDriver(const std::string& ownPath) {
    // Without the installer's directory there is nowhere to copy to: the
    // installation could only fail after a copy to the root directory.
    std::string installDir;
    if (!inquireInstallDirectory(installDir)) {
        reportInstallerError();
        return kRegisterUnexpected;
    }
    unregisterDriver(false);  // the data sources are served again in a moment

    // The copy keeps the name the entry gives, whatever the loaded file is
    // called; a copy already in the installation directory stays where it is.
    std::string source = ownPath;
    bool copyNeeded = true;
    std::size_t slash = ownPath.rfind(plat::kPathSeparator);
    if (slash != std::string::npos && plat::sameDirectory(ownPath.substr(0, slash), installDir)) {
        copyNeeded = false;
    }
    std::string fileName = copyNeeded || slash == std::string::npos ? std::string(kDriverLibraryFile)
                                                                     : ownPath.substr(slash + 1);
    std::string target = installDir + plat::kPathSeparator + fileName;

    if (copyNeeded) {
        if (source.empty()) source = std::string(".") + plat::kPathSeparator + kDriverLibraryFile;
        long error = 0;
        if (!plat::copyFile(source.c_str(), target.c_str(), error)) {
            plat::messageBox("ODBC Driver Installation Copying Error", plat::systemErrorText(error).c_str(),
                             plat::kMsgBoxIconStop);
            return kRegisterUnexpected;
        }
    }

#ifdef VORN_WIN32
    std::string entry = driverEntry(kDriverLibraryFile);
#else
    std::string entry = driverEntry(target);
#endif
    char pathOut[kInstallDirSize] = "";
    unsigned short length = 0;
    std::uint32_t usage = 0;
    if (plat::inst::installDriverEx(entry.data(), installDir.c_str(), pathOut, sizeof pathOut, &length,
                                    ODBC_INSTALL_COMPLETE, &usage))
        return kRegisterOk;
    reportInstallerError();
    return kRegisterUnexpected;
}

// The library's own file: the loaded library of the entry's name, else this
// module whatever its name.
static std::string ownLibraryPath() {
    std::string path = plat::loadedModulePath(kDriverLibraryFile);
    return path.empty() ? plat::modulePath() : path;
}

VSQL_EXPORT RegisterResult DllRegisterServer() {
    try {
        return registerDriver(ownLibraryPath());
    } catch (...) {
        return kRegisterUnexpected;
    }
}

VSQL_EXPORT RegisterResult DllUnregisterServer() {
    try {
        return unregisterDriver(true);
    } catch (...) {
        return kRegisterFail;
    }
}
