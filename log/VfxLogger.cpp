#include "log/VfxLogger.h"
#include "log/LogStamp.h"

#include <cstdlib>
#include <cstring>

namespace {
// Indexed by message level; each exactly seven characters.
const char* const kLevelNames[] = {"       ", "  FATAL", "  ERROR", "WARNING", "   INFO", "  DEBUG"};

constexpr std::size_t kMessageSize = 8192;
constexpr std::size_t kTagSize = 512;
}  // namespace

void IVfxLogger::LogV(int level, const char* tag, int number, const char* format, va_list args) {
    if (GetLevel() < level) return;
    char text[kMessageSize];
    int n = std::vsnprintf(text, sizeof text, format ? format : "", args);
    if (n < 0) text[0] = '\0';  // an encoding error leaves an empty message
    Write(level, tag, number, text);
}

#define VFX_FORWARD(level, number)          \
    va_list args;                           \
    va_start(args, format);                 \
    LogV(level, tag, number, format, args); \
    va_end(args)

void IVfxLogger::Fatal(const char* tag, int number, const char* format, ...) { VFX_FORWARD(kFatal, number); }
void IVfxLogger::Error(const char* tag, int number, const char* format, ...) { VFX_FORWARD(kError, number); }
void IVfxLogger::Warning(const char* tag, int number, const char* format, ...) { VFX_FORWARD(kWarning, number); }
void IVfxLogger::Info(const char* tag, const char* format, ...) { VFX_FORWARD(kInfo, 0); }
void IVfxLogger::Debug(const char* tag, const char* format, ...) { VFX_FORWARD(kDebug, 0); }

#undef VFX_FORWARD

VfxFileLogger::VfxFileLogger() = default;

VfxFileLogger::~VfxFileLogger() { Close(); }

void VfxFileLogger::Write(int level, const char* tag, int number, const char* text) {
    if (level < 0 || level > 5) level = 0;
    if (!text) text = "";
    lock_.Lock();
    if (!stream_) {
        lock_.Unlock();
        return;
    }
    char stamp[24] = "";
    if (timestamps) vornlog::localStamp(stamp);
    char tagField[kTagSize] = "";
    if (tag && *tag) std::snprintf(tagField, sizeof tagField, "%.509s: ", tag);
    char numberField[32] = "";
    if (number != 0 && level >= 1 && level <= 3) std::snprintf(numberField, sizeof numberField, "#%d ", number);
    const char* lineEnd = std::strchr(text, '\n') ? "" : "\n";
    std::fprintf(stream_, "[%s%s] %s%s%s%s", stamp, kLevelNames[level], tagField, numberField, text, lineEnd);
    std::fflush(stream_);
    lock_.Unlock();
}

bool VfxFileLogger::Open(const char* path, const char* mode) {
    if (GetLevel() == 0) return false;
    lock_.Lock();
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (path && mode) stream_ = std::fopen(path, mode);
    bool open = stream_ != nullptr;
    lock_.Unlock();
    return open;
}

void VfxFileLogger::Close() {
    lock_.Lock();
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    lock_.Unlock();
}

void SetLogLevel(int level) { driverLog().SetLevel(level >= 1 && level <= 5 ? level : 0); }

void applyLogLevelText(const char* text) {
    // atoi's rules, without its undefined behaviour on overflow.
    long value = text ? std::strtol(text, nullptr, 10) : 0;
    SetLogLevel(value >= 1 && value <= 5 ? int(value) : 0);
}

VfxFileLogger& driverLog() {
    static VfxFileLogger logger;
    return logger;
}

namespace {
// Built during the library's static initialisation, before the entry point.
struct BuildAtLoad {
    BuildAtLoad() { driverLog(); }
} const g_buildAtLoad;
}  // namespace
