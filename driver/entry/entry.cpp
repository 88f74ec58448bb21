// The library entry: record the module and apply the driver log's
// environment variables when the library is loaded into a process.
#include "driver/entry/odbc.h"
#include "log/VfxLogger.h"
#include "platform/platform.h"

#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

void onProcessAttach(void* module) {
    plat::setModuleHandle(module);
    std::string value;
    if (plat::getEnv("VSQL_LOGLEVEL", value)) applyLogLevelText(value.c_str());
    // Open refuses while the level is 0: VSQL_LOGFILE alone creates no file.
    if (plat::getEnv("VSQL_LOGFILE", value)) driverLog().Open(value.c_str(), "w");
}

}  // namespace

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) onProcessAttach(instance);
    return TRUE;
}

#else

// The shared object's counterpart of DllMain's process attach.
__attribute__((constructor)) static void vsqlLibraryLoad() {
    Dl_info info;
    void* module = nullptr;
    if (dladdr(reinterpret_cast<void*>(&vsqlLibraryLoad), &info)) module = info.dli_fbase;
    onProcessAttach(module);
}

#endif
