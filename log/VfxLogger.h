// The driver log: one process-wide text log, off by default, turned on by
// VSQL_LOGLEVEL / VSQL_LOGFILE at load and by the data source's LogLevel /
// LogFile keys at connect. A diagnostic aid only: nothing reads it back, and
// a log that cannot be opened never fails an ODBC call.
//
// Line format: "[" timestamp level-name "] " tag ": " #number text "\n".
#pragma once

#include "platform/platform.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#if defined(__MINGW32__)
#define VFX_PRINTF(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#else
#define VFX_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

class IVfxLogger {
public:
    enum { kOff = 0, kFatal = 1, kError = 2, kWarning = 3, kInfo = 4, kDebug = 5 };

    virtual ~IVfxLogger() = default;
    // One line; levels 1 to 5. Called by the five message operations only.
    virtual void Write(int level, const char* tag, int number, const char* text) = 0;
    // Stored unchanged; SetLogLevel is the checked way in.
    virtual void SetLevel(int level) { level_.store(level, std::memory_order_relaxed); }
    virtual int GetLevel() const { return level_.load(std::memory_order_relaxed); }
    virtual void Fatal(const char* tag, int number, const char* format, ...) VFX_PRINTF(4, 5);
    virtual void Error(const char* tag, int number, const char* format, ...) VFX_PRINTF(4, 5);
    virtual void Warning(const char* tag, int number, const char* format, ...) VFX_PRINTF(4, 5);
    virtual void Info(const char* tag, const char* format, ...) VFX_PRINTF(3, 4);
    virtual void Debug(const char* tag, const char* format, ...) VFX_PRINTF(3, 4);

    // The shared body of the five: formats only when the level lets the
    // message through (at most 8191 characters; longer texts are cut).
    void LogV(int level, const char* tag, int number, const char* format, va_list args);
    bool Enabled(int level) const { return GetLevel() >= level; }

private:
    // Read and written without a lock: a line racing a level change is
    // simply written or not.
    std::atomic<int> level_{0};
};

// Critical section with spin count 4000 and a held flag; the logger always
// waits for it.
class VfxMutex {
public:
    VfxMutex() : section_(4000) {}
    void Lock() {
        section_.enter();
        held_ = 1;
    }
    void Unlock() {
        held_ = 0;
        section_.leave();
    }
    int IsHeld() const { return held_; }

private:
    plat::CriticalSection section_;
    int held_ = 0;
};

class VfxFileLogger : public IVfxLogger {
public:
    VfxFileLogger();
    ~VfxFileLogger() override;
    VfxFileLogger(const VfxFileLogger&) = delete;
    VfxFileLogger& operator=(const VfxFileLogger&) = delete;

    void Write(int level, const char* tag, int number, const char* text) override;
    // Refused (false, nothing changes) at level 0. Otherwise replaces any open
    // stream by path opened with mode; true when a stream is now open.
    bool Open(const char* path, const char* mode);
    // Closes the stream (lines are dropped until the next Open).
    void Close();
    bool IsOpen() const { return stream_ != nullptr; }

    bool timestamps = true;

private:
    std::FILE* stream_ = nullptr;
    VfxMutex lock_;
};

// 1 to 5 are kept; every other value turns the log off.
void SetLogLevel(int level);

// The process-wide driver logger: built before the library entry runs,
// destroyed (closing its file) when the library unloads.
VfxFileLogger& driverLog();

// C-library decimal conversion of a configuration text (leading blanks and
// a sign allowed, stops at the first other character, no digits gives 0),
// applied with SetLogLevel. Used at load and at connect.
void applyLogLevelText(const char* text);
