// The client kit's log; see VCLogger.h.
#include "log/VCLogger.h"
#include "log/LogStamp.h"

#include "platform/dynlib.h"

#include <cstring>

namespace {

constexpr std::size_t kMaxMessage = 8191;
constexpr std::size_t kMaxTag = 509;
constexpr std::size_t kMaxDump = 32762;

std::atomic<std::uint32_t> g_traceFlags{0};

// Created on first use and never destroyed: loggers may report while the
// process shuts down.
plat::CriticalSection& traceSection() {
    static auto* cs = new plat::CriticalSection();
    return *cs;
}

VCFileLogger* g_logger = nullptr;

// Request error reports need the stack-walk helpers on Windows; they are
// looked for once and the library kept.
bool requestReportsPossible() {
#if defined(_WIN32)
    static const bool ok = [] {
        void* lib = plat::loadLibrary("imagehlp.dll");
        if (!lib) return false;
        static const char* const names[] = {"SymCleanup",       "SymFunctionTableAccess", "SymGetLineFromAddr",
                                            "SymGetModuleBase", "SymGetModuleInfo",       "SymGetOptions",
                                            "SymGetSymFromAddr", "SymInitialize",         "SymSetOptions",
                                            "StackWalk",        "UnDecorateSymbolName",   "SymLoadModule"};
        for (const char* n : names)
            if (!plat::findSymbol(lib, n)) return false;
        return true;
    }();
    return ok;
#else
    return true;
#endif
}

}  // namespace

// ---------------------------------------------------------------------------

void IVCLogger::LogV(int threshold, const char* tag, std::uint32_t session, int number, const char* format,
                     va_list args) {
    std::uint32_t level = GetLevel();
    if (Verbosity(level) < threshold || !format) return;
    char text[kMaxMessage + 1];
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0) text[0] = '\0';
    Write(level, tag, session, number, text);
}

#define VC_FORWARD(threshold, number)                       \
    va_list args;                                           \
    va_start(args, format);                                 \
    LogV(threshold, tag, session, number, format, args);    \
    va_end(args)

void IVCLogger::Fatal(const char* tag, std::uint32_t session, int number, const char* format, ...) {
    VC_FORWARD(1, number);
}
void IVCLogger::Error(const char* tag, std::uint32_t session, int number, const char* format, ...) {
    VC_FORWARD(2, number);
}
void IVCLogger::Warning(const char* tag, std::uint32_t session, int number, const char* format, ...) {
    VC_FORWARD(3, number);
}
void IVCLogger::Info(const char* tag, std::uint32_t session, const char* format, ...) { VC_FORWARD(4, 0); }
void IVCLogger::Debug(const char* tag, std::uint32_t session, const char* format, ...) { VC_FORWARD(5, 0); }
#undef VC_FORWARD

// ---------------------------------------------------------------------------

VCFileLogger::VCFileLogger() = default;

VCFileLogger::~VCFileLogger() {
    if (stream_) std::fclose(stream_);
}

bool VCFileLogger::Open(const char* path, const char* mode) {
    plat::SectionGuard g(lock_);
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (path && mode) stream_ = std::fopen(path, mode);
    return stream_ != nullptr;
}

void VCFileLogger::Write(std::uint32_t level, const char* tag, std::uint32_t session, int number,
                         const char* text) {
    plat::SectionGuard g(lock_);
    if (!stream_) return;
    char stamp[24] = "";
    if (timestamps_) vornlog::localStamp(stamp);
    char numberField[16] = "";
    if (number != 0 && Verbosity(level) >= 4) std::snprintf(numberField, sizeof numberField, "#%d ", number);
    std::string tagField;
    if (tag && *tag) {
        tagField.assign(tag, strnlen(tag, kMaxTag));
        tagField += ": ";
    }
    std::fprintf(stream_, "[%sTID=%04lu SID=%08X] %s%s%s\n", stamp, plat::currentThreadId(),
                 static_cast<unsigned>(session), tagField.c_str(), numberField, text ? text : "");
    std::fflush(stream_);
}

// ---------------------------------------------------------------------------

bool TraceLock(unsigned seconds) {
    plat::CriticalSection& cs = traceSection();
    std::uint64_t start = plat::tickMs();
    while (!cs.tryEnter()) {
        if (plat::tickMs() - start >= std::uint64_t(seconds) * 1000u) return false;
        plat::sleepMs(5);
    }
    return true;
}

void TraceUnlock() { traceSection().leave(); }

std::string KitLogPath() {
    std::string dir = plat::tempDirectory();
    if (dir.empty() || dir.size() > 256) dir = "C:\\";
    char name[64];
    std::snprintf(name, sizeof name, "VORNclient_%d.log", static_cast<int>(plat::currentProcessId()));
    return dir + name;
}

IVCLogger* AcquireKitLog(std::uint32_t flags) {
    if (flags == 0) {
        ReleaseKitLog();
        return nullptr;
    }
    bool locked = TraceLock(2);
    if (g_logger) {
        g_logger->SetLevel(flags);
    } else {
        auto* logger = new (std::nothrow) VCFileLogger();
        if (logger) {
            g_logger = logger;
            logger->SetLevel(flags);
            logger->SetTimestamps(true);
            logger->Open(KitLogPath().c_str(), "w");
        }
    }
    IVCLogger* result = g_logger;
    if (locked) TraceUnlock();
    return result;
}

void ReleaseKitLog() {
    bool locked = TraceLock(2);
    delete g_logger;
    g_logger = nullptr;
    if (locked) TraceUnlock();
}

void SetKitTraceFlags(std::uint32_t flags) { g_traceFlags.store(flags, std::memory_order_relaxed); }
std::uint32_t KitTraceFlags() { return g_traceFlags.load(std::memory_order_relaxed); }

IVCLogger* KitLogFor(std::uint32_t category) {
    std::uint32_t flags = KitTraceFlags();
    if (!(flags & category)) return nullptr;
    if ((category & kTraceRequests) && !requestReportsPossible()) return nullptr;
    return AcquireKitLog(flags);
}

// ---------------------------------------------------------------------------

std::string FormatBlockDump(bool incoming, const unsigned char* bytes, std::size_t count) {
    char head[32];
    std::snprintf(head, sizeof head, "%s Len=%.3d ", incoming ? "IN " : "OUT", static_cast<int>(count));
    std::string line = head;
    static const char hex[] = "0123456789ABCDEF";
    bool inHex = false;
    for (std::size_t i = 0; i < count && line.size() <= kMaxDump; ++i) {
        unsigned char c = bytes[i];
        if (c >= 0x20 && c <= 0x7E) {
            if (inHex) line += '>';
            inHex = false;
            line += static_cast<char>(c);
            if (c == '%') line += '%';
        } else {
            if (!inHex) line += '<';
            inHex = true;
            line += hex[c >> 4];
            line += hex[c & 0x0F];
        }
    }
    if (inHex) line += '>';
    return line;
}

void TraceBlock(bool incoming, std::uint32_t session, const unsigned char* bytes, std::size_t count) {
    IVCLogger* log = KitLogFor(kTraceNetwork);
    if (!log || IVCLogger::Verbosity(log->GetLevel()) < 5) return;
    std::string line = FormatBlockDump(incoming, bytes, count);
    // The dump is the format itself: its doubled percent signs print once.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    log->Debug("WSA11", session, line.c_str());
#pragma GCC diagnostic pop
}
