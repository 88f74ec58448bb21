// Kernel basics on Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cctype>
#include <cstring>

namespace plat {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "section storage too small");
static CRITICAL_SECTION* cs(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

CriticalSection::CriticalSection(unsigned spinCount) { InitializeCriticalSectionAndSpinCount(cs(storage_), spinCount); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(cs(storage_)); }
void CriticalSection::enter() { EnterCriticalSection(cs(storage_)); }
bool CriticalSection::tryEnter() { return TryEnterCriticalSection(cs(storage_)) != FALSE; }
void CriticalSection::leave() { LeaveCriticalSection(cs(storage_)); }

static_assert(sizeof(SRWLOCK) <= 64, "shared lock storage too small");
static SRWLOCK* srw(unsigned char* storage) { return reinterpret_cast<SRWLOCK*>(storage); }
SharedLock::SharedLock() { InitializeSRWLock(srw(storage_)); }
SharedLock::~SharedLock() {}
void SharedLock::lockShared() { AcquireSRWLockShared(srw(storage_)); }
void SharedLock::unlockShared() { ReleaseSRWLockShared(srw(storage_)); }
void SharedLock::lock() { AcquireSRWLockExclusive(srw(storage_)); }
void SharedLock::unlock() { ReleaseSRWLockExclusive(srw(storage_)); }

void* heapAlloc(std::size_t bytes) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1); }
void* heapAllocRaw(std::size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes ? bytes : 1); }
void* heapRealloc(void* block, std::size_t bytes) {
    if (!block) return heapAlloc(bytes);
    return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, bytes ? bytes : 1);
}
bool heapFree(void* block) { return !block || HeapFree(GetProcessHeap(), 0, block) != FALSE; }

std::uint64_t tickMs() { return GetTickCount64(); }
bool localNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return localtime_s(&out, &now) == 0;
}
void sleepMs(unsigned ms) { Sleep(ms); }

unsigned long currentProcessId() { return GetCurrentProcessId(); }
unsigned long currentThreadId() { return GetCurrentThreadId(); }

bool getEnv(const char* name, std::string& value) {
    DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
    if (n == 0) return GetLastError() != ERROR_ENVVAR_NOT_FOUND && (value.clear(), true);
    std::string buf(n, '\0');
    DWORD got = GetEnvironmentVariableA(name, &buf[0], n);
    buf.resize(got);
    value = buf;
    return true;
}

std::string tempDirectory() {
    char buf[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buf, buf);
    if (n == 0 || n > MAX_PATH) return ".\\";
    std::string dir(buf, n);
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
}


static void* g_module = nullptr;
void setModuleHandle(void* module) { g_module = module; }
void* moduleHandle() { return g_module; }

std::string modulePath() {
    char buf[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(g_module), buf, sizeof buf);
    return n ? std::string(buf, n) : std::string();
}

// Code pages: UTF-8 <-> the process's ANSI code page, through UTF-16.
static std::string convert(UINT from, UINT to, const char* text, std::size_t bytes) {
    if (bytes == 0) return std::string();
    int wide = MultiByteToWideChar(from, 0, text, int(bytes), nullptr, 0);
    if (wide <= 0) return std::string(text, bytes);
    std::wstring w(std::size_t(wide), L'\0');
    MultiByteToWideChar(from, 0, text, int(bytes), &w[0], wide);
    const char* dflt = to == CP_UTF8 ? nullptr : "?";
    int n = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, dflt, nullptr);
    if (n <= 0) return std::string(text, bytes);
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, &out[0], n, dflt, nullptr);
    return out;
}

std::string utf8ToAnsi(const char* text, std::size_t bytes) { return convert(CP_UTF8, CP_ACP, text, bytes); }
std::string ansiToUtf8(const char* text, std::size_t bytes) { return convert(CP_ACP, CP_UTF8, text, bytes); }

bool ansiIsUtf8() { return GetACP() == CP_UTF8; }

bool internalIsUtf8() { return true; }
std::string utf8ToInternal(const char* text, std::size_t bytes) { return std::string(text, bytes); }
bool ansiBoundaryConverts() { return !ansiIsUtf8(); }
std::string internalToAnsi(const char* text, std::size_t bytes) { return utf8ToAnsi(text, bytes); }
std::string ansiToInternal(const char* text, std::size_t bytes) { return ansiToUtf8(text, bytes); }

}  // namespace plat
