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

void* installerFunction(const char* name) {
    HMODULE library = installerLibrary();
    return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

}  // namespace inst
}  // namespace plat
