// The four ODBC handle records and their lock. A handle that the application
// holds is the address of its record; records are zero-filled blocks of the
// process heap (plat::heapNew / plat::heapDelete) that own what they hold:
// texts, lists and the records they hand out are released by their
// destructors, in the reverse order of the fields.
#pragma once

#include "driver/entry/diag.h"
#include "driver/entry/odbc.h"
#include "platform/platform.h"
#include "vornvdb/vornkit.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

struct ResultSet;  // the stored result of an execution (driver/stmt/resultset.h)
struct AnswerParser;  // the answer documents' parser (driver/stmt/resultxml.h)
struct Environment;
struct Connection;
struct Statement;
struct Descriptor;

void freeResultSet(ResultSet* resultSet);
void freeAnswerParser(AnswerParser* parser);
void releaseDescriptor(Descriptor* desc);
void releaseStatement(Statement* stmt);

// A record field that owns what it points at: released with `release` when
// replaced or destroyed. It reads as the plain pointer it holds (the pointer
// is its only member, so the attribute tables may read it by offset), but is
// never assigned from one: ownership changes only through reset and release.
template <typename T, void (*Release)(T*)>
class Owned {
public:
    Owned() = default;
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : ptr_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    operator T*() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T* get() const { return ptr_; }
    // Takes p; the record held before is released.
    void reset(T* p = nullptr) {
        T* old = ptr_;
        ptr_ = p;
        if (old) Release(old);
    }
    // Gives up the record without releasing it.
    T* release() {
        T* p = ptr_;
        ptr_ = nullptr;
        return p;
    }

private:
    T* ptr_ = nullptr;
};

using OwnedDescriptor = Owned<Descriptor, releaseDescriptor>;
using OwnedStatement = Owned<Statement, releaseStatement>;
using OwnedResultSet = Owned<ResultSet, freeResultSet>;
using OwnedAnswerParser = Owned<AnswerParser, freeAnswerParser>;

// Connection::blockSize for every row in one answer (BlockSize=all).
constexpr std::uint32_t kAllRows = 0xFFFFFFFFu;

struct Environment {
    std::uint32_t odbcVersion;  // SQL_OV_ODBC3 at allocation; below 3 maps SQLSTATEs to ODBC 2
    DiagArea diag;
    ~Environment() { releaseDiagArea(diag); }
};

struct Connection {
    Environment* env;
    HVDB session;             // null when not connected
    HERRSTACK errStack;       // owned while a session is open: the kit's failure texts
    std::uint32_t linkLost;   // 1 once an exchange with the server failed; the session is then unusable
    std::string dbmsVersion;  // the server's version texts, fetched once; empty until then
    DiagArea diag;
    std::vector<OwnedDescriptor> descriptors;  // explicitly allocated, in allocation order
    std::vector<OwnedStatement> statements;    // in allocation order
    char dsn[65];
    char server[65];
    char service[34];         // of the open session, for the texts of a lost link
    char uid[256];
    char pwd[33];
    std::uint32_t cursorCounter;
    std::uint32_t accessMode;
    std::uintptr_t quietWindow;
    std::uint32_t loginTimeout;       // seconds for the start of a session; 0: connectionTimeout or 30
    std::uint32_t connectionTimeout;  // seconds for each wait for the server; 0: 30
    std::uint32_t blockSize;          // rows per "execsql" block (BlockSize); kAllRows: one answer; 0: 10
    std::uint32_t maxAnswerSize;      // largest answer accepted, bytes (MaxAnswerSize); 0: the kit's limit
    OwnedAnswerParser answerParser;   // made at the first answer, reset between documents
    plat::CriticalSection lockSection{4000};
    std::uint32_t lockEnabled;  // 1 from allocation until the connection is being freed
    ~Connection() { releaseDiagArea(diag); }
};

// Descriptor kinds.
enum : std::uint32_t { DESC_IRD = 1, DESC_IPD = 2, DESC_ARD = 3, DESC_APD = 4 };

// The ODBC record fields, in the alphabetical order of their field names.
struct DescriptorRecord {
    std::int32_t autoUniqueValue;
    std::string baseColumnName;
    std::string baseTableName;
    std::int32_t caseSensitive;
    std::string catalogName;
    std::int16_t conciseType;
    SQLPOINTER dataPtr;
    std::int16_t datetimeIntervalCode;
    std::int32_t datetimeIntervalPrecision;
    SQLLEN displaySize;
    std::int16_t fixedPrecScale;
    SQLLEN* indicatorPtr;
    std::string label;
    SQLULEN length;
    std::string literalPrefix;
    std::string literalSuffix;
    std::string localTypeName;
    std::string name;
    std::int16_t nullable;
    std::int32_t numPrecRadix;
    SQLLEN octetLength;
    SQLLEN* octetLengthPtr;
    std::int16_t parameterType;
    std::int16_t precision;
    std::int16_t rowver;
    std::int16_t scale;
    std::string schemaName;
    std::int16_t searchable;
    std::string tableName;
    std::int16_t type;
    std::string typeName;
    std::int16_t unnamed;
    std::int16_t isUnsigned;  // SQL_DESC_UNSIGNED
    std::int16_t updatable;
};

struct Descriptor {
    Connection* conn;
    std::uint32_t kind;        // DESC_IRD .. DESC_APD
    std::uint16_t allocType;   // SQL_DESC_ALLOC_AUTO or SQL_DESC_ALLOC_USER
    SQLULEN arraySize;
    SQLUSMALLINT* arrayStatusPtr;
    SQLLEN* bindOffsetPtr;
    std::uint32_t bindType;
    std::int16_t count;
    SQLULEN* rowsProcessedPtr;
    std::vector<DescriptorRecord> records;  // count long (record 1 is element 0)
    DiagArea diag;
    ~Descriptor() { releaseDiagArea(diag); }
    // Stored bytewise: some applications (R's RODBC) give the address of a
    // field that is only 4-byte aligned.
    void setRowsProcessed(SQLULEN n) const {
        if (rowsProcessedPtr) std::memcpy(rowsProcessedPtr, &n, sizeof n);
    }
};

struct Statement {
    Connection* conn;
    Descriptor* ard;  // implicitArd, or an explicit descriptor of the connection
    OwnedDescriptor ird;
    Descriptor* apd;  // implicitApd, or an explicit descriptor of the connection
    OwnedDescriptor ipd;
    OwnedDescriptor implicitArd;
    OwnedDescriptor implicitApd;
    std::string sqlText;      // empty when there is none
    std::string sentText;
    std::string preparedText; // kept across SQL_CLOSE for re-execution
    OwnedResultSet resultSet;
    std::string cursorName;   // empty until given or made
    SQLLEN rowCount;    // -1 when unknown
    std::int32_t rowPosition;
    std::uint8_t moreRows;
    std::uint8_t blockMode;
    std::uint32_t blockNumber;
    std::uint32_t blockSize;
    std::int32_t getDataColumn;
    SQLULEN getDataOffset;
    std::uint32_t lastRowsetSize;
    std::int32_t markerInObjectClause;
    std::uint32_t markerCount;
    std::uint32_t nextMarker;
    SQLPOINTER putDataValue;
    std::vector<unsigned char> putDataBuffer;  // the data put so far and a zero; empty when none
    SQLLEN putDataLength;          // -1 for a null value
    std::vector<std::size_t> markers;  // positions in sqlText
    SQLULEN paramRow;              // row of the parameter array being written, from 0
    SQLULEN paramRowsRun;          // rows of the array sent or refused so far (ignored ones not)
    SQLULEN paramRowsFailed;       // of those, the rows that failed
    SQLLEN paramRowCount;          // affected rows summed over the array; -1 while none reported
    std::uint32_t cursorType;
    std::uint32_t noScan;
    std::uint32_t queryTimeout;    // seconds for each exchange of the statement; 0: the connection's limit
    DiagArea diag;
    ~Statement() { releaseDiagArea(diag); }
};

// The number (from 1) of the first row a statement holds: rows come from the
// server in blocks of blockSize, and blockNumber is the last one asked for;
// without blocks the statement holds them all.
inline long long firstStoredRow(const Statement* stmt) {
    return stmt->blockMode ? (long long)stmt->blockSize * ((long long)stmt->blockNumber - 1) + 1 : 1;
}

// The attribute and descriptor tables address fields by offset.
static_assert(std::is_standard_layout<Connection>::value && std::is_standard_layout<Statement>::value &&
                  std::is_standard_layout<Descriptor>::value && std::is_standard_layout<DescriptorRecord>::value,
              "handle records are read by field offset");
static_assert(sizeof(OwnedDescriptor) == sizeof(Descriptor*) && std::is_standard_layout<OwnedDescriptor>::value,
              "an owned descriptor reads as the pointer it holds");

// ---------------------------------------------------------------------------
// Live handles. Every record handed to the application is registered from
// its allocation to its release, with its handle type; a handle that is not
// (freed, foreign, of another type) is refused before anything reads it.
// Readers share the registry's lock: no system call, no queue on the hot path.
bool registerHandle(const void* record, SQLSMALLINT handleType);  // false when the heap refuses
void unregisterHandle(const void* record);
bool isLiveHandle(const void* record, SQLSMALLINT handleType);

template <typename H> struct HandleTypeOf;
template <> struct HandleTypeOf<Environment> { static constexpr SQLSMALLINT value = SQL_HANDLE_ENV; };
template <> struct HandleTypeOf<Connection> { static constexpr SQLSMALLINT value = SQL_HANDLE_DBC; };
template <> struct HandleTypeOf<Statement> { static constexpr SQLSMALLINT value = SQL_HANDLE_STMT; };
template <> struct HandleTypeOf<Descriptor> { static constexpr SQLSMALLINT value = SQL_HANDLE_DESC; };

// The record behind an application's handle, or null when it is not a live
// handle of that type.
template <typename H>
H* liveHandle(SQLHANDLE handle) {
    return isLiveHandle(handle, HandleTypeOf<H>::value) ? static_cast<H*>(handle) : nullptr;
}

// ---------------------------------------------------------------------------
// The per-connection lock of every exported call. Built on the stack from the
// (live) handle the call received; a null handle, or one without a
// connection, gives a lock that does nothing.
class VSqlLock {
public:
    VSqlLock();  // no connection
    explicit VSqlLock(Connection* conn);
    explicit VSqlLock(Statement* stmt);
    explicit VSqlLock(Descriptor* desc);
    explicit VSqlLock(Environment*);  // environments are not locked
    virtual ~VSqlLock();
    VSqlLock(const VSqlLock&) = delete;
    VSqlLock& operator=(const VSqlLock&) = delete;

    // wait: block until entered. Otherwise try, sleeping 1 ms between tries,
    // for at most limitMs. False when disabled or already held by this object.
    bool lock(bool wait, long limitMs);
    void unlock();
    // Forgets that the section is held without leaving it; for the release
    // of a connection, which leaves and deletes the section itself.
    void abandon() { held = 0; }

    plat::CriticalSection* section;
    std::uint32_t* enabled;
    std::uint32_t held;

private:
    void fromConnection(Connection* conn);
};

// ---------------------------------------------------------------------------
// Allocation and release (the caller holds the connection's lock).
SQLRETURN VSqlAllocStmt(Connection* conn, Statement** out);
SQLRETURN VsqlAllocDescriptor(Connection* conn, Descriptor** out);
Descriptor* newDescriptor(Connection* conn, std::uint32_t kind, std::uint16_t allocType);
// Grows (new records get the defaults of the kind) or shrinks to n records.
// -1 when the heap refuses.
int setRecordCount(Descriptor* desc, int n);
// Releases every record; count 0.
void emptyDescriptor(Descriptor* desc);
SQLRETURN VSqlFreeStatement(Statement* stmt, SQLUSMALLINT option);
SQLRETURN VSqlFreeDescriptor(Descriptor* desc);
// Releases a connection record (descriptors, version texts, section).
SQLRETURN releaseConnection(Connection* conn);

// ODBC behaviour version a handle's diagnostics are added with.
std::uint32_t odbcVersionOf(const Environment* env);
std::uint32_t odbcVersionOf(const Connection* conn);
std::uint32_t odbcVersionOf(const Statement* stmt);
std::uint32_t odbcVersionOf(const Descriptor* desc);

// Adds a diagnostic to a handle with the version of its environment.
template <typename H>
void addOdbcError(H* handle, const char* sqlState, const char* message) {
    addOdbcError(odbcVersionOf(handle), handle->diag, sqlState, message);
}
template <typename H>
void addOdbcError(H* handle, const char* sqlState, const char* message, std::int32_t rowNumber,
                  std::int32_t columnNumber) {
    addOdbcError(odbcVersionOf(handle), handle->diag, sqlState, message, rowNumber, columnNumber);
}

// An input text from the application with its length (a count or SQL_NTS):
// the text's byte count, or -1 after recording HY009 for a null text or HY090
// for a negative length other than SQL_NTS.
template <typename H>
SQLLEN inputTextLength(H* handle, const SQLCHAR* text, SQLLEN length) {
    if (!text) {
        addOdbcError(handle, "HY009", "Invalid use of null pointer");
        return -1;
    }
    if (length == SQL_NTS) return SQLLEN(std::strlen(reinterpret_cast<const char*>(text)));
    if (length < 0) {
        addOdbcError(handle, "HY090", "Invalid string or buffer length");
        return -1;
    }
    return length;
}

// A C text that may be null, as a record's text field takes it.
inline const char* orEmpty(const char* text) { return text ? text : ""; }

// Heap copies of texts (the catalog functions' arguments). newText(text, -1)
// copies up to the NUL; null when text is null or the heap refuses.
char* newText(const char* text, SQLLEN length = -1);
// Releases *text (when set) and nulls it.
void freeText(char*& text);
