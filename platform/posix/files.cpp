#include "platform/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace plat {

std::string loadedModulePath(const char* fileName) {
    void* lib = dlopen(fileName, RTLD_LAZY | RTLD_NOLOAD);
    if (!lib) return std::string();
    std::string path;
    link_map* map = nullptr;
    if (dlinfo(lib, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) path = map->l_name;
    dlclose(lib);
    return path;
}

namespace {

bool copyContents(int in, int out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf + done, std::size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

bool copyFile(const char* source, const char* target, long& errorCode) {
    int in = open(source, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        errorCode = errno;
        return false;
    }
    // Written beside the target and renamed over it: a process that has the
    // old file mapped keeps its copy intact.
    std::string temp = std::string(target) + ".tmp" + std::to_string(getpid());
    int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    bool ok = out >= 0 && copyContents(in, out);
    int err = errno;
    if (out >= 0 && close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    close(in);
    if (ok && rename(temp.c_str(), target) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        if (out >= 0) unlink(temp.c_str());
        errorCode = err;
    }
    return ok;
}

bool sameDirectory(const std::string& a, const std::string& b) { return a == b; }

}  // namespace plat
