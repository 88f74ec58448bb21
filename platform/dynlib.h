// Loading shared libraries by name and finding their exported routines:
// LoadLibrary / GetProcAddress on Windows, dlopen / dlsym elsewhere.
#pragma once

namespace plat {

// The library's handle, or null when it cannot be loaded. A bare name is
// looked for the platform's usual way; a path is taken as it is.
void* loadLibrary(const char* name);
// The address of an exported routine or variable, or null.
void* findSymbol(void* library, const char* name);
// True when the library was released.
bool freeLibrary(void* library);

}  // namespace plat
