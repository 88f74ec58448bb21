#include "server/Log.h"

#include <cstdarg>
#include <ctime>
#include <sys/time.h>

namespace vornd {

Log::~Log() {
    if (ownsFile_ && file_) std::fclose(file_);
}

bool Log::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path == "-") {
        file_ = stderr;
        ownsFile_ = false;
        return true;
    }
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) return false;
    file_ = f;
    ownsFile_ = true;
    return true;
}

void Log::write(unsigned long session, const char* format, ...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    std::tm tm;
    gmtime_r(&tv.tv_sec, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::fprintf(file_, "%s.%03dZ [%lu] ", stamp, static_cast<int>(tv.tv_usec / 1000), session);
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
    std::fputc('\n', file_);
    std::fflush(file_);
}

}  // namespace vornd
