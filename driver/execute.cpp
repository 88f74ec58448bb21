// Statement preparation and execution: markers found in the text, parameters
// written into it as literals, the text sent with "execsql", the answer
// stored with the statement.
#include "driver/execute.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "driver/apicall.h"
#include "driver/paramtext.h"
#include "driver/requests.h"
#include "driver/resultset.h"
#include "driver/resultxml.h"
#include "driver/widetext.h"
#include "util/Base64.h"

namespace {

// Only this much of a text is searched for the object clause.
constexpr std::size_t kObjectClauseWindow = 255;
constexpr const char* kObjectClause = "SET OBJECT";

// How a parameter value is written, by the SQL type it is bound for.
enum class Written { Bare, Quoted, LongText, Binary };
struct WriteRule {
    SQLSMALLINT sqlType;
    Written how;
};
const WriteRule kWriteRules[] = {
    {SQL_INTEGER, Written::Bare},         {SQL_SMALLINT, Written::Bare},      {SQL_FLOAT, Written::Bare},
    {SQL_CHAR, Written::Quoted},          {SQL_VARCHAR, Written::Quoted},     {SQL_LONGVARCHAR, Written::LongText},
    {SQL_LONGVARBINARY, Written::Binary}, {SQL_BINARY, Written::Binary},
};

const WriteRule* findWriteRule(SQLSMALLINT sqlType) {
    for (const WriteRule& rule : kWriteRules)
        if (rule.sqlType == sqlType) return &rule;
    return nullptr;
}

std::size_t markerAt(const Statement* stmt, std::uint32_t i) {
    return std::size_t(reinterpret_cast<std::uintptr_t>(stmt->markers.getAt(std::int32_t(i))));
}

// "'" + prefix + value with every "'" doubled + "'".
void appendQuoted(std::string& out, const char* prefix, const std::string& value) {
    out += '\'';
    out += prefix;
    for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
}

// Appends the value as its SQL type says; false (diagnostic recorded) when
// the type cannot be written here.
bool appendValue(Statement* stmt, std::string& out, const std::string& value, bool isNull, SQLSMALLINT sqlType) {
    const WriteRule* rule = findWriteRule(sqlType);
    if (!rule) {
        addOdbcError(stmt, "07006", nullptr);
        return false;
    }
    const bool inObject = stmt->markerInObjectClause != 0;
    switch (rule->how) {
    case Written::Bare: out += value; break;
    case Written::Quoted: appendQuoted(out, "", value); break;
    case Written::LongText: appendQuoted(out, inObject ? "data=" : "", value); break;
    case Written::Binary: {
        if (!inObject) {
            addOdbcError(stmt, "07006",
                         "The statement was not an UPDATE SET OBJECT statement and the target type was LONG "
                         "VARBINARY");
            return false;
        }
        if (isNull) {  // the bytes of "NULL" would be stored instead of no value
            out += "NULL";
            break;
        }
        if (value.size() > std::size_t(INT_MAX / 2)) throw std::bad_alloc();
        char* encoded = nullptr;
        if (Base64Encode(value.data(), int(value.size()), &encoded) < 0) throw std::bad_alloc();
        out += "'data[base64]=";
        out += encoded;
        out += '\'';
        plat::heapFree(encoded);
        break;
    }
    }
    return true;
}

// Replaces an owned text with a copy of value.
void storeText(char*& field, const std::string& value) {
    char* copy = newText(value.data(), SQLLEN(value.size()));
    if (!copy) throw std::bad_alloc();
    freeText(field);
    field = copy;
}

enum class Source { Value, NeedData, Missing, Refused };

// The value of parameter i (from 0) as text: collected data, or the bound
// value read through its indicator.
Source parameterValue(Statement* stmt, std::uint32_t i, SQLSMALLINT sqlType, std::string& value, bool& isNull) {
    const DescriptorRecord& apd = stmt->apd->records[i];
    char state[6] = "";
    if (stmt->putDataBuffer) {
        isNull = stmt->putDataLength == SQL_NULL_DATA;
        if (isNull)
            value = "NULL";
        else
            value.assign(reinterpret_cast<const char*>(stmt->putDataBuffer), std::size_t(stmt->putDataLength));
        return Source::Value;
    }
    if (stmt->putDataValue) {
        if (parameterToText(apd.conciseType, stmt->putDataValue, SQL_NTS, sqlType, value, state) != SQL_SUCCESS) {
            addOdbcError(stmt, state, nullptr);
            return Source::Refused;
        }
        return Source::Value;
    }
    SQLLEN length = SQL_NTS;
    if (apd.indicatorPtr) {
        const SQLLEN indicator = *apd.indicatorPtr;
        if (indicator == SQL_DATA_AT_EXEC || indicator < -99) return Source::NeedData;
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            value = "NULL";
            return Source::Value;
        }
        length = indicator;
    } else if (!apd.dataPtr) {
        return Source::Missing;
    }
    if (parameterToText(apd.conciseType, apd.dataPtr, length, sqlType, value, state) != SQL_SUCCESS) {
        addOdbcError(stmt, state, nullptr);
        return Source::Refused;
    }
    return Source::Value;
}

SQLLEN textLength(const SQLCHAR* text, SQLLEN length) {
    if (!text) return 0;
    return length == SQL_NTS ? SQLLEN(std::strlen(reinterpret_cast<const char*>(text))) : length;
}

}  // namespace

void releasePutData(Statement* stmt) {
    if (stmt->putDataBuffer) plat::heapFree(stmt->putDataBuffer);
    stmt->putDataBuffer = nullptr;
    stmt->putDataLength = 0;
    stmt->putDataValue = nullptr;
}

void scanParameterMarkers(Statement* stmt) {
    stmt->markers.count = 0;
    stmt->markerCount = 0;
    stmt->nextMarker = 0;
    stmt->markerInObjectClause = 0;
    const char* text = stmt->sqlText;
    if (!text) return;

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
            if (!stmt->markers.append(reinterpret_cast<void*>(std::uintptr_t(i)))) throw std::bad_alloc();
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
    const char* sql = stmt->sqlText ? stmt->sqlText : "";
    if (stmt->apd->count < 0 || std::uint32_t(stmt->apd->count) < stmt->markerCount) {
        releasePutData(stmt);
        addOdbcError(stmt, "07002", "COUNT field incorrect");
        return SQL_ERROR;
    }
    if (stmt->markerCount == 0) {
        storeText(stmt->sentText, sql);
        return SQL_SUCCESS;
    }
    std::string out = stmt->sentText ? stmt->sentText : "";
    SQLRETURN rc = SQL_SUCCESS;
    for (std::uint32_t i = stmt->nextMarker; i < stmt->markerCount; ++i) {
        const SQLSMALLINT sqlType = std::int32_t(i) < stmt->ipd->count ? stmt->ipd->records[i].conciseType : 0;
        std::string value;
        bool isNull = false;
        const Source source = parameterValue(stmt, i, sqlType, value, isNull);
        if (source != Source::Value) {
            rc = source == Source::NeedData ? SQL_NEED_DATA : SQL_ERROR;
            break;
        }
        const std::size_t from = i == 0 ? 0 : markerAt(stmt, i - 1) + 1, at = markerAt(stmt, i);
        out.append(sql + from, at - from);
        if (!appendValue(stmt, out, value, isNull, sqlType)) {
            rc = SQL_ERROR;
            break;
        }
        if (i + 1 == stmt->markerCount) out.append(sql + at + 1);
        releasePutData(stmt);
        stmt->nextMarker = i + 1;
    }
    if (rc != SQL_SUCCESS) releasePutData(stmt);
    storeText(stmt->sentText, out);
    return rc;
}

SQLRETURN VSqlExecute(Statement* stmt) {
    const char* tag = "VSqlExecute";
    driverLog().Debug(tag, "Enter");
    HVDB session = stmt->conn ? stmt->conn->session : nullptr;
    XmlReply* reply;
    if (stmt->blockMode) {
        stmt->blockNumber += 1;
        reply = execsqlRequest(session, stmt->sentText, stmt->blockSize, std::int32_t(stmt->blockNumber));
    } else {
        reply = execsqlRequest(session, stmt->sentText, 0xFFFFFFFFu, 0);
    }
    SQLRETURN rc = SQL_SUCCESS;
    if (!reply) {
        addOdbcError(stmt, "HY001", "Memory allocation error");
        rc = SQL_ERROR;
    } else {
        stmt->moreRows = reply->status == kReplyMoreRows;
        if (!reply->document || reply->documentLength < 1) {
            addOdbcError(stmt, "HY000", "Unknown error");
            rc = SQL_ERROR;
        } else {
            ParseStatus status = parseXml(reply->document, reply->documentLength, &stmt->resultSet);
            ResultSet* rs = stmt->resultSet;
            if (status.succeeded() && rs) {
                const char* type = rs->statementType;
                if (strcasecmp(type, "INSERT") == 0 || strcasecmp(type, "UPDATE") == 0 ||
                    strcasecmp(type, "DELETE") == 0) {
                    const ColumnValue* count = rowValue(resultRow(rs, 0), 0);
                    if (count && count->data) stmt->rowCount = SQLLEN(std::strtoll(count->data, nullptr, 10));
                    freeResultSet(rs);
                    stmt->resultSet = nullptr;
                } else if (rs->columnCount != rs->columns.getCount()) {
                    rs->columnCount = rs->columns.getCount();
                }
            } else {
                addOdbcError(stmt, status.succeeded() ? "HY001" : "HY000",
                             status.succeeded() ? "Memory allocation error" : status.message);
                freeResultSet(rs);
                stmt->resultSet = nullptr;
                rc = SQL_ERROR;
            }
        }
        freeXmlReply(reply);
    }
    driverLog().Debug(tag, kExitWithReturnCode, int(rc));
    return rc;
}

SQLRETURN executeSubstituted(Statement* stmt, SQLRETURN substituted) {
    if (substituted != SQL_SUCCESS) return substituted;
    const SQLRETURN rc = VSqlExecute(stmt);
    if (rc == SQL_SUCCESS && stmt->resultSet) populateIrd(stmt);
    return rc;
}

SQLRETURN VSqlPrepare(Statement* stmt, const SQLCHAR* text, SQLINTEGER length) {
    std::string held;
    text = ansiIn(text, length, held);
    VSqlFreeStatement(stmt, SQL_CLOSE);
    stmt->blockMode = 1;
    releasePutData(stmt);
    freeText(stmt->preparedText);
    scanParameterMarkers(stmt);  // no text: no markers left from before
    const SQLLEN bytes = inputTextLength(stmt, text, length);
    if (bytes < 0) return SQL_ERROR;
    stmt->sqlText = newText(reinterpret_cast<const char*>(text), bytes);
    stmt->preparedText = newText(stmt->sqlText);
    if (!stmt->sqlText || !stmt->preparedText) throw std::bad_alloc();
    driverLog().Debug("SQLPrepare", "Query %.*s", 100, stmt->sqlText);
    scanParameterMarkers(stmt);
    return SQL_SUCCESS;
}

SQLRETURN VSqlExecDirect(Statement* stmt, const SQLCHAR* text, SQLLEN length) {
    std::string held;
    text = ansiIn(text, length, held);
    VSqlFreeStatement(stmt, SQL_CLOSE);
    stmt->blockMode = 1;
    releasePutData(stmt);
    freeText(stmt->preparedText);  // no longer a prepared statement
    if (length <= 0) {
        scanParameterMarkers(stmt);  // no text, no markers
        return SQL_ERROR;
    }
    stmt->sqlText = newText(reinterpret_cast<const char*>(text), length);
    if (!stmt->sqlText) throw std::bad_alloc();
    scanParameterMarkers(stmt);
    const SQLRETURN rc = substituteParameters(stmt);
    if (rc == SQL_SUCCESS) driverLog().Debug("SQLExecDirect", "Query %s", stmt->sentText);
    return executeSubstituted(stmt, rc);
}

SQLRETURN VSqlExecuteStatement(Statement* stmt) {
    // Closing the cursor forgets the statement texts, not the preparation:
    // applications execute a prepared statement again after SQLCloseCursor.
    if (!stmt->sqlText && stmt->preparedText) {
        stmt->sqlText = newText(stmt->preparedText);
        if (!stmt->sqlText) throw std::bad_alloc();
        scanParameterMarkers(stmt);
    }
    if (!stmt->sqlText) {
        addOdbcError(stmt, "HY010", "Function sequence error");
        return SQL_ERROR;
    }
    if (stmt->resultSet && stmt->resultSet->columnCount > 0) {
        addOdbcError(stmt, "24000", "Invalid cursor state");
        return SQL_ERROR;
    }
    // Every execution starts afresh: the parameters are read again and the
    // server is asked for the first block.
    if (stmt->resultSet) {
        freeResultSet(stmt->resultSet);
        stmt->resultSet = nullptr;
    }
    releasePutData(stmt);
    freeText(stmt->sentText);
    stmt->nextMarker = 0;
    stmt->rowCount = -1;
    stmt->rowPosition = 0;
    stmt->blockNumber = 0;
    stmt->lastRowsetSize = 1;
    const SQLRETURN rc = substituteParameters(stmt);
    if (rc == SQL_SUCCESS) driverLog().Debug("SQLExecute", "Query %.*s", 100, stmt->sentText);
    return executeSubstituted(stmt, rc);
}

// ---------------------------------------------------------------------------
// Exported functions

VSQL_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR* StatementText, SQLINTEGER TextLength) {
    return StmtCall("SQLPrepare", StatementHandle).run([&](Statement* s) {
        return VSqlPrepare(s, StatementText, TextLength);
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                            SQLINTEGER TextLength) {
    // An empty text fails without a diagnostic and without an exit line.
    const SQLLEN length = textLength(StatementText, TextLength);
    return StmtCall("SQLExecDirect", StatementHandle)
        .run([&](Statement* s) { return VSqlExecDirect(s, StatementText, length); },
             length > 0 ? kExitWithReturnCode : nullptr);
}

VSQL_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle) {
    return StmtCall("SQLExecute", StatementHandle).run([&](Statement* s) { return VSqlExecuteStatement(s); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT* ParameterCountPtr) {
    return StmtCall("SQLNumParams", StatementHandle).run([&](Statement* s) {
        if (ParameterCountPtr) *ParameterCountPtr = SQLSMALLINT(s->markerCount);
        return SQL_SUCCESS;
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT* ColumnCountPtr) {
    return StmtCall("SQLNumResultCols", StatementHandle)
        .run(
            [&](Statement* s) {
                if (ColumnCountPtr) *ColumnCountPtr = SQLSMALLINT(s->resultSet ? s->resultSet->columnCount : 0);
                return SQL_SUCCESS;
            },
            "Exit");
}

VSQL_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle) {
    // A statement never has a second result.
    return StatementHandle ? SQL_NO_DATA : SQL_INVALID_HANDLE;
}
