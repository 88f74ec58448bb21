// The small layer over the operating-system services that the driver and the
// client kit use. One interface, two implementations chosen at build time:
// platform/win32 (the real Windows services) and platform/posix (Linux).
//
// Each service family has its own header here; this one holds the kernel
// basics every subsystem needs. Later families (sockets, registry, dynamic
// libraries, message boxes, dialogs, installer library) follow the same
// shape: a header in platform/, one source in each implementation folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <new>
#include <string>

namespace plat {

// ---------------------------------------------------------------------------
// Critical section: re-entrant for the owning thread (as Win32 sections are),
// with a spin count and a non-blocking try-enter.
class CriticalSection {
public:
    explicit CriticalSection(unsigned spinCount = 0);
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    bool tryEnter();
    void leave();

private:
    alignas(std::max_align_t) unsigned char storage_[64];
};

// Holds a section for the lifetime of a scope.
class SectionGuard {
public:
    explicit SectionGuard(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~SectionGuard() { cs_.leave(); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    CriticalSection& cs_;
};

// Reader-writer lock: readers share it, a writer holds it alone. Not
// re-entrant. Readers of a rarely written table pass without queueing.
class SharedLock {
public:
    SharedLock();
    ~SharedLock();
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

    void lockShared();
    void unlockShared();
    void lock();
    void unlock();

private:
    alignas(std::max_align_t) unsigned char storage_[64];
};

// ---------------------------------------------------------------------------
// Process heap: zero-filled blocks. heapAlloc returns null when the heap
// refuses; heapFree returns false when the release fails.
void* heapAlloc(std::size_t bytes);
// The same without the zero fill, for a block its caller writes whole at
// once (a received frame, a copy): filling kilobytes per answer showed.
void* heapAllocRaw(std::size_t bytes);
// Grows or shrinks a heapAlloc block; bytes added at the end are zero-filled.
// Returns null (and leaves the old block intact) when the heap refuses.
void* heapRealloc(void* block, std::size_t bytes);
bool heapFree(void* block);

// Allocates a zero-filled T from the process heap and constructs it in place;
// heapDelete destroys and releases it. T must tolerate starting from zeros.
template <typename T>
T* heapNew() {
    void* p = heapAlloc(sizeof(T));
    return p ? new (p) T() : nullptr;
}
template <typename T>
bool heapDelete(T* p) {
    if (!p) return true;
    p->~T();
    return heapFree(p);
}

// ---------------------------------------------------------------------------
// Time.
std::uint64_t tickMs();     // monotonic milliseconds since an arbitrary start
// The local calendar time now, thread-safe (no shared static buffer); false
// when the system cannot tell.
bool localNow(std::tm& out);
void sleepMs(unsigned ms);

// ---------------------------------------------------------------------------
// Process facts.
unsigned long currentProcessId();
unsigned long currentThreadId();

// Environment variable; false when it is not set.
bool getEnv(const char* name, std::string& value);

// Directory for temporary files, with a trailing separator.
std::string tempDirectory();

// ---------------------------------------------------------------------------
// The library's own module (the DLL instance on Windows, the shared object on
// Linux): recorded by the library entry, read by dialogs and setup.
void setModuleHandle(void* module);
void* moduleHandle();
// Full path of the library file, or "" when unknown.
std::string modulePath();

// ---------------------------------------------------------------------------
// Code pages. The driver's texts are single-byte strings in the process's
// code page: the ANSI code page on Windows. On Linux the driver's code page is
// UTF-8 (the identity), unless the environment variable VSQL_CHARSET names a
// single-byte character set, which iconv then serves.
//
// Characters that the target cannot represent become '?'.
std::string utf8ToAnsi(const char* text, std::size_t bytes);
std::string ansiToUtf8(const char* text, std::size_t bytes);
// True when the driver's code page is UTF-8 (the two functions above are the
// identity).
bool ansiIsUtf8();

// The driver's internal texts (statement texts, stored values, names):
// UTF-8 on Windows, where the ANSI entry points convert between them and the
// ANSI code page, so that the wide entry points lose nothing; on Linux the
// driver's code page above, which the ANSI entry points share with the
// application. Setup texts (data-source keys, connection strings, the
// dialog) stay in the ANSI code page.
bool internalIsUtf8();
std::string utf8ToInternal(const char* text, std::size_t bytes);
// Whether the ANSI entry points convert (false on Linux, and on Windows when
// the ANSI code page is UTF-8), and the two directions.
bool ansiBoundaryConverts();
std::string internalToAnsi(const char* text, std::size_t bytes);
std::string ansiToInternal(const char* text, std::size_t bytes);
// UTF-16 conversions, for wide kit strings and Win32 calls.
std::u16string utf8ToUtf16(const char* text, std::size_t bytes);
std::string utf16ToUtf8(const char16_t* text, std::size_t units);

}  // namespace plat
