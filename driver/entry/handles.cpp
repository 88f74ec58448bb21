#include "driver/entry/handles.h"

#include "driver/entry/apicall.h"
#include "driver/stmt/resultset.h"
#include "log/VfxLogger.h"

#include <cstring>
#include <unordered_map>

namespace {
// Where a lock without a connection points its enabled flag: always 0.
std::uint32_t g_noConnection = 0;

// Live records by address, with their handle types. Built on first use so
// that the DLL's load order does not matter.
struct HandleRegistry {
    plat::SharedLock lock;
    std::unordered_map<const void*, SQLSMALLINT> live;
};
HandleRegistry& registry() {
    static HandleRegistry* r = new HandleRegistry;  // never destroyed: handles may outlive static destruction
    return *r;
}
}  // namespace

const char* const kExitWithReturnCode = "Exit with return code %d";

const ApiTexts& apiTexts(Api fn) {
    static const ApiTexts kTexts[] = {
#define API_TEXTS(name, entry, exit, wideExit) {#name, #name "W", entry, exit, wideExit},
#define API_TEXTS_AS(name, logName, entry, exit, wideExit) {logName, logName "W", entry, exit, wideExit},
#include "driver/entrytexts.def"
#undef API_TEXTS
#undef API_TEXTS_AS
    };
    return kTexts[static_cast<int>(fn)];
}

// ---------------------------------------------------------------------------
char* newText(const char* text, SQLLEN length) {
    if (!text) return nullptr;
    std::size_t n = length < 0 ? std::strlen(text) : std::size_t(length);
    char* copy = static_cast<char*>(plat::heapAlloc(n + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, n);
    return copy;
}

void freeText(char*& text) {
    if (text) plat::heapFree(text);
    text = nullptr;
}

bool registerHandle(const void* record, SQLSMALLINT handleType) {
    HandleRegistry& r = registry();
    r.lock.lock();
    bool added = false;
    try {
        r.live[record] = handleType;
        added = true;
    } catch (...) {
    }
    r.lock.unlock();
    return added;
}

void unregisterHandle(const void* record) {
    HandleRegistry& r = registry();
    r.lock.lock();
    r.live.erase(record);
    r.lock.unlock();
}

bool isLiveHandle(const void* record, SQLSMALLINT handleType) {
    if (!record) return false;
    HandleRegistry& r = registry();
    r.lock.lockShared();
    const auto it = r.live.find(record);
    const bool live = it != r.live.end() && it->second == handleType;
    r.lock.unlockShared();
    return live;
}

std::uint32_t odbcVersionOf(const Environment* env) { return env ? env->odbcVersion : SQL_OV_ODBC3; }
std::uint32_t odbcVersionOf(const Connection* conn) { return conn ? odbcVersionOf(conn->env) : SQL_OV_ODBC3; }
std::uint32_t odbcVersionOf(const Statement* stmt) { return stmt ? odbcVersionOf(stmt->conn) : SQL_OV_ODBC3; }
std::uint32_t odbcVersionOf(const Descriptor* desc) { return desc ? odbcVersionOf(desc->conn) : SQL_OV_ODBC3; }

// ---------------------------------------------------------------------------
// VSqlLock

VSqlLock::VSqlLock() : section(nullptr), enabled(&g_noConnection), held(0) {}

VSqlLock::VSqlLock(Connection* conn) : VSqlLock() { fromConnection(conn); }

VSqlLock::VSqlLock(Statement* stmt) : VSqlLock() {
    if (stmt) fromConnection(stmt->conn);
}

VSqlLock::VSqlLock(Descriptor* desc) : VSqlLock() {
    if (desc) fromConnection(desc->conn);
}

VSqlLock::VSqlLock(Environment*) : VSqlLock() {}

VSqlLock::~VSqlLock() { unlock(); }

void VSqlLock::fromConnection(Connection* conn) {
    if (conn) {
        section = &conn->lockSection;
        enabled = &conn->lockEnabled;
    }
}

bool VSqlLock::lock(bool wait, long limitMs) {
    if (*enabled == 0 || held == 1 || !section) return false;
    if (wait) {
        section->enter();
    } else {
        std::uint64_t start = plat::tickMs();
        while (!section->tryEnter()) {
            if (limitMs < 0 || plat::tickMs() - start >= std::uint64_t(limitMs)) return false;
            plat::sleepMs(1);
        }
    }
    held = 1;
    return true;
}

void VSqlLock::unlock() {
    if (held == 1 && *enabled != 0 && section) section->leave();
    held = 0;
}

// ---------------------------------------------------------------------------
// Descriptors

Descriptor* newDescriptor(Connection* conn, std::uint32_t kind, std::uint16_t allocType) {
    auto* desc = plat::heapNew<Descriptor>();
    if (!desc) return nullptr;
    if (!registerHandle(desc, SQL_HANDLE_DESC)) {
        plat::heapDelete(desc);
        return nullptr;
    }
    desc->conn = conn;
    desc->kind = kind;
    desc->allocType = allocType;
    if (kind == DESC_ARD || kind == DESC_APD) {
        desc->arraySize = 1;
        desc->bindType = SQL_BIND_BY_COLUMN;
    }
    return desc;
}

int setRecordCount(Descriptor* desc, int n) {
    if (!desc || n < 0 || n > 32767) return -1;
    try {
        // New records start from zeros, with the defaults of the kind.
        desc->records.resize(std::size_t(n));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (int i = desc->count; i < n; ++i) {
        DescriptorRecord& r = desc->records[std::size_t(i)];
        if (desc->kind == DESC_IPD) {
            r.parameterType = SQL_PARAM_INPUT;
        } else if (desc->kind == DESC_ARD || desc->kind == DESC_APD) {
            r.conciseType = SQL_C_DEFAULT;
            r.type = SQL_C_DEFAULT;
        }
    }
    desc->count = static_cast<std::int16_t>(n);
    return 0;
}

void emptyDescriptor(Descriptor* desc) {
    if (!desc) return;
    desc->records = std::vector<DescriptorRecord>();
    desc->count = 0;
}

void releaseDescriptor(Descriptor* desc) {
    if (!desc) return;
    unregisterHandle(desc);
    plat::heapDelete(desc);
}

SQLRETURN VsqlAllocDescriptor(Connection* conn, Descriptor** out) {
    driverLog().Debug("VsqlAllocDescriptor", "Enter");
    SQLRETURN rc = SQL_SUCCESS;
    Descriptor* desc = newDescriptor(conn, DESC_ARD, SQL_DESC_ALLOC_USER);
    if (desc) {
        try {
            conn->descriptors.emplace_back().reset(desc);
        } catch (const std::bad_alloc&) {
            releaseDescriptor(desc);
            desc = nullptr;
        }
    }
    if (!desc) {
        addOdbcError(conn, "HY001", "Memory allocation error");
        rc = SQL_ERROR;
    }
    if (out) *out = desc;
    driverLog().Debug("VSqlAllocDescriptor", kExitWithReturnCode, int(rc));
    return rc;
}

SQLRETURN VSqlFreeDescriptor(Descriptor* desc) {
    const char* tag = "VSqlFreeDescriptor";
    driverLog().Debug(tag, "Enter");
    Connection* conn = desc->conn;
    if (desc->allocType != SQL_DESC_ALLOC_USER || !conn) {
        // An implicit descriptor lives and dies with its statement.
        addOdbcError(desc, "HY017", nullptr);
        driverLog().Debug(tag, kExitWithReturnCode, SQL_ERROR);
        return SQL_ERROR;
    }
    for (const OwnedStatement& stmt : conn->statements) {
        if (stmt->apd == desc) stmt->apd = stmt->implicitApd;
        if (stmt->ard == desc) stmt->ard = stmt->implicitArd;
    }
    driverLog().Debug(tag, "size=%d", int(conn->descriptors.size()));
    for (std::size_t i = 0; i < conn->descriptors.size(); ++i) {
        driverLog().Debug(tag, "i=%d", int(i));
        if (conn->descriptors[i] == desc) {
            driverLog().Debug(tag, "Found the descriptor in the connection handle");
            conn->descriptors.erase(conn->descriptors.begin() + std::ptrdiff_t(i));  // releases it
            break;
        }
    }
    driverLog().Debug(tag, kExitWithReturnCode, SQL_SUCCESS);
    return SQL_SUCCESS;
}

// ---------------------------------------------------------------------------
// Statements

void releaseStatement(Statement* stmt) {
    unregisterHandle(stmt);
    plat::heapDelete(stmt);
}

SQLRETURN VSqlAllocStmt(Connection* conn, Statement** out) {
    const char* tag = "VSqlAllocStmt";
    driverLog().Debug(tag, "Enter");
    if (out) *out = nullptr;
    auto* stmt = plat::heapNew<Statement>();
    if (!stmt) return SQL_ERROR;
    if (!registerHandle(stmt, SQL_HANDLE_STMT)) {
        plat::heapDelete(stmt);
        return SQL_ERROR;
    }
    try {
        conn->statements.emplace_back().reset(stmt);
    } catch (const std::bad_alloc&) {
        releaseStatement(stmt);
        return SQL_ERROR;
    }
    stmt->conn = conn;
    stmt->ird.reset(newDescriptor(conn, DESC_IRD, SQL_DESC_ALLOC_AUTO));
    stmt->implicitArd.reset(newDescriptor(conn, DESC_ARD, SQL_DESC_ALLOC_AUTO));
    stmt->ipd.reset(newDescriptor(conn, DESC_IPD, SQL_DESC_ALLOC_AUTO));
    stmt->implicitApd.reset(newDescriptor(conn, DESC_APD, SQL_DESC_ALLOC_AUTO));
    stmt->ard = stmt->implicitArd;
    stmt->apd = stmt->implicitApd;
    stmt->blockSize = 10;
    stmt->blockMode = 1;
    stmt->cursorType = 0;
    stmt->noScan = 0;
    stmt->rowCount = -1;
    stmt->lastRowsetSize = 1;
    if (!stmt->ird || !stmt->implicitArd || !stmt->ipd || !stmt->implicitApd) {
        VSqlFreeStatement(stmt, SQL_DROP);
        addOdbcError(conn, "HY001", "Memory allocation error");
        return SQL_ERROR;
    }
    if (out) *out = stmt;
    driverLog().Debug(tag, "Exit");
    return SQL_SUCCESS;
}

SQLRETURN VSqlFreeStatement(Statement* stmt, SQLUSMALLINT option) {
    const char* tag = "VSqlFreeStatement";
    driverLog().Debug(tag, "Enter with option %d", int(option));
    if (option == SQL_CLOSE || option == SQL_DROP) {
        stmt->sqlText.clear();
        stmt->sentText.clear();
        freeResultSet(stmt->resultSet.release());  // logs its lines even with no result
        stmt->rowCount = -1;
        stmt->rowPosition = 0;
        stmt->blockNumber = 0;
        stmt->lastRowsetSize = 1;
    }
    if (option == SQL_DROP || option == SQL_UNBIND) emptyDescriptor(stmt->ard);
    if (option == SQL_DROP || option == SQL_RESET_PARAMS) emptyDescriptor(stmt->apd);
    if (option == SQL_DROP) {
        // The connection's entry owns the statement: removing it releases the
        // statement with everything it holds (an explicit descriptor set as
        // ard or apd belongs to the connection and stays).
        auto& list = stmt->conn->statements;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (*it == stmt) {
                list.erase(it);
                break;
            }
        }
    }
    driverLog().Debug(tag, kExitWithReturnCode, SQL_SUCCESS);
    return SQL_SUCCESS;
}

// ---------------------------------------------------------------------------
// Connections

SQLRETURN releaseConnection(Connection* conn) {
    unregisterHandle(conn);
    clearDiagArea(conn->diag);
    // The driver manager frees statements (or disconnects) first; whatever
    // is left would otherwise be lost.
    while (!conn->statements.empty()) VSqlFreeStatement(conn->statements.front(), SQL_DROP);
    // What the connection holds goes now: a section that another thread
    // still holds keeps the record from its destructor below.
    std::vector<OwnedDescriptor>().swap(conn->descriptors);
    std::vector<OwnedStatement>().swap(conn->statements);
    std::string().swap(conn->dbmsVersion);
    releaseDiagArea(conn->diag);

    bool sectionTaken = false;
    if (conn->lockEnabled == 1) {
        VSqlLock lock(conn);
        if (lock.lock(false, 10000)) {
            conn->lockEnabled = 0;
            conn->lockSection.leave();
            lock.abandon();
            sectionTaken = true;
        }
    }
    // A section that another thread still holds is not deleted under it.
    bool released = sectionTaken ? plat::heapDelete(conn) : plat::heapFree(conn);
    return released ? SQL_SUCCESS : SQL_ERROR;
}

// ---------------------------------------------------------------------------
// Exported functions

namespace {

SQLRETURN allocEnvironment(SQLHANDLE* output) {
    if (!output) return SQL_ERROR;
    auto* env = plat::heapNew<Environment>();
    if (env && !registerHandle(env, SQL_HANDLE_ENV)) {
        plat::heapDelete(env);
        env = nullptr;
    }
    *output = env;
    if (!env) return SQL_ERROR;
    env->odbcVersion = SQL_OV_ODBC3;
    return SQL_SUCCESS;
}

SQLRETURN allocConnection(Environment* env, SQLHANDLE* output) {
    if (!output) return SQL_ERROR;
    auto* conn = plat::heapNew<Connection>();
    if (conn && !registerHandle(conn, SQL_HANDLE_DBC)) {
        plat::heapDelete(conn);
        conn = nullptr;
    }
    *output = conn;
    if (!conn) return SQL_ERROR;
    conn->env = env;
    conn->lockEnabled = 1;
    return SQL_SUCCESS;
}

SQLRETURN releaseEnvironment(Environment* env) {
    unregisterHandle(env);
    return plat::heapDelete(env) ? SQL_SUCCESS : SQL_ERROR;
}

}  // namespace

VSQL_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle, SQLHANDLE* OutputHandle) {
    const int type = HandleType;
    switch (HandleType) {
    case SQL_HANDLE_DBC:
        return EnvCall(Api::SQLAllocHandle, InputHandle).enter(type).run([&](Environment* env) {
            return allocConnection(env, OutputHandle);
        });
    case SQL_HANDLE_STMT:
    case SQL_HANDLE_DESC:
        // Lists of the connection change: serialised with its other calls.
        return ConnCall(Api::SQLAllocHandle, InputHandle).enter(type).run([&](Connection* conn) -> SQLRETURN {
            if (!OutputHandle) return SQL_ERROR;
            if (HandleType == SQL_HANDLE_STMT) return VSqlAllocStmt(conn, reinterpret_cast<Statement**>(OutputHandle));
            return VsqlAllocDescriptor(conn, reinterpret_cast<Descriptor**>(OutputHandle));
        });
    default:
        return ApiFrame(Api::SQLAllocHandle).enter(type).run([&] {
            return HandleType == SQL_HANDLE_ENV ? allocEnvironment(OutputHandle) : SQL_ERROR;
        });
    }
}

VSQL_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    const int type = HandleType;
    switch (HandleType) {
    case SQL_HANDLE_ENV:
        return EnvCall(Api::SQLFreeHandle, Handle).enter(type).run(releaseEnvironment);
    case SQL_HANDLE_DBC:
        // The release takes the connection's section itself, and deletes it.
        return ConnCall(Api::SQLFreeHandle, Handle, Frame::NoLock).enter(type).run(releaseConnection);
    case SQL_HANDLE_STMT:
        return StmtCall(Api::SQLFreeHandle, Handle).enter(type).run([](Statement* stmt) {
            return VSqlFreeStatement(stmt, SQL_DROP);
        });
    case SQL_HANDLE_DESC:
        return DescCall(Api::SQLFreeHandle, Handle).enter(type).run(VSqlFreeDescriptor);
    default:
        return ApiFrame(Api::SQLFreeHandle).enter(type).run([] { return SQL_ERROR; });
    }
}

VSQL_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
    return StmtCall(Api::SQLFreeStmt, StatementHandle)
        .run([&](Statement* stmt) { return VSqlFreeStatement(stmt, Option); });
}
