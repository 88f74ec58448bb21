#include "driver/convert/typerules.h"

namespace {

struct ConciseRow {
    SQLSMALLINT concise;
    SQLSMALLINT verbose;
    SQLSMALLINT code;
};

// Concise datetime types and how they split; any other type is its own
// verbose type with code 0.
const ConciseRow kCTypes[] = {
    {SQL_C_DATE, SQL_DATETIME, SQL_CODE_DATE},
    {SQL_C_TIME, SQL_DATETIME, SQL_CODE_TIME},
};
const ConciseRow kSqlTypes[] = {
    {SQL_TYPE_DATE, SQL_DATETIME, SQL_CODE_DATE},
    {SQL_TYPE_TIME, SQL_DATETIME, SQL_CODE_TIME},
};

template <std::size_t N>
void applyConcise(DescriptorRecord& record, SQLSMALLINT value, const ConciseRow (&table)[N]) {
    record.conciseType = value;
    record.type = value;
    record.datetimeIntervalCode = 0;
    for (const ConciseRow& row : table) {
        if (row.concise == value) {
            record.type = row.verbose;
            record.datetimeIntervalCode = row.code;
        }
    }
}

struct DefaultCType {
    SQLSMALLINT sqlType;
    SQLSMALLINT cType;
};

const DefaultCType kDefaultCTypes[] = {
    {SQL_LONGVARBINARY, SQL_C_BINARY}, {SQL_INTEGER, SQL_C_ULONG},  {SQL_SMALLINT, SQL_C_USHORT},
    {SQL_FLOAT, SQL_C_FLOAT},          {SQL_TYPE_DATE, SQL_TYPE_DATE}, {SQL_TYPE_TIME, SQL_TYPE_TIME},
    // Parameter types beyond the server's columns, so that SQL_C_DEFAULT
    // never reads a number's bytes as text.
    {SQL_BIGINT, SQL_C_SBIGINT},       {SQL_TINYINT, SQL_C_STINYINT},  {SQL_BIT, SQL_C_BIT},
    {SQL_REAL, SQL_C_FLOAT},           {SQL_DOUBLE, SQL_C_DOUBLE},     {SQL_TYPE_TIMESTAMP, SQL_C_TYPE_TIMESTAMP},
    {SQL_BINARY, SQL_C_BINARY},        {SQL_VARBINARY, SQL_C_BINARY},
};

}  // namespace

void applyCType(DescriptorRecord& record, SQLSMALLINT cType) { applyConcise(record, cType, kCTypes); }

void applySqlType(DescriptorRecord& record, SQLSMALLINT sqlType) { applyConcise(record, sqlType, kSqlTypes); }

void applyTypeDefaults(DescriptorRecord& record) {
    switch (record.type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
        record.length = 1;
        record.precision = 0;
        break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        record.scale = 0;
        break;
    case SQL_FLOAT:
    case SQL_REAL:
        record.precision = 7;
        break;
    case SQL_DATETIME:
        if (record.datetimeIntervalCode == SQL_CODE_DATE || record.datetimeIntervalCode == SQL_CODE_TIME)
            record.precision = 0;
        else if (record.datetimeIntervalCode == SQL_CODE_TIMESTAMP)
            record.precision = 6;
        break;
    case SQL_INTERVAL:
        record.datetimeIntervalPrecision = 2;
        if (record.datetimeIntervalCode == SQL_CODE_SECOND) record.precision = 6;
        break;
    default:
        break;
    }
}

SQLSMALLINT cTypeForSqlType(SQLSMALLINT sqlType) {
    for (const DefaultCType& row : kDefaultCTypes)
        if (row.sqlType == sqlType) return row.cType;
    return SQL_C_CHAR;
}
