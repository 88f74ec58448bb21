#include "driver/entry/diag.h"

#include "driver/entry/apicall.h"
#include "driver/entry/handles.h"
#include "driver/convert/widetext.h"
#include "log/VfxLogger.h"
#include "util/Utf16.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

struct StateText {
    const char* state;
    const char* text;
};

// Standard texts, used when a caller gives no message.
const StateText SQLSTATE_TEXTS[] = {
    {"01004", "String data, right-truncated"},
    {"01S02", "Option value changed"},
    {"07002", "COUNT field incorrect"},
    {"07006", "Restricted data type attribute validation"},
    {"07009", "Invalid descriptor index"},
    {"08001", "Client unable to establish connection"},
    {"22002", "Indicator variable required but not supplied"},
    {"24000", "Invalid cursor state"},
    {"34000", "Invalid cursor name"},
    {"HY000", "General error"},
    {"HY001", "Memory allocation error"},
    {"HY003", "Invalid application buffer type"},
    {"HY007", "Associated statement is not prepared"},
    {"HY009", "Invalid use of null pointer"},
    {"HY016", "Cannot modify an implementation row descriptor"},
    {"HY017", "Invalid use of an automatically allocated descriptor handle"},
    {"HY019", "Non-character and non-binary data sent in pieces"},
    {"HY020", "Attempt to concatenate a null value"},
    {"HY090", "Invalid string or buffer length"},
    {"HY091", "Invalid descriptor field identifier"},
    {"HY092", "Invalid attribute/option identifier"},
    {"HY106", "Fetch type out of range"},
    {"HY109", "Invalid cursor position"},
    {"HYC00", "Optional feature not implemented"},
};

// ODBC 3 state -> ODBC 2 state. Looked up by the first column, first match
// wins, so the later rows of a repeated state (07009 S1093, HY092 S1092)
// are never chosen; they are kept so the table reads as the full mapping.
const StateText ODBC2_STATES[] = {
    {"01001", "01S03"}, {"01001", "01S04"}, {"07005", "24000"}, {"07009", "S1002"}, {"07009", "S1093"},
    {"22007", "22008"}, {"22018", "22005"}, {"42000", "37000"}, {"42S01", "S0001"}, {"42S02", "S0002"},
    {"42S11", "S0011"}, {"42S12", "S0012"}, {"42S21", "S0021"}, {"42S22", "S0022"}, {"42S23", "S0023"},
    {"HY000", "S1000"}, {"HY001", "S1001"}, {"HY003", "S1003"}, {"HY004", "S1004"}, {"HY007", "S1010"},
    {"HY008", "S1008"}, {"HY009", "S1009"}, {"HY010", "S1010"}, {"HY011", "S1011"}, {"HY012", "S1012"},
    {"HY018", "70100"}, {"HY019", "22003"}, {"HY024", "S1009"}, {"HY090", "S1090"}, {"HY091", "S1091"},
    {"HY092", "S1009"}, {"HY092", "S1092"}, {"HY096", "S1096"}, {"HY097", "S1097"}, {"HY098", "S1098"},
    {"HY099", "S1099"}, {"HY100", "S1100"}, {"HY101", "S1101"}, {"HY103", "S1103"}, {"HY104", "S1104"},
    {"HY105", "S1105"}, {"HY106", "S1106"}, {"HY107", "S1107"}, {"HY108", "S1108"}, {"HY109", "S1109"},
    {"HY110", "S1110"}, {"HY111", "S1111"}, {"HYC00", "S1C00"}, {"HYT00", "S1T00"},
};

bool sameState(const char* a, const char* b) {
    for (int i = 0;; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = char(y - 'a' + 'A');
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

template <std::size_t N>
const char* lookup(const StateText (&table)[N], const char* state) {
    if (!state) return nullptr;
    for (const StateText& row : table)
        if (sameState(row.state, state)) return row.text;
    return nullptr;
}

}  // namespace

const char* standardSqlStateText(const char* sqlState) { return lookup(SQLSTATE_TEXTS, sqlState); }
const char* odbc2SqlState(const char* sqlState) { return lookup(ODBC2_STATES, sqlState); }

void addOdbcError(std::uint32_t odbcVersion, DiagArea& area, const char* sqlState, const char* message) {
    addOdbcError(odbcVersion, area, sqlState, message, SQL_NO_ROW_NUMBER, SQL_NO_COLUMN_NUMBER);
}

void addOdbcError(std::uint32_t odbcVersion, DiagArea& area, const char* sqlState, const char* message,
                  std::int32_t rowNumber, std::int32_t columnNumber) {
    if (!sqlState) sqlState = "HY000";
    driverLog().Debug("addOdbcError", "Adding error %s with message %s", sqlState, message ? message : "(null)");
    const char* text = (message && *message) ? message : standardSqlStateText(sqlState);
    auto* record = static_cast<DiagRecord*>(plat::heapAlloc(sizeof(DiagRecord)));
    if (!record) return;  // heap exhausted: the record is skipped
    const char* state = sqlState;
    if (odbcVersion < SQL_OV_ODBC3) {
        if (const char* odbc2 = odbc2SqlState(sqlState)) state = odbc2;
    }
    std::snprintf(record->sqlState, sizeof record->sqlState, "%.5s", state);
    // Cut between whole characters when the text is UTF-8.
    if (!text) text = "";
    const std::size_t room = sizeof record->message - sizeof VSQL_MESSAGE_PREFIX;
    const std::size_t length = std::strlen(text);
    const std::size_t kept = plat::internalIsUtf8() ? utf8FitBytes(text, length, room) : std::min(length, room);
    std::snprintf(record->message, sizeof record->message, "%s%.*s", VSQL_MESSAGE_PREFIX, int(kept), text);
    record->nativeError = 0;
    record->rowNumber = rowNumber;
    record->columnNumber = columnNumber;
    if (!area.records.append(record)) {
        plat::heapFree(record);
        return;
    }
    ++area.count;
}

void setLastDiagPosition(DiagArea& area, std::int32_t rowNumber, std::int32_t columnNumber) {
    auto* last = area.records.at<DiagRecord>(area.records.getCount() - 1);
    if (!last) return;
    last->rowNumber = rowNumber;
    last->columnNumber = columnNumber;
}

void clearDiagArea(DiagArea& area) {
    for (std::int32_t i = 0; i < area.records.getCount(); ++i) plat::heapFree(area.records.getAt(i));
    area.records.count = 0;
    area.count = 0;
}

void releaseDiagArea(DiagArea& area) {
    clearDiagArea(area);
    area.records.release();
    area.records.init();
}

const DiagRecord* diagRecordAt(const DiagArea& area, SQLSMALLINT recNumber) {
    return area.records.at<DiagRecord>(recNumber - 1);
}

namespace {
thread_local bool t_textCut = false;
}

void noteTextCut() { t_textCut = true; }

bool takeTextCut() {
    const bool cut = t_textCut;
    t_textCut = false;
    return cut;
}

void addTruncationWarning(std::uint32_t odbcVersion, DiagArea& area) {
    for (std::int32_t i = 0; i < area.records.getCount(); ++i)
        if (sameState(area.records.at<DiagRecord>(i)->sqlState, "01004")) return;
    addOdbcError(odbcVersion, area, "01004", "String data, right truncated");
}

template <typename Len>
SQLRETURN copyOutText(void* buffer, Len bufferLength, Len* lengthPtr, const char* text) {
    if (!text) text = "";
    std::string held;
    text = ansiOut(text, held);
    const std::size_t full = std::strlen(text);
    constexpr std::size_t kLongest = std::size_t(std::numeric_limits<Len>::max());
    if (lengthPtr) *lengthPtr = full > kLongest ? Len(kLongest) : Len(full);
    if (buffer && bufferLength > 0) {
        const std::size_t n = full < std::size_t(bufferLength) ? full : std::size_t(bufferLength) - 1;
        std::memcpy(buffer, text, n);
        static_cast<char*>(buffer)[n] = '\0';
    }
    return full < std::size_t(bufferLength < 0 ? 0 : bufferLength) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}
template SQLRETURN copyOutText<SQLSMALLINT>(void*, SQLSMALLINT, SQLSMALLINT*, const char*);
template SQLRETURN copyOutText<SQLINTEGER>(void*, SQLINTEGER, SQLINTEGER*, const char*);

SQLRETURN copyOutString(SQLCHAR* buffer, SQLSMALLINT bufferLength, SQLSMALLINT* lengthPtr, const char* text) {
    const SQLRETURN rc = copyOutText(buffer, bufferLength, lengthPtr, text);
    if (rc == SQL_SUCCESS_WITH_INFO) noteTextCut();
    return rc;
}

// ---------------------------------------------------------------------------
// Reading diagnostics. Neither function takes the connection's lock nor
// clears anything: the records belong to the call before.

namespace {

// The area of a handle by its type, or null for another type or a handle
// that is not live.
DiagArea* areaOf(SQLSMALLINT handleType, SQLHANDLE handle) {
    if (!isLiveHandle(handle, handleType)) return nullptr;
    switch (handleType) {
    case SQL_HANDLE_ENV: return &static_cast<Environment*>(handle)->diag;
    case SQL_HANDLE_DBC: return &static_cast<Connection*>(handle)->diag;
    case SQL_HANDLE_STMT: return &static_cast<Statement*>(handle)->diag;
    case SQL_HANDLE_DESC: return &static_cast<Descriptor*>(handle)->diag;
    default: return nullptr;
    }
}

bool knownHandleType(SQLSMALLINT handleType) { return handleType >= SQL_HANDLE_ENV && handleType <= SQL_HANDLE_DESC; }

// The connection whose dsn and server a record field reports, or null.
const Connection* connectionOf(SQLSMALLINT handleType, SQLHANDLE handle) {
    if (handleType == SQL_HANDLE_DBC) return static_cast<Connection*>(handle);
    if (handleType == SQL_HANDLE_STMT) return static_cast<Statement*>(handle)->conn;
    return nullptr;
}

void putInteger(SQLPOINTER target, SQLINTEGER value) {
    if (target) std::memcpy(target, &value, sizeof value);  // the application's buffer may be unaligned
}

}  // namespace

SQLRETURN VSqlGetDiagRec(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT recNumber, SQLCHAR* sqlState,
                     SQLINTEGER* nativeError, SQLCHAR* messageText, SQLSMALLINT bufferLength,
                     SQLSMALLINT* textLength) {
    if (knownHandleType(handleType) && !isLiveHandle(handle, handleType)) return SQL_INVALID_HANDLE;
    DiagArea* area = areaOf(handleType, handle);
    if (!area) return SQL_NO_DATA;
    driverLog().Debug("SQLGetDiagRec", "Number of errors %d", int(area->records.getCount()));
    if (recNumber < 1) return SQL_ERROR;
    const DiagRecord* record = diagRecordAt(*area, recNumber);
    if (!record) return SQL_NO_DATA;
    if (sqlState) std::snprintf(reinterpret_cast<char*>(sqlState), 6, "%.5s", record->sqlState);
    if (nativeError) *nativeError = record->nativeError;
    return copyOutString(messageText, bufferLength, textLength, record->message);
}

SQLRETURN VSqlGetDiagField(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT recNumber, SQLSMALLINT identifier,
                       SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT* stringLength) {
    DiagArea* area = areaOf(handleType, handle);
    if (!area) return SQL_INVALID_HANDLE;

    // Header fields.
    switch (identifier) {
    case SQL_DIAG_RETURNCODE:
        return SQL_SUCCESS;
    case SQL_DIAG_NUMBER:
        putInteger(info, SQLINTEGER(area->count));
        return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
    case SQL_DIAG_CURSOR_ROW_COUNT:
        return handleType == SQL_HANDLE_STMT ? SQL_SUCCESS : SQL_ERROR;
    default:
        break;
    }

    // Record fields.
    if (recNumber < 1) return SQL_ERROR;
    const DiagRecord* record = diagRecordAt(*area, recNumber);
    if (!record) return SQL_NO_DATA;
    const Connection* conn = connectionOf(handleType, handle);
    switch (identifier) {
    case SQL_DIAG_SQLSTATE:
        return copyOutString(info, bufferLength, stringLength, record->sqlState);
    case SQL_DIAG_NATIVE:
        putInteger(info, record->nativeError);
        return SQL_SUCCESS;
    case SQL_DIAG_MESSAGE_TEXT:
        return copyOutString(info, bufferLength, stringLength, record->message);
    case SQL_DIAG_CLASS_ORIGIN:
        return copyOutString(info, bufferLength, stringLength,
                             std::strncmp(record->sqlState, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_SUBCLASS_ORIGIN:
        return copyOutString(info, bufferLength, stringLength, "");
    case SQL_DIAG_CONNECTION_NAME:
        return copyOutString(info, bufferLength, stringLength, setupToInternal(conn ? conn->dsn : "").c_str());
    case SQL_DIAG_SERVER_NAME:
        return copyOutString(info, bufferLength, stringLength, setupToInternal(conn ? conn->server : "").c_str());
    case SQL_DIAG_ROW_NUMBER:
    case SQL_DIAG_COLUMN_NUMBER:
        putInteger(info, identifier == SQL_DIAG_ROW_NUMBER ? record->rowNumber : record->columnNumber);
        return handleType == SQL_HANDLE_STMT ? SQL_SUCCESS : SQL_ERROR;
    default:
        return SQL_SUCCESS;
    }
}

namespace {

// The fields SQLGetDiagField answers with text.
const SQLSMALLINT kTextDiagFields[] = {
    SQL_DIAG_SQLSTATE,      SQL_DIAG_MESSAGE_TEXT,    SQL_DIAG_CLASS_ORIGIN, SQL_DIAG_SUBCLASS_ORIGIN,
    SQL_DIAG_CONNECTION_NAME, SQL_DIAG_SERVER_NAME, SQL_DIAG_DYNAMIC_FUNCTION,
};

}  // namespace

bool isTextDiagField(SQLSMALLINT identifier) {
    for (SQLSMALLINT id : kTextDiagFields)
        if (id == identifier) return true;
    return false;
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                            SQLCHAR* SQLState, SQLINTEGER* NativeErrorPtr, SQLCHAR* MessageText,
                                            SQLSMALLINT BufferLength, SQLSMALLINT* TextLengthPtr) {
    // No lock, and the diagnostics are what is read: the frame without a handle.
    return ApiFrame(Api::SQLGetDiagRec).enter(int(HandleType), int(RecNumber)).run([&] {
        return VSqlGetDiagRec(HandleType, Handle, RecNumber, SQLState, NativeErrorPtr, MessageText, BufferLength,
                              TextLengthPtr);
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                              SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfoPtr,
                                              SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr) {
    return ApiFrame(Api::SQLGetDiagField).enter(int(HandleType), int(RecNumber), int(DiagIdentifier)).run([&] {
        return VSqlGetDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfoPtr, BufferLength,
                                StringLengthPtr);
    });
}
