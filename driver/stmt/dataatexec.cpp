// Values supplied at execution (SQLParamData, SQLPutData) and the native
// form of a statement text (SQLNativeSql: its escape sequences translated).
#include <cstring>
#include <string>
#include <vector>

#include "driver/entry/apicall.h"
#include "driver/entry/descriptors.h"
#include "driver/stmt/escapes.h"
#include "driver/stmt/execute.h"
#include "util/Utf16.h"
#include "driver/convert/widetext.h"

namespace {

// The APD record of the parameter that needs data, or null when no
// execution is waiting for one.
DescriptorRecord* waitingParameter(Statement* stmt) {
    if (stmt->sqlText.empty() || stmt->nextMarker >= stmt->markerCount) return nullptr;
    if (std::int32_t(stmt->nextMarker) >= stmt->apd->count) return nullptr;
    return &stmt->apd->records[stmt->nextMarker];
}

SQLRETURN refuse(Statement* stmt, const char* state, const char* text, bool atParameter) {
    if (atParameter)
        addOdbcError(stmt, state, text, 1, std::int32_t(stmt->nextMarker + 1));
    else
        addOdbcError(stmt, state, text);
    return SQL_ERROR;
}

SQLRETURN VSqlParamData(Statement* stmt, SQLPOINTER* valuePtrPtr) {
    if (!waitingParameter(stmt)) return refuse(stmt, "HY010", "Function sequence error", false);
    SQLRETURN rc = SQL_NEED_DATA;
    // A value kept by its pointer counts as supplied, as collected bytes do.
    if (!stmt->putDataBuffer.empty() || stmt->putDataValue) rc = executeParameterRows(stmt, "SQLParamData");
    // The next value wanted (of this row or a later one of an array): the
    // application tells its parameters apart by the address it bound.
    if (rc == SQL_NEED_DATA && valuePtrPtr) *valuePtrPtr = parameterDataAt(stmt, stmt->nextMarker);
    return rc;
}

SQLRETURN VSqlPutData(Statement* stmt, SQLPOINTER data, SQLLEN lengthOrIndicator) {
    const DescriptorRecord* record = waitingParameter(stmt);
    if (!record) return refuse(stmt, "HY010", "Function sequence error", false);
    const SQLSMALLINT cType = record->conciseType;
    if (lengthOrIndicator == SQL_NULL_DATA) {
        if (!stmt->putDataBuffer.empty()) return refuse(stmt, "HY020", "Attempt to concatenate a null value", true);
        stmt->putDataBuffer.assign({'N', 'U', 'L', 'L', 0});
        stmt->putDataLength = SQL_NULL_DATA;
    }
    const bool wide = cType == SQL_C_WCHAR;
    if (cType != SQL_C_CHAR && cType != SQL_C_BINARY && !wide) {
        if (!stmt->putDataBuffer.empty())
            return refuse(stmt, "HY019", "Non-character and non-binary data sent in pieces", true);
        stmt->putDataValue = data;
        return SQL_SUCCESS;
    }
    if (lengthOrIndicator == SQL_NULL_DATA) return SQL_SUCCESS;
    // Data after a NULL would be appended to the marker text.
    if (!stmt->putDataBuffer.empty() && stmt->putDataLength == SQL_NULL_DATA)
        return refuse(stmt, "HY020", "Attempt to concatenate a null value", true);
    SQLLEN length = lengthOrIndicator;
    if (length == SQL_NTS && wide)
        length = data ? SQLLEN(2 * utf16Length(static_cast<const std::uint16_t*>(data))) : 0;
    else if (length == SQL_NTS)
        length = data ? SQLLEN(std::strlen(static_cast<const char*>(data))) : 0;
    if (length < 0) return refuse(stmt, "HY090", "Invalid string or buffer length", false);
    if (!data) length = 0;
    const SQLLEN held = stmt->putDataBuffer.empty() ? 0 : stmt->putDataLength;
    if (length > SQLLEN(INT32_MAX) - held - 1) throw std::bad_alloc();  // the text must stay addressable by int
    // The pieces so far, this one, and a zero after them.
    std::vector<unsigned char>& buffer = stmt->putDataBuffer;
    buffer.resize(std::size_t(held + length + 1));
    if (length > 0) std::memcpy(buffer.data() + held, data, std::size_t(length));
    buffer[std::size_t(held + length)] = 0;
    stmt->putDataLength = held + length;
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN VSqlNativeSql(Connection* conn, const SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                        SQLINTEGER bufferLength, SQLINTEGER* outLength) {
    std::string held;
    in = ansiIn(in, inLength, held);
    const SQLLEN bytes = inputTextLength(conn, in, inLength);
    if (bytes < 0) return SQL_ERROR;
    if (bufferLength < 0) {
        addOdbcError(conn, "HY090", "Invalid string or buffer length");
        return SQL_ERROR;
    }
    const std::string copy(reinterpret_cast<const char*>(in), std::size_t(bytes));
    driverLog().Debug("SQLNativeSql", "Instatement: %s", copy.c_str());
    EscapeContext context;
    context.userName = conn->uid;
    std::string native;
    EscapeFailure failure;
    if (!translateEscapes(copy, context, native, failure)) {
        addOdbcError(conn, failure.sqlState, failure.message.c_str());
        return SQL_ERROR;
    }
    return copyOutLong(out, bufferLength, outLength, native.c_str());
}

VSQL_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT StatementHandle, SQLPOINTER* ValuePtrPtr) {
    // Unlike every other call, the data-at-execution calls keep the
    // diagnostics: the records of the execution that asked for data stay readable.
    return StmtCall(Api::SQLParamData, StatementHandle, Frame::KeepDiagnostics)
        .run([&](Statement* s) { return VSqlParamData(s, ValuePtrPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT StatementHandle, SQLPOINTER DataPtr, SQLLEN StrLen_or_Ind) {
    return StmtCall(Api::SQLPutData, StatementHandle, Frame::KeepDiagnostics)
        .run([&](Statement* s) { return VSqlPutData(s, DataPtr, StrLen_or_Ind); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC ConnectionHandle, SQLCHAR* InStatementText, SQLINTEGER TextLength1,
                                           SQLCHAR* OutStatementText, SQLINTEGER BufferLength,
                                           SQLINTEGER* TextLength2Ptr) {
    return ConnCall(Api::SQLNativeSql, ConnectionHandle)
        .run(
            [&](Connection* c) {
                return VSqlNativeSql(c, InStatementText, TextLength1, OutStatementText, BufferLength,
                                     TextLength2Ptr);
            });
}
