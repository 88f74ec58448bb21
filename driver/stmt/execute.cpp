// Statement preparation and execution: markers found in the text, parameters
// written into it as literals, the text sent with "execsql", the answer
// stored with the statement.
#include "driver/stmt/execute.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "driver/entry/apicall.h"
#include "driver/connect/connect.h"
#include "driver/stmt/escapes.h"
#include "driver/stmt/paramtext.h"
#include "driver/stmt/requests.h"
#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "driver/convert/widetext.h"

namespace {

// Only this much of a text is searched for the object clause.
constexpr std::size_t kObjectClauseWindow = 255;
constexpr const char* kObjectClause = "SET OBJECT";

std::size_t markerAt(const Statement* stmt, std::uint32_t i) {
    return stmt->markers[i];
}

// Where one row of a parameter array keeps a record's value and lengths:
// the bind offset applies to every pointer; rows are the bind type's bytes
// apart (row-wise) or one element apart (column-wise). Row-wise layouts
// need not align the lengths (pyodbc packs them), so they are copied out.
struct BoundParameter {
    const char* data;
    const char* indicator;
    const char* length;
};

SQLLEN lengthAt(const char* p) {
    SQLLEN value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

BoundParameter boundAt(const Descriptor* apd, const DescriptorRecord& record, SQLULEN row) {
    const SQLLEN offset = apd->bindOffsetPtr ? *apd->bindOffsetPtr : 0;
    std::size_t dataStep = apd->bindType, lengthStep = apd->bindType;
    if (apd->bindType == SQL_PARAM_BIND_BY_COLUMN) {
        const std::size_t element = parameterElementSize(record.conciseType);
        dataStep = element ? element : std::size_t(record.octetLength > 0 ? record.octetLength : 0);
        lengthStep = sizeof(SQLLEN);
    }
    auto at = [&](const void* base, std::size_t step) -> char* {
        if (!base) return nullptr;
        return const_cast<char*>(static_cast<const char*>(base)) + offset + std::ptrdiff_t(row * step);
    };
    return {at(record.dataPtr, dataStep), at(record.indicatorPtr, lengthStep), at(record.octetLengthPtr, lengthStep)};
}

enum class Source { Value, NeedData, Refused };

// Writes the literal of parameter i (from 0) of the current row: collected
// data, or the bound value read through its indicator and length.
Source appendParameter(Statement* stmt, std::uint32_t i, std::string& out) {
    const DescriptorRecord& apd = stmt->apd->records[i];
    const SQLSMALLINT sqlType = std::int32_t(i) < stmt->ipd->count ? stmt->ipd->records[i].conciseType : 0;
    const std::int32_t row = std::int32_t(stmt->paramRow + 1), column = std::int32_t(i + 1);
    ParamInput input{apd.conciseType, nullptr, SQL_NTS, apd.precision, apd.scale};
    if (!stmt->putDataBuffer.empty()) {
        input.data = stmt->putDataBuffer.data();
        input.length = stmt->putDataLength;
    } else if (stmt->putDataValue) {
        input.data = stmt->putDataValue;
    } else {
        const BoundParameter bound = boundAt(stmt->apd, apd, stmt->paramRow);
        const char* lengthPtr = bound.length ? bound.length : bound.indicator;
        const SQLLEN length = lengthPtr ? lengthAt(lengthPtr) : SQL_NTS;
        if (bound.indicator && lengthAt(bound.indicator) == SQL_NULL_DATA) {
            input.length = SQL_NULL_DATA;
        } else if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET) {
            return Source::NeedData;
        } else if (!bound.data) {
            addOdbcError(stmt, "HY009", "A parameter has neither a value nor a NULL indicator", row, column);
            return Source::Refused;
        } else {
            input.data = bound.data;
            input.length = length;
        }
    }
    ParamFailure failure;
    if (!parameterLiteral(input, sqlType, stmt->markerInObjectClause != 0, out, failure)) {
        addOdbcError(stmt, failure.sqlState, failure.message, row, column);
        return Source::Refused;
    }
    return Source::Value;
}

SQLLEN applicationTextLength(const SQLCHAR* text, SQLLEN length) {
    if (!text) return 0;
    return length == SQL_NTS ? SQLLEN(std::strlen(reinterpret_cast<const char*>(text))) : length;
}

}  // namespace

void releasePutData(Statement* stmt) {
    stmt->putDataBuffer = std::vector<unsigned char>();
    stmt->putDataLength = 0;
    stmt->putDataValue = nullptr;
}

void scanParameterMarkers(Statement* stmt) {
    stmt->markers.clear();
    stmt->markerCount = 0;
    stmt->nextMarker = 0;
    stmt->markerInObjectClause = 0;
    if (stmt->sqlText.empty()) return;
    const char* text = stmt->sqlText.c_str();

    // The clause: none, still to be found after its keywords, inside its
    // parenthesis, or closed for the rest of the text.
    enum { NoClause, Ahead, Inside, Closed } clause = NoClause;
    std::size_t clauseAt = 0;
    const std::size_t length = std::strlen(text);
    const std::size_t window = length < kObjectClauseWindow ? length : kObjectClauseWindow;
    const std::size_t keyLength = std::strlen(kObjectClause);
    for (std::size_t p = 0; p + keyLength <= window; ++p) {
        if (strncasecmp(text + p, kObjectClause, keyLength) == 0) {
            clause = Ahead;
            clauseAt = p;
            break;
        }
    }

    char quote = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '?') {
            stmt->markers.push_back(i);
            stmt->markerCount += 1;
            if (clause == Inside) stmt->markerInObjectClause = 1;
            continue;
        }
        if ((clause == Ahead || clause == Inside) && i > clauseAt) {
            if (c == '(') clause = Inside;
            else if (c == ')') clause = Closed;
        }
        if (c == '\'' || c == '"') quote = c;
    }
}

SQLRETURN substituteParameters(Statement* stmt) {
    const char* sql = stmt->sqlText.c_str();
    if (stmt->apd->count < 0 || std::uint32_t(stmt->apd->count) < stmt->markerCount) {
        releasePutData(stmt);
        addOdbcError(stmt, "07002", "COUNT field incorrect");
        return SQL_ERROR;
    }
    if (stmt->markerCount == 0) {
        stmt->sentText = stmt->sqlText;
        return SQL_SUCCESS;
    }
    std::string out = stmt->nextMarker > 0 ? stmt->sentText : std::string();
    SQLRETURN rc = SQL_SUCCESS;
    for (std::uint32_t i = stmt->nextMarker; i < stmt->markerCount; ++i) {
        const std::size_t from = i == 0 ? 0 : markerAt(stmt, i - 1) + 1, at = markerAt(stmt, i);
        const std::size_t before = out.size();
        out.append(sql + from, at - from);
        const Source source = appendParameter(stmt, i, out);
        if (source != Source::Value) {
            out.resize(before);
            rc = source == Source::NeedData ? SQL_NEED_DATA : SQL_ERROR;
            break;
        }
        if (i + 1 == stmt->markerCount) out.append(sql + at + 1);
        releasePutData(stmt);
        stmt->nextMarker = i + 1;
    }
    if (rc != SQL_SUCCESS) releasePutData(stmt);
    stmt->sentText = std::move(out);
    return rc;
}

SQLRETURN VSqlExecute(Statement* stmt) {
    const char* tag = "VSqlExecute";
    driverLog().Debug(tag, "Enter");
    HVDB session = stmt->conn ? stmt->conn->session : nullptr;
    if (!sessionUsable(stmt)) return SQL_ERROR;
    Connection* conn = stmt->conn;
    if (stmt->blockMode && stmt->blockNumber == 0) {
        // The block size is the connection's from the first block of a
        // query to its last.
        if (conn->blockSize == kAllRows) stmt->blockMode = 0;
        else stmt->blockSize = conn->blockSize ? conn->blockSize : 10;
    }
    if (!conn->answerParser) conn->answerParser.reset(newAnswerParser());  // null: one parser per answer
    XmlReply* reply;
    QueryTimeLimit limit(stmt);
    if (stmt->blockMode) {
        stmt->blockNumber += 1;
        reply = execsqlRequest(session, stmt->sentText.c_str(), stmt->blockSize, std::int32_t(stmt->blockNumber));
    } else {
        reply = execsqlRequest(session, stmt->sentText.c_str(), 0xFFFFFFFFu, 0);
    }
    SQLRETURN rc = SQL_SUCCESS;
    if (!reply) {
        addOdbcError(stmt, "HY001", "Memory allocation error");
        rc = SQL_ERROR;
    } else {
        stmt->moreRows = reply->status == kReplyMoreRows;
        // What may answer this request: all rows, or (in blocks) a block
        // with more to come; an even status is the server's refusal, told
        // by its fault document.
        const bool refusal = !(reply->status & kReplySuccessBit);
        const bool fits = reply->status == 1 || (stmt->blockMode && reply->status == kReplyMoreRows) || refusal;
        AnswerLimits limits;
        if (stmt->blockMode) limits.maxRows = stmt->blockSize;
        limits.valuesWithinColumns = true;
        // A real answer stores in about its own size (a value's record is no
        // larger than the markup around it); a document made of empty
        // elements to make records is stopped there.
        limits.maxStoredBytes = std::uint64_t(reply->documentLength) + (std::uint64_t(16) << 20);
        if (linkFailed(stmt, std::int32_t(reply->status))) {
            rc = SQL_ERROR;
        } else if (!fits) {
            char text[200];
            std::snprintf(text, sizeof text, "Communication link failure: the server answered a query with status %lu",
                          static_cast<unsigned long>(reply->status));
            addOdbcError(stmt, "08S01", text);
            rc = SQL_ERROR;
        } else if (!reply->document || reply->documentLength < 1) {
            addOdbcError(stmt, "HY000", refusal && reply->message[0] ? reply->message : "Unknown error");
            rc = SQL_ERROR;
        } else {
            ResultSet* rs = stmt->resultSet.release();
            ParseStatus status =
                parseAnswerInPlace(conn->answerParser, reply->document, reply->documentLength, &rs, limits);
            stmt->resultSet.reset(rs);
            if (status.succeeded() && rs && refusal) {
                // Rows or a success under a refusing status: neither can be trusted.
                char text[200];
                std::snprintf(text, sizeof text,
                              "Communication link failure: the server's answer has status %lu but no fault",
                              static_cast<unsigned long>(reply->status));
                addOdbcError(stmt, "08S01", text);
                stmt->resultSet.reset();
                rc = SQL_ERROR;
            } else if (status.succeeded() && rs && stmt->moreRows && rs->rows.getCount() == 0) {
                // More to come after nothing: a server that would be asked forever.
                addOdbcError(stmt, "08S01", "Communication link failure: the server's block holds no rows but says more follow");
                stmt->resultSet.reset();
                rc = SQL_ERROR;
            } else if (status.refused) {
                const std::string text = std::string("Communication link failure: ") + status.message;
                addOdbcError(stmt, "08S01", text.c_str());
                stmt->resultSet.reset();
                rc = SQL_ERROR;
            } else if (status.succeeded() && rs) {
                const char* type = rs->statementType;
                if (strcasecmp(type, "INSERT") == 0 || strcasecmp(type, "UPDATE") == 0 ||
                    strcasecmp(type, "DELETE") == 0) {
                    const ColumnValue* count = rowValue(resultRow(rs, 0), 0);
                    if (count && count->data) stmt->rowCount = SQLLEN(std::strtoll(count->data, nullptr, 10));
                    freeResultSet(stmt->resultSet.release());
                } else if (rs->columnCount != rs->columns.getCount()) {
                    rs->columnCount = rs->columns.getCount();
                }
            } else {
                addOdbcError(stmt, status.succeeded() ? "HY001" : "HY000",
                             status.succeeded() ? "Memory allocation error" : status.message);
                freeResultSet(stmt->resultSet.release());
                rc = SQL_ERROR;
            }
        }
        freeXmlReply(reply);
    }
    driverLog().Debug(tag, kExitWithReturnCode, int(rc));
    return rc;
}

namespace {

// Marks the diagnostics added since `from` (records from 1) as those of a
// row of a parameter array, in the row number and in the text: most
// applications show only the text.
void placeDiagnostics(Statement* stmt, std::uint32_t from, SQLULEN row) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " (parameter row %llu)", static_cast<unsigned long long>(row + 1));
    for (std::uint32_t k = from + 1; k <= stmt->diag.count; ++k) {
        auto* record = const_cast<DiagRecord*>(diagRecordAt(stmt->diag, SQLSMALLINT(k)));
        if (!record) continue;
        record->rowNumber = std::int32_t(row + 1);
        const std::size_t used = std::strlen(record->message);
        if (used + std::strlen(suffix) < sizeof record->message) std::strcat(record->message, suffix);
    }
}

// One row of the parameters: the text built (continuing where data at
// execution stopped it) and sent.
SQLRETURN executeRow(Statement* stmt, bool array, const char* tag) {
    if (stmt->nextMarker == 0) {
        stmt->sentText.clear();
        stmt->resultSet.reset();
        stmt->rowCount = -1;
        stmt->blockNumber = 0;
    }
    SQLRETURN rc = substituteParameters(stmt);
    if (rc != SQL_SUCCESS) return rc;
    if (std::strcmp(tag, "SQLExecDirect") == 0)
        driverLog().Debug(tag, "Query %s", stmt->sentText.c_str());
    else
        driverLog().Debug(tag, "Query %.*s", 100, stmt->sentText.c_str());
    rc = VSqlExecute(stmt);
    if (rc != SQL_SUCCESS || !stmt->resultSet) return rc;
    if (array && stmt->resultSet->columnCount > 0) {
        // One result per row cannot be offered: rows are refused instead.
        stmt->resultSet.reset();
        addOdbcError(stmt, "HYC00", "A statement that returns rows cannot run with an array of parameters");
        return SQL_ERROR;
    }
    populateIrd(stmt);
    return rc;
}

}  // namespace

SQLPOINTER parameterDataAt(Statement* stmt, std::uint32_t i) {
    if (std::int32_t(i) >= stmt->apd->count) return nullptr;
    return const_cast<char*>(boundAt(stmt->apd, stmt->apd->records[i], stmt->paramRow).data);
}

void startParameterRows(Statement* stmt) {
    stmt->paramRow = 0;
    stmt->paramRowsRun = 0;
    stmt->paramRowsFailed = 0;
    stmt->paramRowCount = -1;
    stmt->ipd->setRowsProcessed(0);
}

SQLRETURN executeParameterRows(Statement* stmt, const char* tag) {
    const SQLULEN rows = stmt->apd->arraySize > 1 ? stmt->apd->arraySize : 1;
    const bool array = rows > 1;
    if (stmt->apd->count < 0 || std::uint32_t(stmt->apd->count) < stmt->markerCount) {
        releasePutData(stmt);
        addOdbcError(stmt, "07002", "COUNT field incorrect");
        return SQL_ERROR;
    }
    SQLUSMALLINT* status = stmt->ipd->arrayStatusPtr;
    const SQLUSMALLINT* operation = stmt->apd->arrayStatusPtr;
    SQLRETURN rc = SQL_SUCCESS;
    for (; stmt->paramRow < rows; ++stmt->paramRow) {
        const SQLULEN row = stmt->paramRow;
        if (array && operation && operation[row] == SQL_PARAM_IGNORE) {
            if (status) status[row] = SQL_PARAM_UNUSED;
            continue;
        }
        // A row starts at its first marker unless it stopped for data.
        if (stmt->nextMarker >= stmt->markerCount) stmt->nextMarker = 0;
        const std::uint32_t diagBefore = stmt->diag.count;
        rc = executeRow(stmt, array, tag);
        if (rc == SQL_NEED_DATA) return rc;
        stmt->nextMarker = stmt->markerCount;  // nothing waits for data any more
        stmt->paramRowsRun += 1;
        if (rc == SQL_ERROR) stmt->paramRowsFailed += 1;
        if (stmt->rowCount >= 0)
            stmt->paramRowCount = (stmt->paramRowCount < 0 ? 0 : stmt->paramRowCount) + stmt->rowCount;
        if (status)
            status[row] = rc == SQL_ERROR     ? SQL_PARAM_ERROR
                          : rc == SQL_SUCCESS ? SQL_PARAM_SUCCESS
                                              : SQL_PARAM_SUCCESS_WITH_INFO;
        stmt->ipd->setRowsProcessed(row + 1);
        if (array) placeDiagnostics(stmt, diagBefore, row);
        // Without a status array the application cannot tell which rows
        // failed: the first failure ends the execution, the rows after it
        // are not run.
        if (array && rc == SQL_ERROR && !status) {
            stmt->paramRow = rows;
            stmt->rowCount = stmt->paramRowCount;
            return SQL_ERROR;
        }
    }
    if (!array) return rc;
    stmt->rowCount = stmt->paramRowCount;
    if (stmt->paramRowsFailed == 0) return SQL_SUCCESS;
    return stmt->paramRowsFailed == stmt->paramRowsRun ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
}

namespace {

// A new statement text ends what the statement held: its cursor, its data at
// execution and any earlier preparation.
void startNewText(Statement* stmt) {
    VSqlFreeStatement(stmt, SQL_CLOSE);
    stmt->blockMode = 1;
    releasePutData(stmt);
    stmt->preparedText.clear();
}

}  // namespace

SQLRETURN VSqlPrepare(Statement* stmt, const SQLCHAR* text, SQLINTEGER length) {
    std::string held;
    text = ansiIn(text, length, held);
    startNewText(stmt);
    scanParameterMarkers(stmt);  // no text: no markers left from before
    const SQLLEN bytes = inputTextLength(stmt, text, length);
    if (bytes < 0) return SQL_ERROR;
    stmt->sqlText.assign(reinterpret_cast<const char*>(text), std::size_t(bytes));
    if (!translateStatementEscapes(stmt)) return SQL_ERROR;
    stmt->preparedText = stmt->sqlText;
    driverLog().Debug("SQLPrepare", "Query %.*s", 100, stmt->sqlText.c_str());
    scanParameterMarkers(stmt);
    return SQL_SUCCESS;
}

SQLRETURN VSqlExecDirect(Statement* stmt, const SQLCHAR* text, SQLLEN length) {
    std::string held;
    text = ansiIn(text, length, held);
    startNewText(stmt);
    if (length <= 0) {
        scanParameterMarkers(stmt);  // no text, no markers
        if (!text) addOdbcError(stmt, "HY009", "Invalid use of null pointer");
        else addOdbcError(stmt, "HY090", "Invalid string or buffer length");
        return SQL_ERROR;
    }
    stmt->sqlText.assign(reinterpret_cast<const char*>(text), std::size_t(length));
    if (!translateStatementEscapes(stmt)) return SQL_ERROR;
    scanParameterMarkers(stmt);
    startParameterRows(stmt);
    return executeParameterRows(stmt, "SQLExecDirect");
}

SQLRETURN executePrepared(Statement* stmt) {
    // Closing the cursor forgets the statement texts, not the preparation:
    // applications execute a prepared statement again after SQLCloseCursor.
    if (stmt->sqlText.empty() && !stmt->preparedText.empty()) {
        stmt->sqlText = stmt->preparedText;
        scanParameterMarkers(stmt);
    }
    if (stmt->sqlText.empty()) {
        addOdbcError(stmt, "HY010", "Function sequence error");
        return SQL_ERROR;
    }
    if (stmt->resultSet && stmt->resultSet->columnCount > 0) {
        addOdbcError(stmt, "24000", "Invalid cursor state");
        return SQL_ERROR;
    }
    // Every execution starts afresh: the parameters are read again and the
    // server is asked for the first block.
    stmt->resultSet.reset();
    releasePutData(stmt);
    stmt->sentText.clear();
    stmt->nextMarker = 0;
    stmt->rowCount = -1;
    stmt->rowPosition = 0;
    stmt->blockNumber = 0;
    stmt->lastRowsetSize = 1;
    startParameterRows(stmt);
    return executeParameterRows(stmt, "SQLExecute");
}

// ---------------------------------------------------------------------------
// Exported functions

VSQL_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR* StatementText, SQLINTEGER TextLength) {
    return StmtCall(Api::SQLPrepare, StatementHandle).run([&](Statement* s) {
        return VSqlPrepare(s, StatementText, TextLength);
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                            SQLINTEGER TextLength) {
    // An empty text fails (HY090, HY009 for none) without an exit line.
    const SQLLEN length = applicationTextLength(StatementText, TextLength);
    return StmtCall(Api::SQLExecDirect, StatementHandle)
        .run([&](Statement* s) { return VSqlExecDirect(s, StatementText, length); }, length > 0);
}

VSQL_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle) {
    return StmtCall(Api::SQLExecute, StatementHandle).run([&](Statement* s) { return executePrepared(s); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT* ParameterCountPtr) {
    return StmtCall(Api::SQLNumParams, StatementHandle).run([&](Statement* s) {
        if (ParameterCountPtr) *ParameterCountPtr = SQLSMALLINT(s->markerCount);
        return SQL_SUCCESS;
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT* ColumnCountPtr) {
    return StmtCall(Api::SQLNumResultCols, StatementHandle)
        .run(
            [&](Statement* s) {
                if (ColumnCountPtr) *ColumnCountPtr = SQLSMALLINT(s->resultSet ? s->resultSet->columnCount : 0);
                return SQL_SUCCESS;
            });
}

VSQL_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle) {
    // A statement never has a second result.
    return StmtCall(Api::SQLMoreResults, StatementHandle).run([](Statement*) { return SQL_NO_DATA; });
}
