// SQLTables, SQLColumns, SQLPrimaryKeys, SQLSpecialColumns, SQLStatistics.
// The server has no catalog calls of its own: its tables are described in
// VDBS.TABLES and VDBS.COLUMNS, which these functions query with fixed texts.
#include "driver/catalog/catalog.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/entry/apicall.h"
#include "driver/stmt/execute.h"
#include "driver/convert/widetext.h"
#include "log/VfxLogger.h"

namespace {

constexpr SQLSMALLINT kNullable = 1;
constexpr SQLSMALLINT kNoNulls = 0;

const CatalogColumn kTablesColumns[] = {
    {"TABLE_CAT", SQL_VARCHAR, 255, kNullable},  {"TABLE_SCHEM", SQL_VARCHAR, 255, kNullable},
    {"TABLE_NAME", SQL_VARCHAR, 255, kNullable}, {"TABLE_TYPE", SQL_VARCHAR, 255, kNullable},
    {"REMARKS", SQL_VARCHAR, 255, kNullable},
};

const CatalogColumn kColumnsColumns[] = {
    {"TABLE_CAT", SQL_VARCHAR, 255, kNullable},       {"TABLE_SCHEM", SQL_VARCHAR, 255, kNullable},
    {"TABLE_NAME", SQL_VARCHAR, 255, kNoNulls},       {"COLUMN_NAME", SQL_VARCHAR, 255, kNoNulls},
    {"DATA_TYPE", SQL_SMALLINT, 5, kNoNulls},         {"TYPE_NAME", SQL_VARCHAR, 20, kNoNulls},
    {"COLUMN_SIZE", SQL_INTEGER, 10, kNullable},      {"BUFFER_LENGTH", SQL_INTEGER, 10, kNullable},
    {"DECIMAL_DIGITS", SQL_SMALLINT, 5, kNullable},   {"NUM_PREC_RADIX", SQL_SMALLINT, 5, kNullable},
    {"NULLABLE", SQL_SMALLINT, 5, kNoNulls},          {"REMARKS", SQL_VARCHAR, 255, kNullable},
    {"COLUMN_DEF", SQL_VARCHAR, 255, kNullable},      {"SQL_DATA_TYPE", SQL_SMALLINT, 5, kNoNulls},
    {"SQL_DATE_TIME_SUB", SQL_SMALLINT, 5, kNullable}, {"CHAR_OCTET_LENGTH", SQL_INTEGER, 10, kNullable},
    {"ORDINAL_POSITION", SQL_INTEGER, 10, kNoNulls},  {"IS_NULLABLE", SQL_VARCHAR, 3, kNullable},
};

const CatalogColumn kPrimaryKeyColumns[] = {
    {"TABLE_CAT", SQL_VARCHAR, 255, kNullable},  {"TABLE_SCHEM", SQL_VARCHAR, 255, kNullable},
    {"TABLE_NAME", SQL_VARCHAR, 255, kNoNulls},  {"COLUMN_NAME", SQL_VARCHAR, 255, kNoNulls},
    {"KEY_SEQ", SQL_SMALLINT, 5, kNoNulls},      {"PK_NAME", SQL_VARCHAR, 255, kNullable},
};

const CatalogColumn kSpecialColumns[] = {
    {"SCOPE", SQL_SMALLINT, 5, kNullable},         {"COLUMN_NAME", SQL_VARCHAR, 255, kNoNulls},
    {"DATA_TYPE", SQL_SMALLINT, 5, kNoNulls},      {"TYPE_NAME", SQL_VARCHAR, 20, kNoNulls},
    {"COLUMN_SIZE", SQL_INTEGER, 10, kNullable},   {"BUFFER_LENGTH", SQL_INTEGER, 10, kNullable},
    {"DECIMAL_DIGITS", SQL_SMALLINT, 5, kNullable}, {"PSEUDO_COLUMN", SQL_SMALLINT, 5, kNullable},
};

const CatalogColumn kStatisticsColumns[] = {
    {"TABLE_CAT", SQL_VARCHAR, 255, kNullable},        {"TABLE_SCHEM", SQL_VARCHAR, 255, kNullable},
    {"TABLE_NAME", SQL_VARCHAR, 255, kNoNulls},        {"NON_UNIQUE", SQL_SMALLINT, 5, kNullable},
    {"INDEX_QUALIFIER", SQL_VARCHAR, 255, kNullable},  {"INDEX_NAME", SQL_VARCHAR, 255, kNullable},
    {"TYPE", SQL_SMALLINT, 5, kNoNulls},               {"ORDINAL_POSITION", SQL_SMALLINT, 5, kNullable},
    {"COLUMN_NAME", SQL_VARCHAR, 255, kNullable},      {"ASC_OR_DESC", SQL_CHAR, 1, kNullable},
    {"CARDINALITY", SQL_INTEGER, 10, kNullable},       {"PAGES", SQL_INTEGER, 10, kNullable},
    {"FILTER_CONDITION", SQL_VARCHAR, 255, kNullable},
};

template <std::size_t N>
constexpr int countOf(const CatalogColumn (&)[N]) {
    return int(N);
}

SQLRETURN outOfMemory(Statement* stmt) {
    addOdbcError(stmt, "HY001", "Memory allocation error");
    return SQL_ERROR;
}

// Sends text through the ordinary execution path, into the statement's
// result set when it already has one.
SQLRETURN executeText(Statement* stmt, const std::string& text) {
    stmt->sentText = text;
    return VSqlExecute(stmt);
}

// A local result with fixed descriptions received the server's descriptions
// after its own; the application sees the fixed ones, as many as the server
// described.
void keepFixedDescriptions(ResultSet* rs, int fixed) {
    const int fromServer = rs->columns.getCount() - fixed;
    rs->columnCount = fromServer < 0 ? 0 : fromServer;
}

std::string decimal(long value) { return std::to_string(value); }

// A name argument as an SQL literal, every quote doubled: whatever the
// application passes stays one value and never becomes part of the statement.
std::string literal(const char* text) {
    std::string out = "'";
    for (const char* p = text; *p; ++p) {
        if (*p == '\'') out += '\'';
        out += *p;
    }
    return out + "'";
}

// Rewrites one value of a row; a value the server left out stays missing.
bool setRowValue(const Row* row, int index, const char* text) {
    ColumnValue* value = rowValue(row, index);
    return !value || setValueText(value, text);
}

// What the server cannot say about a column in VDBS.COLUMNS, derived from
// its type name.
enum ColumnsIndex {
    kDataType = 4, kTypeName = 5, kColumnSize = 6, kBufferLength = 7, kDecimalDigits = 8, kNumPrecRadix = 9,
    kNullableIndex = 10, kSqlDataType = 13, kDateTimeSub = 14, kCharOctetLength = 15, kOrdinalPosition = 16,
    kIsNullable = 17,
};

long numberIn(const Row* row, int index) {
    const ColumnValue* v = rowValue(row, index);
    return v && !v->isNull && v->data ? std::atol(v->data) : 0;
}

std::int32_t sqlTypeIn(const Row* row, int index) {
    const ColumnValue* typeName = rowValue(row, index);
    return typeNameToSqlType(typeName && !typeName->isNull ? typeName->data : nullptr);
}

// A column's size and octet length by its type; a VARCHAR's as declared
// when the server gives that (declared > 0).
void columnSizes(std::int32_t t, long declared, long& size, long& octets) {
    const TypeSizes& sizes = sqlTypeSizes(t);
    size = long(sizes.length);
    octets = t == SQL_LONGVARBINARY ? long(sizes.length) : long(sizes.octetLength);
    if (t == SQL_VARCHAR && declared > 0) size = octets = declared;
}

// COLUMN_SIZE holds the server's length of the column when it gives one.
bool completeColumnsRow(const Row* row) {
    const std::int32_t t = sqlTypeIn(row, kTypeName);
    const bool datetime = t == SQL_TYPE_DATE || t == SQL_TYPE_TIME;
    const TypeSizes& sizes = sqlTypeSizes(t);
    long size = 0, octets = 0;
    columnSizes(t, numberIn(row, kColumnSize), size, octets);
    bool ok = setRowValue(row, kDataType, decimal(t).c_str()) &&
              setRowValue(row, kSqlDataType, decimal(datetime ? SQL_DATETIME : t).c_str());
    if (datetime)
        ok = ok && setRowValue(row, kDateTimeSub, t == SQL_TYPE_DATE ? "1" : "2");
    if (t != 0)
        ok = ok && setRowValue(row, kColumnSize, decimal(size).c_str()) &&
             setRowValue(row, kBufferLength, decimal(octets).c_str());
    if (sizes.radix) ok = ok && setRowValue(row, kNumPrecRadix, decimal(sizes.radix).c_str());
    if (t == SQL_INTEGER || t == SQL_TYPE_TIME) ok = ok && setRowValue(row, kDecimalDigits, "0");
    if (t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_LONGVARBINARY)
        ok = ok && setRowValue(row, kCharOctetLength, decimal(octets).c_str());
    const ColumnValue* nullable = rowValue(row, kNullableIndex);
    const bool isNullable = nullable && !nullable->isNull && nullable->data && std::atol(nullable->data) == 1;
    ok = ok && setRowValue(row, kOrdinalPosition, decimal(row->rowNumber).c_str()) &&
         setRowValue(row, kIsNullable, isNullable ? "YES" : "NO");
    return ok;
}

}  // namespace

CatalogName::CatalogName(const SQLCHAR* name, SQLSMALLINT length) {
    std::string held;
    name = ansiIn(name, length, held);
    if (name) text = newText(reinterpret_cast<const char*>(name), length < 0 ? -1 : length);
}

bool CatalogName::is(const char* value) const { return text && std::strcmp(text, value) == 0; }

void unescapePattern(char* text) {
    if (!text) return;
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (in[0] == '\\' && (in[1] == '%' || in[1] == '_' || in[1] == '\\')) ++in;
        *out++ = *in;
    }
    *out = '\0';
}

bool setValueText(ColumnValue* value, const char* text) {
    char* copy = nullptr;
    if (text && !(copy = newText(text))) return false;
    if (!value->dataInArena) plat::heapFree(value->data);  // an arena's text goes with its block
    plat::heapFree(value->fetchKey);
    value->fetchKey = nullptr;
    value->base64 = 0;
    value->data = copy;
    value->dataInArena = 0;
    value->length = copy ? std::uint32_t(std::strlen(copy)) : 0;
    value->isNull = copy ? 0 : 1;
    return true;
}

bool appendTextRow(ResultSet* resultSet, const char* const* values, int n) {
    const int number = resultRowCount(resultSet) + 1;
    Row* row = appendRow(resultSet);
    if (!row) return false;
    row->rowNumber = number;
    for (int i = 0; i < n; ++i) {
        ColumnValue* value = appendValue(resultSet, row);
        if (!value) return false;
        if (!setValueText(value, values[i])) return false;
    }
    return true;
}

SQLRETURN startLocalResult(Statement* stmt, const char* tableName, const CatalogColumn* columns, int n,
                           bool blockModeOff) {
    VSqlFreeStatement(stmt, SQL_CLOSE);
    if (blockModeOff) stmt->blockMode = 0;
    stmt->resultSet.reset(makeCatalogResultSet(tableName, columns, n));
    return stmt->resultSet ? SQL_SUCCESS : outOfMemory(stmt);
}

SQLRETURN VSqlTables(Statement* stmt, const CatalogName& catalog, const CatalogName& schema,
                     const CatalogName& table, const CatalogName& tableType) {
    VSqlFreeStatement(stmt, SQL_CLOSE);
    stmt->blockMode = 0;
    unescapePattern(table.text);

    const char* local[5] = {};
    if (catalog.is("%") && schema.is("") && table.is("")) {
        local[0] = stmt->conn->server;  // the catalog list: the server itself
    } else if (catalog.is("") && schema.is("") && table.is("") && tableType.is("%")) {
        local[3] = "TABLE";  // the table-type list
    }
    if (local[0] || local[3]) {
        SQLRETURN rc = startLocalResult(stmt, "Catalog", kTablesColumns, countOf(kTablesColumns), true);
        if (rc != SQL_SUCCESS) return rc;
        if (!appendTextRow(stmt->resultSet, local, countOf(kTablesColumns))) {
            VSqlFreeStatement(stmt, SQL_CLOSE);
            return outOfMemory(stmt);
        }
        populateIrd(stmt);
        return SQL_SUCCESS;
    }

    std::string sql;
    if (catalog.is("") && schema.is("%") && table.is("")) {
        sql = "SELECT NULL AS TABLE_CAT, OWNER AS TABLE_SCHEM, NULL AS TABLE_NAME, NULL AS TABLE_TYPE, "
              "NULL AS REMARKS FROM VDBS.TABLES";
    } else {
        sql = "SELECT '' AS TABLE_CAT, OWNER AS TABLE_SCHEM, NAME AS TABLE_NAME, 'TABLE' AS TABLE_TYPE, "
              "'' AS REMARKS FROM VDBS.TABLES";
        if (table.given()) sql += " WHERE NAME = " + literal(table.text);
        driverLog().Debug("SQLTables", "Query: %s", sql.c_str());
    }
    SQLRETURN rc = executeText(stmt, sql);
    if (rc == SQL_SUCCESS && stmt->resultSet) populateIrd(stmt);
    return rc;
}

namespace {

// Runs the text that query(sizeColumn) makes, asking the server for each
// column's MAXLENGTH; a server whose catalog has none is asked again for 0,
// and the sizes come from the types alone.
template <typename Query>
SQLRETURN executeWithSizes(Statement* stmt, const char* tag, Query query) {
    std::string sql = query("MAXLENGTH");
    driverLog().Debug(tag, "%s", sql.c_str());
    SQLRETURN rc = executeText(stmt, sql);
    if (rc == SQL_ERROR) {
        clearDiagArea(stmt->diag);
        sql = query("0");
        driverLog().Debug(tag, "%s", sql.c_str());
        rc = executeText(stmt, sql);
    }
    return rc;
}

// sizeColumn: what the server is asked for as COLUMN_SIZE.
std::string columnsQuery(const char* tableName, const CatalogName& column, const char* sizeColumn) {
    std::string sql = std::string(
                          "select '' AS TABLE_CAT, '' AS TABLE_SCHEM, TABLENAME AS TABLE_NAME, "
                          "COLNAME AS COLUMN_NAME, 0 AS DATA_TYPE, SQLTYPE AS TYPE_NAME, ") +
                      sizeColumn +
                      " AS COLUMN_SIZE, "
                      "0 AS BUFFER_LENGTH, NULL AS DECIMAL_DIGITS, NULL AS NUM_PREC_RADIX, NULLABLE, "
                      "NULL AS REMARKS, NULL AS COLUMN_DEF, 0 AS SQL_DATA_TYPE, "
                      "NULL AS SQL_DATE_TIME_SUB, NULL AS CHAR_OCTET_LENGTH, 0 AS ORDINAL_POSITION, "
                      "'' AS IS_NULLABLE FROM VDBS.COLUMNS WHERE TABLENAME = " +
                      literal(tableName);
    // The column name is a search pattern; "%" alone is every column.
    if (column.given() && column.text[0] && std::strcmp(column.text, "%") != 0)
        sql += " AND COLNAME LIKE " + literal(column.text) + " ESCAPE '\\'";
    return sql;
}

}  // namespace

SQLRETURN VSqlColumns(Statement* stmt, const CatalogName& table, const CatalogName& column) {
    VSqlFreeStatement(stmt, SQL_CLOSE);
    stmt->blockMode = 0;
    if (!table.given() || !table.text[0]) {
        addOdbcError(stmt, "HYC00", "Optional feature not implemented");
        return SQL_ERROR;
    }
    unescapePattern(table.text);
    const char* dot = std::strrchr(table.text, '.');
    const char* name = dot ? dot + 1 : table.text;

    SQLRETURN rc = executeWithSizes(stmt, "SQLColumns",
                                    [&](const char* size) { return columnsQuery(name, column, size); });
    ResultSet* rs = stmt->resultSet;
    if (!rs) return rc;

    // The query's columns are all texts or zeros; the fixed table says what
    // the application is told.
    for (int i = 0; i < rs->columnCount && i < countOf(kColumnsColumns); ++i) {
        ColumnMetaData* col = resultColumn(rs, i);
        if (!col) break;
        const CatalogColumn& entry = kColumnsColumns[i];
        if (col->sqlType != entry.sqlType) {
            col->sqlType = entry.sqlType;
            std::strncpy(col->columnType, sqlTypeName(entry.sqlType), sizeof col->columnType - 1);
            col->columnType[sizeof col->columnType - 1] = '\0';
            col->maxLength = std::uint32_t(entry.maxLength);
        }
        col->isNullable = entry.isNullable;
    }
    for (int i = 0; i < resultRowCount(rs); ++i) {
        if (!completeColumnsRow(resultRow(rs, i))) {
            VSqlFreeStatement(stmt, SQL_CLOSE);
            return outOfMemory(stmt);
        }
    }
    if (rc == SQL_SUCCESS) populateIrd(stmt);
    return rc;
}

// KEY_SEQ is the column's place within its table's key. Rows come ordered by
// the server's PRIMARYKEY, which is either that place or a flag; counting
// them gives the place either way. All rows come at once for the counting.
SQLRETURN VSqlPrimaryKeys(Statement* stmt, const CatalogName& table) {
    SQLRETURN rc = startLocalResult(stmt, "Primary Keys", kPrimaryKeyColumns, countOf(kPrimaryKeyColumns), true);
    if (rc != SQL_SUCCESS) return rc;
    std::string sql =
        "SELECT '' as 'TABLE_CAT', '' AS 'TABLE_SCHEM', TABLENAME AS 'TABLE_NAME', COLNAME AS 'COLUMN_NAME', "
        "1 AS KEY_SEQ, NULL AS 'PK_NAME' FROM VDBS.COLUMNS WHERE PRIMARYKEY <> 0";
    if (table.given()) sql += " AND TABLENAME = " + literal(table.text);
    sql += " ORDER BY TABLENAME, PRIMARYKEY";
    rc = executeText(stmt, sql);
    ResultSet* rs = stmt->resultSet;
    if (rc == SQL_SUCCESS && rs) {
        keepFixedDescriptions(rs, countOf(kPrimaryKeyColumns));
        constexpr int kTableName = 2, kKeySeq = 4;
        std::string previous;
        long seq = 0;
        for (int i = 0; i < resultRowCount(rs); ++i) {
            const Row* row = resultRow(rs, i);
            const ColumnValue* name = rowValue(row, kTableName);
            const std::string current = name && name->data ? name->data : "";
            seq = i > 0 && current == previous ? seq + 1 : 1;
            previous = current;
            if (!setRowValue(row, kKeySeq, decimal(seq).c_str())) {
                VSqlFreeStatement(stmt, SQL_CLOSE);
                return outOfMemory(stmt);
            }
        }
        populateIrd(stmt);
    }
    return rc;
}

// The best row identifier: the key columns (not pseudo-columns) and the
// server's record number R (a pseudo-column), valid for the session. The
// rows are completed here, so they all come at once.
SQLRETURN VSqlSpecialColumns(Statement* stmt, SQLUSMALLINT identifierType, const CatalogName& table) {
    SQLRETURN rc = startLocalResult(stmt, "Special Columns", kSpecialColumns, countOf(kSpecialColumns), true);
    if (rc != SQL_SUCCESS) return rc;
    if (identifierType == SQL_BEST_ROWID) {
        const auto query = [&](const char* size) {
            std::string sql = std::string("SELECT 2 AS SCOPE, COLNAME AS COLUMN_NAME, 0 AS DATA_TYPE, "
                                          "SQLTYPE AS TYPE_NAME, ") +
                              size +
                              " AS COLUMN_SIZE, 0 AS BUFFER_LENGTH, NULL AS DECIMAL_DIGITS, 1 AS PSEUDO_COLUMN "
                              "FROM VDBS.COLUMNS WHERE ";
            if (table.given()) sql += "TABLENAME = " + literal(table.text) + " AND ";
            sql += "PRIMARYKEY <> 0 UNION SELECT 2, 'R', 0, 'INTEGER', 0, 0, NULL, 2";
            // The record number belongs to tables that exist.
            if (table.given()) sql += " FROM VDBS.TABLES WHERE NAME = " + literal(table.text);
            return sql;
        };
        rc = executeWithSizes(stmt, "SQLSpecialColumns", query);
        ResultSet* rs = stmt->resultSet;
        if (rc == SQL_SUCCESS && rs) {
            keepFixedDescriptions(rs, countOf(kSpecialColumns));
            constexpr int kDataTypeAt = 2, kTypeNameAt = 3, kSizeAt = 4, kOctetsAt = 5, kDigitsAt = 6;
            for (int i = 0; i < resultRowCount(rs); ++i) {
                const Row* row = resultRow(rs, i);
                const std::int32_t t = sqlTypeIn(row, kTypeNameAt);
                long size = 0, octets = 0;
                columnSizes(t, numberIn(row, kSizeAt), size, octets);
                bool ok = setRowValue(row, kDataTypeAt, decimal(t).c_str()) &&
                          setRowValue(row, kSizeAt, decimal(size).c_str()) &&
                          setRowValue(row, kOctetsAt, decimal(octets).c_str());
                if (t == SQL_INTEGER || t == SQL_TYPE_TIME) ok = ok && setRowValue(row, kDigitsAt, "0");
                if (!ok) {
                    VSqlFreeStatement(stmt, SQL_CLOSE);
                    return outOfMemory(stmt);
                }
            }
        }
    }
    if (rc == SQL_SUCCESS) populateIrd(stmt);
    return rc;
}

SQLRETURN VSqlStatistics(Statement* stmt) {
    SQLRETURN rc = startLocalResult(stmt, "Statistics", kStatisticsColumns, countOf(kStatisticsColumns), false);
    if (rc == SQL_SUCCESS) populateIrd(stmt);
    return rc;
}

// ---------------------------------------------------------------------------

VSQL_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR* CatalogName_, SQLSMALLINT NameLength1,
                                        SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                        SQLSMALLINT NameLength3, SQLCHAR* TableType, SQLSMALLINT NameLength4) {
    const CatalogName catalog(CatalogName_, NameLength1), schema(SchemaName, NameLength2),
        table(TableName, NameLength3), type(TableType, NameLength4);
    return StmtCall(Api::SQLTables, StatementHandle)
        .enter(catalog.forLog(),
               schema.forLog(), table.forLog(), type.forLog())
        .run([&](Statement* s) { return VSqlTables(s, catalog, schema, table, type); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR* CatalogName_, SQLSMALLINT NameLength1,
                                         SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                         SQLSMALLINT NameLength3, SQLCHAR* ColumnName, SQLSMALLINT NameLength4) {
    const CatalogName catalog(CatalogName_, NameLength1), schema(SchemaName, NameLength2),
        table(TableName, NameLength3), column(ColumnName, NameLength4);
    return StmtCall(Api::SQLColumns, StatementHandle)
        .enter(catalog.forLog(),
               schema.forLog(), table.forLog(), column.forLog())
        .run([&](Statement* s) { return VSqlColumns(s, table, column); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT StatementHandle, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                             SQLCHAR* TableName, SQLSMALLINT NameLength3) {
    const CatalogName table(TableName, NameLength3);
    return StmtCall(Api::SQLPrimaryKeys, StatementHandle)
        .run([&](Statement* s) { return VSqlPrimaryKeys(s, table); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLCHAR*,
                                                SQLSMALLINT, SQLCHAR*, SQLSMALLINT, SQLCHAR* TableName,
                                                SQLSMALLINT NameLength3, SQLUSMALLINT, SQLUSMALLINT) {
    const CatalogName table(TableName, NameLength3);
    return StmtCall(Api::SQLSpecialColumns, StatementHandle)
        .run([&](Statement* s) { return VSqlSpecialColumns(s, IdentifierType, table); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT StatementHandle, SQLCHAR*, SQLSMALLINT, SQLCHAR*, SQLSMALLINT,
                                            SQLCHAR*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) {
    return StmtCall(Api::SQLStatistics, StatementHandle)
        .run([&](Statement* s) { return VSqlStatistics(s); });
}
