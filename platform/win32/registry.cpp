// Machine-wide string values in the Windows registry.
#include "platform/registry.h"

#include <windows.h>

namespace plat {
namespace reg {

void* openMachineKey(const char* path) {
    HKEY key = nullptr;
    if (!path || RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

void closeKey(void* key) {
    if (key) RegCloseKey(static_cast<HKEY>(key));
}

bool valueSize(void* key, const char* name, std::size_t& size) {
    DWORD type = 0, bytes = 0;
    if (!key || RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    size = bytes;
    return true;
}

bool readString(void* key, const char* name, char* buffer, std::size_t size) {
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(size);
    if (!key || !buffer || size == 0) return false;
    if (RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
        ERROR_SUCCESS)
        return false;
    buffer[size - 1] = '\0';
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

}  // namespace reg
}  // namespace plat
