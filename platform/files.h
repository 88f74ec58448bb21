// Files of the library itself: where a loaded library lies and copying one,
// for the driver's self-registration.
#pragma once

#include <string>

namespace plat {

// Separator between a directory and a file name.
#ifdef VORN_WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Full path of the loaded library whose file is `fileName`, or "" when no
// library of that name is loaded in the process.
std::string loadedModulePath(const char* fileName);

// Copies `source` to `target`, replacing a file already there. On failure
// returns false with the system's error code in errorCode.
bool copyFile(const char* source, const char* target, long& errorCode);

// True when both paths name the same directory text (case ignored where the
// file system ignores it).
bool sameDirectory(const std::string& a, const std::string& b);

}  // namespace plat
