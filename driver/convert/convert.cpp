// Stored values to C types. Every value the server sends is text; the table
// below says which SQL types each C type accepts and how it is filled.
#include "driver/convert/convert.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/stmt/requests.h"
#include "driver/stmt/resultset.h"
#include "driver/convert/typerules.h"
#include "driver/convert/widetext.h"
#include "platform/platform.h"

namespace {

enum class Target : unsigned char { Text, WText, Binary, ULong, UShort, SLong, SShort, Float, Double, Date, Time, Timestamp };

// How truncation of a character copy is answered.
enum class Cut : unsigned char { None, Info, Error };

struct ConversionRow {
    SQLSMALLINT cType;
    Target target;
    Cut cut;
    SQLSMALLINT sqlTypes[6];  // allowed source types; 0 ends the list early
    int sqlTypeCount;
};

// SQL_CHAR (1) only comes from the fixed catalog columns; it reads like VARCHAR.
const ConversionRow kConversions[] = {
    {SQL_C_CHAR, Target::Text, Cut::Info, {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_CHAR}, 3},
    {SQL_C_CHAR, Target::Text, Cut::Error, {SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_TYPE_DATE, SQL_TYPE_TIME}, 5},
    {SQL_C_WCHAR, Target::WText, Cut::Info, {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_CHAR}, 3},
    {SQL_C_WCHAR, Target::WText, Cut::Error, {SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_TYPE_DATE, SQL_TYPE_TIME}, 5},
    {SQL_C_BINARY, Target::Binary, Cut::Info, {SQL_LONGVARBINARY}, 1},
    {SQL_C_ULONG, Target::ULong, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_USHORT, Target::UShort, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_SLONG, Target::SLong, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_LONG, Target::SLong, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_SSHORT, Target::SShort, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_SHORT, Target::SShort, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_VARCHAR}, 4},
    {SQL_C_FLOAT, Target::Float, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_VARCHAR}, 5},
    {SQL_C_DOUBLE, Target::Double, Cut::None, {SQL_LONGVARCHAR, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT, SQL_VARCHAR}, 5},
    {SQL_C_TYPE_DATE, Target::Date, Cut::None, {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_TYPE_DATE}, 3},
    {SQL_C_TYPE_TIME, Target::Time, Cut::None, {SQL_LONGVARCHAR, SQL_VARCHAR, SQL_TYPE_TIME}, 3},
    {SQL_C_TYPE_TIMESTAMP, Target::Timestamp, Cut::None, {SQL_TYPE_DATE, SQL_TYPE_TIME}, 2},
};

const ConversionRow* findConversion(SQLSMALLINT cType, SQLSMALLINT sqlType) {
    for (const ConversionRow& row : kConversions) {
        if (row.cType != cType) continue;
        for (int i = 0; i < row.sqlTypeCount; ++i)
            if (row.sqlTypes[i] == sqlType) return &row;
    }
    return nullptr;
}

bool hasNonAscii(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return true;
    return false;
}

// Length of the text up to its first NUL, within length bytes.
std::size_t lengthBeforeNul(const char* source, SQLLEN length) {
    if (!source || length <= 0) return 0;
    const void* nul = std::memchr(source, 0, std::size_t(length));
    return nul ? std::size_t(static_cast<const char*>(nul) - source) : std::size_t(length);
}

// A number is read as a terminated text; digits beyond a few hundred cannot
// change what a 64-bit or double conversion gives, so the copy is bounded.
std::string numberText(const char* source, SQLLEN length) {
    std::size_t n = lengthBeforeNul(source, length);
    return std::string(source ? source : "", n < 400 ? n : 400);
}

long long integerValue(const char* source, SQLLEN length) {
    return std::strtoll(numberText(source, length).c_str(), nullptr, 10);
}

double floatingValue(const char* source, SQLLEN length) {
    return std::strtod(numberText(source, length).c_str(), nullptr);
}

template <typename T>
void store(SQLPOINTER target, T value) {
    if (target) std::memcpy(target, &value, sizeof value);
}

void setState(char* sqlState, const char* state) {
    if (sqlState) std::memcpy(sqlState, state, 6);
}

}  // namespace

bool parseDateText(const char* text, std::size_t length, SQL_DATE_STRUCT& date) {
    bool allDigits = length > 0;
    for (std::size_t i = 0; i < length; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) allDigits = false;
    if (allDigits && (length == 8 || length == 6)) {
        long n = std::strtol(std::string(text, length).c_str(), nullptr, 10);
        date.year = SQLSMALLINT(n / 10000);
        date.month = SQLUSMALLINT((n % 10000) / 100);
        date.day = SQLUSMALLINT(n % 100);
        return true;
    }
    bool dashed = (length == 10 && text[4] == '-' && text[7] == '-') || (length == 8 && text[3] == '-' && text[5] == '-');
    if (!dashed) return false;
    long fields[3] = {0, 0, 0};
    int field = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (field < 3) fields[field] = fields[field] * 10 + (text[i] - '0');
        } else {
            ++field;
        }
    }
    date.year = SQLSMALLINT(fields[0]);
    date.month = SQLUSMALLINT(fields[1]);
    date.day = SQLUSMALLINT(fields[2]);
    return true;
}

bool parseTimeText(const char* text, std::size_t length, SQL_TIME_STRUCT& time) {
    if (length != 8) return false;
    int fields[3] = {0, 0, 0};
    int field = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (field >= 3) return false;
            fields[field] = fields[field] * 10 + (text[i] - '0');
        } else {
            ++field;
        }
    }
    const int limits[3] = {23, 59, 59};
    SQLUSMALLINT* out[3] = {&time.hour, &time.minute, &time.second};
    for (int i = 0; i < 3; ++i) {
        if (fields[i] > limits[i]) return false;
        *out[i] = SQLUSMALLINT(fields[i]);
    }
    return true;
}

SQLRETURN valueToCType(SQLSMALLINT sqlType, const char* source, SQLLEN sourceLength, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* consumed, SQLLEN* reported,
                       char* sqlState) {
    SQLLEN used = 0, length = 0;
    SQLRETURN rc = SQL_SUCCESS;
    const ConversionRow* row = findConversion(cType, sqlType);
    if (!row) {
        setState(sqlState, "07006");
        return SQL_ERROR;
    }
    if (sourceLength < 0 || !source) sourceLength = 0;
    switch (row->target) {
    case Target::Text: {
        length = sourceLength;
        if (target) while (length > 0 && source[length - 1] == 0) --length;
        if (ansiCall() && hasNonAscii(source, std::size_t(length))) {
            // Whole characters in the ANSI code page; the offset stays in
            // the stored text's bytes.
            const std::size_t room = target && bufferLength > 0 ? std::size_t(bufferLength - 1) : 0;
            const AnsiPiece piece =
                copyOutAnsiData(target && bufferLength > 0 ? static_cast<char*>(target) : nullptr, room, source,
                                std::size_t(length));
            if (target && bufferLength > 0) static_cast<char*>(target)[piece.written] = 0;
            used = SQLLEN(piece.consumed);
            const SQLLEN stored = length;
            length = SQLLEN(piece.remaining);
            if (used < stored) {
                setState(sqlState, row->cut == Cut::Info ? "01004" : "22003");
                rc = row->cut == Cut::Info ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
            }
            break;
        }
        if (target) {
            if (bufferLength > 0) {
                used = bufferLength - 1 < length ? bufferLength - 1 : length;
                if (used) std::memcpy(target, source, std::size_t(used));
                static_cast<char*>(target)[used] = 0;
            }
        }
        if (used < length) {
            setState(sqlState, row->cut == Cut::Info ? "01004" : "22003");
            rc = row->cut == Cut::Info ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
        }
        break;
    }
    case Target::WText: {
        // Lengths in bytes of UTF-16, pieces of whole characters; the source
        // offset stays in the stored text's own bytes.
        while (sourceLength > 0 && source[sourceLength - 1] == 0) --sourceLength;
        const WidePiece piece = copyOutWideData(target, bufferLength, source, std::size_t(sourceLength));
        used = SQLLEN(piece.consumed);
        length = SQLLEN(piece.remainingBytes);
        if (used < sourceLength) {
            setState(sqlState, row->cut == Cut::Info ? "01004" : "22003");
            rc = row->cut == Cut::Info ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
        }
        break;
    }
    case Target::Binary:
        length = sourceLength;
        if (target && bufferLength > 0) {
            used = bufferLength < length ? bufferLength : length;
            if (used) std::memcpy(target, source, std::size_t(used));
        }
        if (used < length) {
            setState(sqlState, "01004");
            rc = SQL_SUCCESS_WITH_INFO;
        }
        break;
    case Target::ULong:
        store(target, std::uint32_t(integerValue(source, sourceLength)));
        used = length = 4;
        break;
    case Target::SLong:
        store(target, std::int32_t(std::uint32_t(integerValue(source, sourceLength))));
        used = length = 4;
        break;
    case Target::UShort:
        store(target, std::uint16_t(integerValue(source, sourceLength)));
        used = length = 2;
        break;
    case Target::SShort:
        store(target, std::int16_t(std::uint16_t(integerValue(source, sourceLength))));
        used = length = 2;
        break;
    case Target::Float:
        store(target, float(floatingValue(source, sourceLength)));
        used = length = 4;
        break;
    case Target::Double:
        store(target, floatingValue(source, sourceLength));
        used = length = 8;
        break;
    case Target::Date:
    case Target::Time:
        used = length = 6;
        if (target) {
            std::size_t n = lengthBeforeNul(source, sourceLength);
            bool ok = row->target == Target::Date ? parseDateText(source, n, *static_cast<SQL_DATE_STRUCT*>(target))
                                                  : parseTimeText(source, n, *static_cast<SQL_TIME_STRUCT*>(target));
            if (!ok) {
                setState(sqlState, "22018");
                rc = SQL_ERROR;
            }
        }
        break;
    case Target::Timestamp:
        used = length = 16;
        if (target) {
            std::size_t n = lengthBeforeNul(source, sourceLength);
            SQL_TIMESTAMP_STRUCT stamp{};
            if (sqlType == SQL_TYPE_DATE) {
                SQL_DATE_STRUCT date{};
                if (!parseDateText(source, n, date)) break;
                stamp.year = date.year;
                stamp.month = date.month;
                stamp.day = date.day;
            } else {
                SQL_TIME_STRUCT time{};
                if (!parseTimeText(source, n, time)) break;
                std::tm local{};
                plat::localNow(local);
                stamp.year = SQLSMALLINT(local.tm_year + 1900);
                stamp.month = SQLUSMALLINT(local.tm_mon + 1);
                stamp.day = SQLUSMALLINT(local.tm_mday);
                stamp.hour = time.hour;
                stamp.minute = time.minute;
                stamp.second = time.second;
            }
            std::memcpy(target, &stamp, sizeof stamp);
        }
        break;
    }
    if (consumed) *consumed = used;
    if (reported) *reported = length;
    return rc;
}

namespace {

// SQL types whose stored text an SQL_C_CHAR buffer takes as it is.
bool isTextCopy(std::int32_t sqlType) {
    switch (sqlType) {
    case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_CHAR: case SQL_INTEGER: case SQL_SMALLINT: case SQL_FLOAT:
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: return true;
    default: return false;
    }
}

}  // namespace

SQLLEN copyWholeText(const ColumnMetaData* column, const ColumnValue* cell, bool ansi, SQLPOINTER target,
                     SQLLEN bufferLength, SQLLEN* lengthOut) {
    if (!cell->data || !target || !column || !isTextCopy(column->sqlType)) return -1;
    SQLLEN n = SQLLEN(cell->length);
    while (n > 0 && cell->data[n - 1] == 0) --n;
    if (n >= bufferLength || (ansi && hasNonAscii(cell->data, std::size_t(n)))) return -1;
    std::memcpy(target, cell->data, std::size_t(n));
    static_cast<char*>(target)[n] = 0;
    if (lengthOut) *lengthOut = n;
    return n;
}

SQLRETURN VSqlGetData(Statement* stmt, const ColumnMetaData* column, ColumnValue* cell, SQLSMALLINT targetType,
                      SQLPOINTER target, SQLLEN bufferLength, SQLLEN* lengthOut) {
    if (targetType == SQL_C_CHAR && stmt->getDataOffset == 0) {
        const SQLLEN n = copyWholeText(column, cell, ansiCall(), target, bufferLength, lengthOut);
        if (n >= 0) {
            // Read whole: the next call for this column finds no more data.
            if (stmt->getDataColumn > 0) stmt->getDataOffset = n > 0 ? SQLULEN(n) : (cell->length == 0 ? 1 : 0);
            return SQL_SUCCESS;
        }
    }
    // Called for every cell of a fetch: no log lines of its own.
    SQLRETURN rc = [&]() -> SQLRETURN {
        SQLSMALLINT sqlType = column ? SQLSMALLINT(column->sqlType) : SQLSMALLINT(0);
        if (targetType == SQL_C_DEFAULT) targetType = cTypeForSqlType(sqlType);
        if (!cell->data && cell->fetchKey) {
            SQLRETURN fetched = fetchObjectValue(stmt, cell);
            if (fetched != SQL_SUCCESS) return fetched;
        }
        const bool piecewise = stmt->getDataColumn > 0;
        const char* source = cell->data;
        SQLLEN length = SQLLEN(cell->length);
        if (piecewise && stmt->getDataOffset != 0) {
            bool continues = (targetType == SQL_C_CHAR || targetType == SQL_C_BINARY || targetType == SQL_C_WCHAR) &&
                             (sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR || sqlType == SQL_LONGVARBINARY) &&
                             stmt->getDataOffset < SQLULEN(length);
            if (!continues) return SQL_NO_DATA;
            source += stmt->getDataOffset;
            length -= SQLLEN(stmt->getDataOffset);
        }
        SQLLEN consumed = 0, reported = 0;
        char state[6] = "";
        SQLRETURN result = valueToCType(sqlType, source, length, targetType, target, bufferLength, &consumed,
                                        &reported, state);
        if (result != SQL_SUCCESS) addOdbcError(stmt, state, "", -2, -2);
        if (result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO) {
            if (piecewise) {
                // An empty value has nothing to consume; marking it read keeps
                // a read-until-no-data loop from repeating it for ever.
                stmt->getDataOffset += consumed > 0 ? SQLULEN(consumed) : (length == 0 ? 1 : 0);
            }
            if (lengthOut) *lengthOut = reported;
        }
        return result;
    }();
    return rc;
}

SQLRETURN getColumnData(Statement* stmt, SQLUSMALLINT columnNumber, SQLSMALLINT targetType, SQLPOINTER target,
                        SQLLEN bufferLength, SQLLEN* strLenOrInd) {
    if (stmt->getDataColumn != std::int32_t(columnNumber)) {
        stmt->getDataOffset = 0;
        stmt->getDataColumn = columnNumber;
    }
    if (stmt->ard->arraySize >= 2) {
        addOdbcError(stmt, "HY109", "Invalid cursor position");
        return SQL_ERROR;
    }
    if (bufferLength < 0 && (targetType == SQL_C_CHAR || targetType == SQL_C_WCHAR || targetType == SQL_C_BINARY)) {
        addOdbcError(stmt, "HY090", "Invalid string or buffer length");
        return SQL_ERROR;
    }
    if (targetType == SQL_ARD_TYPE) {
        if (columnNumber < 1 || columnNumber > stmt->ard->count) {
            addOdbcError(stmt, "07009", "Invalid descriptor index");
            return SQL_ERROR;
        }
        targetType = stmt->ard->records[columnNumber - 1].conciseType;
    } else if (targetType == SQL_C_DEFAULT && columnNumber >= 1 && columnNumber <= stmt->ird->count) {
        targetType = cTypeForSqlType(stmt->ird->records[columnNumber - 1].conciseType);
    }
    const ResultSet* rs = stmt->resultSet;
    if (!rs) {
        addOdbcError(stmt, "24000", "Invalid cursor state");
        return SQL_ERROR;
    }
    const long long rowIndex = stmt->rowPosition - firstStoredRow(stmt) + 1;  // in the stored rows, from 1
    const Row* row = rowIndex >= 1 && rowIndex <= resultRowCount(rs) ? resultRow(rs, int(rowIndex - 1)) : nullptr;
    if (!row) {
        addOdbcError(stmt, "24000", "Invalid cursor state");
        return SQL_ERROR;
    }
    const ColumnMetaData* column = columnNumber >= 1 ? resultColumn(rs, columnNumber - 1) : nullptr;
    if (!column || columnNumber > rs->columnCount) {
        addOdbcError(stmt, "07009", "Invalid descriptor index");
        return SQL_ERROR;
    }
    ColumnValue* cell = rowValue(row, columnNumber - 1);
    if (!cell || cell->isNull) {
        if (!strLenOrInd) {
            addOdbcError(stmt, "22002", "Indicator variable required but not supplied");
            return SQL_ERROR;
        }
        *strLenOrInd = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    return VSqlGetData(stmt, column, cell, targetType, target, bufferLength, strLenOrInd);
}
