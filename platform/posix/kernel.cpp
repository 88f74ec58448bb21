// Kernel basics on POSIX systems.
#include "platform/platform.h"

#include <dlfcn.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>

namespace plat {

// ---------------------------------------------------------------------------
// Critical section: a recursive pthread mutex. The spin count only matters on
// Windows; futex-based mutexes already spin briefly.
namespace {
struct SectionImpl {
    pthread_mutex_t mutex;
};
static_assert(sizeof(SectionImpl) <= 64, "section storage too small");
SectionImpl& impl(unsigned char* storage) { return *reinterpret_cast<SectionImpl*>(storage); }
}  // namespace

CriticalSection::CriticalSection(unsigned) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&impl(storage_).mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}
CriticalSection::~CriticalSection() { pthread_mutex_destroy(&impl(storage_).mutex); }
void CriticalSection::enter() { pthread_mutex_lock(&impl(storage_).mutex); }
bool CriticalSection::tryEnter() { return pthread_mutex_trylock(&impl(storage_).mutex) == 0; }
void CriticalSection::leave() { pthread_mutex_unlock(&impl(storage_).mutex); }

static_assert(sizeof(pthread_rwlock_t) <= 64, "shared lock storage too small");
static pthread_rwlock_t* rw(unsigned char* storage) { return reinterpret_cast<pthread_rwlock_t*>(storage); }
SharedLock::SharedLock() { pthread_rwlock_init(rw(storage_), nullptr); }
SharedLock::~SharedLock() { pthread_rwlock_destroy(rw(storage_)); }
void SharedLock::lockShared() { pthread_rwlock_rdlock(rw(storage_)); }
void SharedLock::unlockShared() { pthread_rwlock_unlock(rw(storage_)); }
void SharedLock::lock() { pthread_rwlock_wrlock(rw(storage_)); }
void SharedLock::unlock() { pthread_rwlock_unlock(rw(storage_)); }

// ---------------------------------------------------------------------------
// Heap: calloc/realloc; the block's size is kept in a header so that a
// reallocation can zero the bytes it adds, as HEAP_ZERO_MEMORY does.
namespace {
struct alignas(std::max_align_t) BlockHeader {
    std::size_t bytes;
};
}  // namespace

void* heapAlloc(std::size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* h = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
    if (!h) return nullptr;
    h->bytes = bytes;
    return h + 1;
}

void* heapAllocRaw(std::size_t bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (!h) return nullptr;
    h->bytes = bytes;
    return h + 1;
}

void* heapRealloc(void* block, std::size_t bytes) {
    if (!block) return heapAlloc(bytes);
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* old = static_cast<BlockHeader*>(block) - 1;
    std::size_t oldBytes = old->bytes;
    auto* h = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + bytes));
    if (!h) return nullptr;
    if (bytes > oldBytes) std::memset(reinterpret_cast<char*>(h + 1) + oldBytes, 0, bytes - oldBytes);
    h->bytes = bytes;
    return h + 1;
}

bool heapFree(void* block) {
    if (block) std::free(static_cast<BlockHeader*>(block) - 1);
    return true;
}

// ---------------------------------------------------------------------------
bool localNow(std::tm& out) {
    const std::time_t now = std::time(nullptr);
    return localtime_r(&now, &out) != nullptr;
}

std::uint64_t tickMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
}

void sleepMs(unsigned ms) {
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

unsigned long currentProcessId() { return static_cast<unsigned long>(getpid()); }
unsigned long currentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

bool getEnv(const char* name, std::string& value) {
    const char* v = std::getenv(name);
    if (!v) return false;
    value = v;
    return true;
}

std::string tempDirectory() {
    std::string dir;
    if (!getEnv("TMPDIR", dir) || dir.empty()) dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

// ---------------------------------------------------------------------------
namespace {
void* g_module = nullptr;
}
void setModuleHandle(void* module) { g_module = module; }
void* moduleHandle() { return g_module; }

std::string modulePath() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) && info.dli_fname) return info.dli_fname;
    return "";
}

// ---------------------------------------------------------------------------
// Code pages.
namespace {
// The configured single-byte character set, or "" for UTF-8.
const std::string& configuredCharset() {
    static const std::string cs = [] {
        std::string v;
        if (!getEnv("VSQL_CHARSET", v)) return std::string();
        for (auto& ch : v) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        if (v == "UTF-8" || v == "UTF8") return std::string();
        return v;
    }();
    return cs;
}

std::string iconvConvert(const char* to, const char* from, const char* text, std::size_t bytes,
                         std::size_t unitBytes) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text, bytes);
    out.resize(bytes * 4 + 8);
    char* in = const_cast<char*>(text);
    std::size_t inLeft = bytes;
    char* o = &out[0];
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &o, &outLeft) != std::size_t(-1)) break;
        if (errno == E2BIG) {
            std::size_t used = std::size_t(o - &out[0]);
            out.resize(out.size() * 2);
            o = &out[0] + used;
            outLeft = out.size() - used;
            continue;
        }
        // Unconvertible or invalid input: emit '?' and skip one unit.
        if (outLeft == 0) continue;
        *o++ = '?';
        --outLeft;
        std::size_t skip = inLeft < unitBytes ? inLeft : unitBytes;
        in += skip;
        inLeft -= skip;
    }
    out.resize(std::size_t(o - &out[0]));
    iconv_close(cd);
    return out;
}
}  // namespace

std::string utf8ToAnsi(const char* text, std::size_t bytes) {
    const std::string& cs = configuredCharset();
    if (cs.empty()) return std::string(text, bytes);
    return iconvConvert(cs.c_str(), "UTF-8", text, bytes, 1);
}

std::string ansiToUtf8(const char* text, std::size_t bytes) {
    const std::string& cs = configuredCharset();
    if (cs.empty()) return std::string(text, bytes);
    return iconvConvert("UTF-8", cs.c_str(), text, bytes, 1);
}

bool ansiIsUtf8() { return configuredCharset().empty(); }

bool internalIsUtf8() { return ansiIsUtf8(); }
std::string utf8ToInternal(const char* text, std::size_t bytes) { return utf8ToAnsi(text, bytes); }
bool ansiBoundaryConverts() { return false; }
std::string internalToAnsi(const char* text, std::size_t bytes) { return std::string(text, bytes); }
std::string ansiToInternal(const char* text, std::size_t bytes) { return std::string(text, bytes); }

}  // namespace plat
