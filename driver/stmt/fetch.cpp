// SQLFetch and the other cursor functions. The cursor is forward-only over
// rows the server sends block by block; a fetch that runs past the stored
// block executes the statement again for the next one.
#include "driver/stmt/fetch.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "driver/entry/apicall.h"
#include "driver/convert/convert.h"
#include "driver/stmt/execute.h"
#include "driver/stmt/resultset.h"
#include "driver/convert/widetext.h"
#include "log/VfxLogger.h"


namespace {

// Element size of a column-wise bound buffer by concise C type; 0 means the
// record's octet length.
struct ElementSize {
    SQLSMALLINT cType;
    SQLLEN size;
};
const ElementSize kElementSizes[] = {
    {SQL_C_UTINYINT, 1}, {SQL_C_STINYINT, 1}, {SQL_C_BIT, 1},    {SQL_C_TINYINT, 1},
    {SQL_C_USHORT, 2},   {SQL_C_SSHORT, 2},   {SQL_C_SHORT, 2},  {SQL_C_ULONG, 4},
    {SQL_C_SLONG, 4},    {SQL_C_LONG, 4},
};

SQLLEN elementSize(const DescriptorRecord& record) {
    for (const ElementSize& e : kElementSizes)
        if (e.cType == record.conciseType) return e.size;
    return record.octetLength;
}

template <typename T>
T* advance(T* base, SQLLEN bytes) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(base) + bytes);
}

struct StoredRange {
    long long first;
    long long last;
};

StoredRange storedRange(const Statement* stmt) {
    long long stored = resultRowCount(stmt->resultSet);
    const long long first = firstStoredRow(stmt);
    return {first, first + stored - 1};
}

// Releases the stored block and asks the server for the next one.
SQLRETURN nextBlock(Statement* stmt) {
    freeResultSet(stmt->resultSet.release());
    return VSqlExecute(stmt);
}

// Moves the non-null and null cells of one row into the bound columns;
// returns the row's status.
SQLUSMALLINT transferRow(Statement* stmt, const Row* row, SQLULEN i, SQLLEN offset, SQLLEN bindType, bool ansi) {
    Descriptor* ard = stmt->ard;
    const ResultSet* rs = stmt->resultSet;
    SQLUSMALLINT status = SQL_ROW_SUCCESS;
    const int columns = ard->count < rs->columnCount ? ard->count : rs->columnCount;
    for (int c = 1; c <= columns; ++c) {
        DescriptorRecord& record = ard->records[c - 1];
        if (!record.dataPtr) continue;
        const SQLLEN dataStride = i == 0 ? 0 : bindType ? bindType : elementSize(record);
        const SQLLEN indicatorStride = bindType ? bindType : SQLLEN(sizeof(SQLLEN));
        ColumnValue* cell = rowValue(row, c - 1);
        if (cell && !cell->isNull) {
            SQLPOINTER data = advance(record.dataPtr, offset + SQLLEN(i) * dataStride);
            SQLLEN* length =
                record.octetLengthPtr ? advance(record.octetLengthPtr, offset + SQLLEN(i) * indicatorStride) : nullptr;
            const ColumnMetaData* column = resultColumn(rs, c - 1);
            if (record.conciseType == SQL_C_CHAR &&
                copyWholeText(column, cell, ansi, data, record.octetLength, length) >= 0)
                continue;
            SQLRETURN rc = VSqlGetData(stmt, column, cell, record.conciseType, data, record.octetLength, length);
            if (rc != SQL_SUCCESS) setLastDiagPosition(stmt->diag, std::int32_t(i + 1), c);
            if (rc == SQL_ERROR)
                status = SQL_ROW_ERROR;
            else if (rc == SQL_SUCCESS_WITH_INFO && status != SQL_ROW_ERROR)
                status = SQL_ROW_SUCCESS_WITH_INFO;
        } else if (record.indicatorPtr) {
            *advance(record.indicatorPtr, offset + SQLLEN(i) * indicatorStride) = SQL_NULL_DATA;
        } else {
            addOdbcError(stmt, "22002", "Indicator variable required but not supplied", std::int32_t(i + 1), c);
            status = SQL_ROW_ERROR;
        }
    }
    return status;
}

}  // namespace

SQLRETURN VSqlFetch(Statement* stmt) {
    if (!stmt->resultSet) {
        addOdbcError(stmt, "24000", "Invalid cursor state");
        return SQL_ERROR;
    }
    stmt->getDataColumn = -1;
    Descriptor* ard = stmt->ard;
    Descriptor* ird = stmt->ird;
    const SQLLEN bindType = SQLLEN(ard->bindType);
    const SQLLEN offset = bindType && ard->bindOffsetPtr ? *ard->bindOffsetPtr : 0;
    // Fetches past the end keep advancing; the position stops at the top.
    const long long position = (long long)stmt->rowPosition + stmt->lastRowsetSize;
    stmt->rowPosition = position > INT32_MAX ? INT32_MAX : std::int32_t(position);
    const SQLULEN n = ard->arraySize;
    stmt->lastRowsetSize = std::uint32_t(n);
    StoredRange range = storedRange(stmt);
    SQLULEN rowsFetched = 0, rowErrors = 0, rowInfos = 0;
    SQLRETURN result = SQL_SUCCESS;
    const bool ansi = ansiCall();
    for (SQLULEN i = 0; i < n; ++i) {
        const long long r = (long long)stmt->rowPosition + (long long)i;
        SQLUSMALLINT status = SQL_ROW_SUCCESS;
        if (r > range.last && stmt->moreRows) {
            result = nextBlock(stmt);
            if (result == SQL_ERROR) return SQL_ERROR;
            if (!stmt->resultSet) {
                addOdbcError(stmt, "24000", "Invalid cursor state");
                return SQL_ERROR;
            }
            range = storedRange(stmt);
        }
        if (r > range.last || r < range.first) {
            if (i == 0) return SQL_NO_DATA;
            // Nothing more can come: the rest of the rowset only has statuses to write.
            if (!ird->arrayStatusPtr && !stmt->moreRows) break;
            status = SQL_ROW_NOROW;
        } else {
            ++rowsFetched;
            const Row* row = resultRow(stmt->resultSet, int(r - range.first));
            status = transferRow(stmt, row, i, offset, bindType, ansi);
        }
        if (status == SQL_ROW_ERROR) ++rowErrors;
        if (status == SQL_ROW_SUCCESS_WITH_INFO) ++rowInfos;
        if (ird->arrayStatusPtr) ird->arrayStatusPtr[i] = status;
    }
    if (rowErrors == rowsFetched)
        result = SQL_ERROR;
    else if (rowErrors > 0 || rowInfos > 0)
        result = SQL_SUCCESS_WITH_INFO;
    ird->setRowsProcessed(rowsFetched);
    return result;
}

SQLRETURN VSqlRowCount(Statement* stmt, SQLLEN* rowCount) {
    SQLLEN count = stmt->resultSet ? SQLLEN(stmt->resultSet->rowCount) : stmt->rowCount;
    if (rowCount) *rowCount = count;
    return SQL_SUCCESS;
}

SQLRETURN VSqlGetCursorName(Statement* stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength) {
    if (bufferLength < 0) {
        addOdbcError(stmt, "HY090", "Invalid string or buffer length");
        return SQL_ERROR;
    }
    if (stmt->cursorName.empty()) {
        char generated[32];
        std::snprintf(generated, sizeof generated, "SQL_CUR%u", unsigned(stmt->conn->cursorCounter));
        stmt->cursorName = generated;
        ++stmt->conn->cursorCounter;
    }
    SQLRETURN rc = copyOutString(name, bufferLength, nameLength, stmt->cursorName.c_str());
    if (rc == SQL_SUCCESS_WITH_INFO) addOdbcError(stmt, "01004", "String data, right truncated");
    return rc;
}

SQLRETURN VSqlSetCursorName(Statement* stmt, const SQLCHAR* name, SQLSMALLINT nameLength) {
    std::string held;
    name = ansiIn(name, nameLength, held);
    const SQLLEN bytes = inputTextLength(stmt, name, nameLength);
    if (bytes < 0) return SQL_ERROR;
    const char* text = reinterpret_cast<const char*>(name);
    const std::size_t length = std::size_t(bytes);
    auto startsWith = [&](const char* prefix) {
        std::size_t n = std::strlen(prefix);
        return length >= n && strncasecmp(text, prefix, n) == 0;
    };
    if (length == 0 || startsWith("SQLCUR") || startsWith("SQL_CUR")) {
        addOdbcError(stmt, "34000", "Invalid cursor name");
        return SQL_ERROR;
    }
    stmt->cursorName.assign(text, length);
    return SQL_SUCCESS;
}

VSQL_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle) {
    return StmtCall(Api::SQLFetch, StatementHandle).run([&](Statement* s) { return VSqlFetch(s); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT StatementHandle, SQLSMALLINT FetchOrientation, SQLLEN FetchOffset) {
    return StmtCall(Api::SQLFetchScroll, StatementHandle)
        .enter(int(FetchOrientation), int(FetchOffset))
        .run([&](Statement* s) -> SQLRETURN {
            if (FetchOrientation == SQL_FETCH_NEXT) return ApiFrame::inner(Api::SQLFetch, [&] { return VSqlFetch(s); });
            addOdbcError(s, "HY106", "Fetch type out of range");
            return SQL_ERROR;
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle) {
    return StmtCall(Api::SQLCloseCursor, StatementHandle).run([&](Statement* s) {
        return VSqlFreeStatement(s, SQL_CLOSE);
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT StatementHandle) {
    return StmtCall(Api::SQLCancel, StatementHandle).run([&](Statement* s) { return VSqlFreeStatement(s, SQL_CLOSE); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN* RowCountPtr) {
    return StmtCall(Api::SQLRowCount, StatementHandle).run([&](Statement* s) { return VSqlRowCount(s, RowCountPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName, SQLSMALLINT BufferLength,
                                   SQLSMALLINT* NameLengthPtr) {
    return StmtCall(Api::SQLGetCursorName, StatementHandle)
        .run([&](Statement* s) { return VSqlGetCursorName(s, CursorName, BufferLength, NameLengthPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT StatementHandle, SQLCHAR* CursorName, SQLSMALLINT NameLength) {
    return StmtCall(Api::SQLSetCursorName, StatementHandle)
        .run([&](Statement* s) { return VSqlSetCursorName(s, CursorName, NameLength); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                             SQLPOINTER TargetValuePtr, SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    return StmtCall(Api::SQLGetData, StatementHandle)
        .enter(int(ColumnNumber), int(TargetType))
        .run([&](Statement* s) {
            return getColumnData(s, ColumnNumber, TargetType, TargetValuePtr, BufferLength, StrLen_or_IndPtr);
        });
}
