#include "platform/files.h"

#include <windows.h>

namespace plat {

std::string loadedModulePath(const char* fileName) {
    HMODULE module = GetModuleHandleA(fileName);
    if (!module) return std::string();
    char buf[1023];
    DWORD n = GetModuleFileNameA(module, buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool copyFile(const char* source, const char* target, long& errorCode) {
    if (CopyFileA(source, target, FALSE)) return true;
    errorCode = long(GetLastError());
    return false;
}

bool sameDirectory(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

}  // namespace plat
