// Shared libraries through LoadLibrary.
#include "platform/dynlib.h"

#include <windows.h>

namespace plat {

void* loadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* findSymbol(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

bool freeLibrary(void* library) { return library && FreeLibrary(static_cast<HMODULE>(library)) != 0; }

}  // namespace plat
