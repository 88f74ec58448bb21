// The client kit's own log: one process-wide file "VORNclient_<pid>.log" in
// the temporary directory, driven by the kit's trace flags. The top byte of
// the flags is the verbosity (1 fatal .. 5 debug), the low bits choose the
// categories that callers report. Nothing is logged while the flags are 0.
//
// Line format: "[" timestamp "TID=%04d SID=%08X] " tag ": " "#n " text "\n".
#pragma once

#include "platform/platform.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#if defined(__MINGW32__)
#define VC_PRINTF(fmt, first) __attribute__((format(gnu_printf, fmt, first)))
#else
#define VC_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

// Category bits of the trace flags.
enum : std::uint32_t {
    kTraceNetwork = 0x00000001u,     // every block the comms module moves
    kTraceRequests = 0x00000010u,    // failing requests
    kTraceHandles = 0x00000100u,     // invalid kit handles
};

class IVCLogger {
public:
    virtual ~IVCLogger() = default;
    virtual void Write(std::uint32_t level, const char* tag, std::uint32_t session, int number,
                       const char* text) = 0;
    virtual void SetLevel(std::uint32_t level) { level_.store(level, std::memory_order_relaxed); }
    virtual std::uint32_t GetLevel() const { return level_.load(std::memory_order_relaxed); }
    virtual void Fatal(const char* tag, std::uint32_t session, int number, const char* format, ...)
        VC_PRINTF(5, 6);
    virtual void Error(const char* tag, std::uint32_t session, int number, const char* format, ...)
        VC_PRINTF(5, 6);
    virtual void Warning(const char* tag, std::uint32_t session, int number, const char* format, ...)
        VC_PRINTF(5, 6);
    virtual void Info(const char* tag, std::uint32_t session, const char* format, ...) VC_PRINTF(4, 5);
    virtual void Debug(const char* tag, std::uint32_t session, const char* format, ...) VC_PRINTF(4, 5);

    // The verbosity: bits 24..31 of a level word read as a signed byte.
    static int Verbosity(std::uint32_t level) { return static_cast<signed char>(level >> 24); }

    // Shared body of the five: formats (at most 8191 characters) only when
    // the verbosity reaches `threshold`.
    void LogV(int threshold, const char* tag, std::uint32_t session, int number, const char* format,
              va_list args);

private:
    std::atomic<std::uint32_t> level_{0};
};

class VCFileLogger : public IVCLogger {
public:
    VCFileLogger();
    ~VCFileLogger() override;
    VCFileLogger(const VCFileLogger&) = delete;
    VCFileLogger& operator=(const VCFileLogger&) = delete;

    void Write(std::uint32_t level, const char* tag, std::uint32_t session, int number,
               const char* text) override;
    // Replaces the stream by `path` opened with the C-library `mode`; true
    // when a stream is open afterwards.
    bool Open(const char* path, const char* mode);
    void SetTimestamps(bool on) { timestamps_ = on; }

private:
    bool timestamps_ = true;
    std::FILE* stream_ = nullptr;
    plat::CriticalSection lock_;
};

// The process-wide logger: created on the first call with non-zero flags
// (truncating the file), reconfigured by later calls; flags 0 deletes it.
IVCLogger* AcquireKitLog(std::uint32_t flags);
void ReleaseKitLog();

// Takes the process-wide lock that guards creating and replacing the kit
// log, trying for at most `seconds`; false when it was not obtained.
bool TraceLock(unsigned seconds);
void TraceUnlock();

// The full path of this process's kit log file.
std::string KitLogPath();

// The kit's trace flags: one process-wide word, written by every start.
void SetKitTraceFlags(std::uint32_t flags);
std::uint32_t KitTraceFlags();

// The logger when the current flags have `category` set (creating it on
// first use), else null. Reports of failing requests (kTraceRequests) also
// need the platform's stack-walk support, which Windows builds check.
IVCLogger* KitLogFor(std::uint32_t category);

// One network-trace line: "%s Len=%03.3d " with "IN " or "OUT", then the
// bytes, printable ones as themselves ('%' doubled), runs of others as
// "<" hex ">". Stops growing beyond 32762 characters.
std::string FormatBlockDump(bool incoming, const unsigned char* bytes, std::size_t count);

// Writes the dump of one block to the kit log when network tracing is on.
void TraceBlock(bool incoming, std::uint32_t session, const unsigned char* bytes, std::size_t count);
