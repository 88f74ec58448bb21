// Finds unixODBC's installer library by its versioned file name: the
// unversioned libodbcinst.so exists only where the development package is
// installed.
#include "platform/installer.h"

#include <dlfcn.h>

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

void* installerFunction(const char* name) {
    void* library = installerLibrary();
    return library ? dlsym(library, name) : nullptr;
}

}  // namespace inst
}  // namespace plat
