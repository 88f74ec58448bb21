// Finds odbccp32.dll, the Windows ODBC installer library, when first needed.
#include "platform/installer.h"

#include <windows.h>

namespace plat {
namespace inst {

namespace {
HMODULE installerLibrary() {
    // Kept loaded for the life of the process: the functions looked up from
    // it are cached by their callers.
    static const HMODULE library = LoadLibraryA("odbccp32.dll");
    return library;
}
}  // namespace

std::vector<std::pair<std::string, std::string>> dataSources() {
    // The installer's profile reading does not see every data source (Wine's
    // reads the user's only); the index in the registry has them all.
    std::vector<std::pair<std::string, std::string>> found;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY index = nullptr;
        if (RegOpenKeyExA(root, "Software\\ODBC\\ODBC.INI\\ODBC Data Sources", 0, KEY_READ, &index) !=
            ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            char name[256], driver[1024];
            DWORD nameSize = sizeof name, driverSize = sizeof driver - 1, type = 0;
            const LONG rc = RegEnumValueA(index, i, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(driver), &driverSize);
            if (rc == ERROR_MORE_DATA) continue;
            if (rc != ERROR_SUCCESS) break;
            if (type != REG_SZ) continue;
            driver[driverSize < sizeof driver ? driverSize : sizeof driver - 1] = '\0';
            found.emplace_back(name, driver);
        }
        RegCloseKey(index);
    }
    return found;
}

void* installerFunction(const char* name) {
    HMODULE library = installerLibrary();
    return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

}  // namespace inst
}  // namespace plat
