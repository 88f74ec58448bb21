// Shared libraries through dlopen.
#include "platform/dynlib.h"

#include <dlfcn.h>

namespace plat {

void* loadLibrary(const char* name) {
    if (!name || !*name) return nullptr;
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* findSymbol(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return dlsym(library, name);
}

bool freeLibrary(void* library) { return library && dlclose(library) == 0; }

}  // namespace plat
