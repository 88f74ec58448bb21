// Finds unixODBC's installer library by its versioned file name: the
// unversioned libodbcinst.so exists only where the development package is
// installed.
#include "platform/installer.h"

#include <dlfcn.h>

#include <vector>

namespace plat {
namespace inst {

namespace {
void* installerLibrary() {
    // Inside a driver manager the library is already loaded and this only
    // takes another reference to it. Never closed: functions looked up from
    // it are kept for the life of the process.
    static void* const library = dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL);
    return library;
}
}  // namespace

std::vector<std::pair<std::string, std::string>> dataSources() {
    // A null section lists the sections, NUL-separated.
    std::vector<char> list(32768, '\0');
    const int n = getPrivateProfileString(nullptr, nullptr, "", list.data(), int(list.size()) - 1, "ODBC.INI");
    std::vector<std::pair<std::string, std::string>> found;
    for (int at = 0; at < n && list[std::size_t(at)];) {
        const std::string section = &list[std::size_t(at)];
        at += int(section.size()) + 1;
        if (section == "ODBC Data Sources" || section == "ODBC") continue;
        char driver[1024] = "";
        getPrivateProfileString(section.c_str(), "Driver", "", driver, sizeof driver, "ODBC.INI");
        found.emplace_back(section, driver);
    }
    return found;
}

void* installerFunction(const char* name) {
    void* library = installerLibrary();
    return library ? dlsym(library, name) : nullptr;
}

}  // namespace inst
}  // namespace plat
