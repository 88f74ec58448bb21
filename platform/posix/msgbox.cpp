// User-interface services without a window system.
#include "platform/msgbox.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

namespace plat {

int nativeMessageBox(const char* caption, const char* text, unsigned) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return 1;
}

bool escapeKeyPressed() { return false; }

std::string systemErrorText(long code) {
    if (code <= 0 || code > 4095) return std::string();
    char buf[256];
    buf[0] = '\0';
    // The GNU strerror_r may return a static text instead of filling buf.
    auto r = strerror_r(static_cast<int>(code), buf, sizeof buf);
    if constexpr (std::is_same<decltype(r), char*>::value) return r ? std::string(r) : std::string();
    else return r == 0 ? std::string(buf) : std::string();
}

std::string loadStringResource(void*, unsigned) { return std::string(); }
std::size_t fillerCount(void*, const char*, char) { return 0; }
bool showInWindow(void*, const char*) { return false; }

}  // namespace plat
