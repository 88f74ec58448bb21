#include "driver/stmt/resultset.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <new>

#include "driver/entry/handles.h"
#include "driver/convert/typerules.h"
#include "log/VfxLogger.h"
#include "platform/platform.h"

namespace {

struct TypeNameRow {
    const char* serverName;
    std::int32_t sqlType;
};

// Names compared exactly: the server writes them in upper case.
const TypeNameRow kServerTypes[] = {
    {"VARCHAR", SQL_VARCHAR},
    {"LONG VARCHAR", SQL_LONGVARCHAR},
    {"LONG VARBINARY", SQL_LONGVARBINARY},
    {"INTEGER", SQL_INTEGER},
    {"DATE", SQL_TYPE_DATE},
    {"TIME", SQL_TYPE_TIME},
    {"NUMERIC", SQL_FLOAT},
};

struct SqlTypeRow {
    std::int32_t sqlType;
    const char* name;
    TypeSizes sizes;
};

// A server NUMERIC is reported as FLOAT; SMALLINT has sizes but no name
// because the server never sends one.
const SqlTypeRow kSqlTypes[] = {
    {SQL_LONGVARBINARY, "LONG VARBINARY", {0, 2147483647, 0, 0}},
    {SQL_LONGVARCHAR, "LONG VARCHAR", {2147483647, 2147483647, 2147483647, 0}},
    {SQL_INTEGER, "INTEGER", {11, 10, 4, 10}},
    {SQL_SMALLINT, "", {6, 5, 2, 10}},
    {SQL_FLOAT, "FLOAT", {14, 7, 4, 10}},
    {SQL_VARCHAR, "VARCHAR", {255, 255, 255, 0}},
    {SQL_TYPE_DATE, "DATE", {10, 10, 6, 0}},
    {SQL_TYPE_TIME, "TIME", {8, 8, 6, 0}},
};

const SqlTypeRow* findSqlType(std::int32_t sqlType) {
    for (const SqlTypeRow& row : kSqlTypes)
        if (row.sqlType == sqlType) return &row;
    return nullptr;
}

// Value slots a row reserves ahead of its values.
constexpr std::int32_t kPresizedValues = 64;

void copyFixed(char* dest, std::size_t size, const char* src) {
    if (!src) src = "";
    std::size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

bool reserveSlots(PtrList& list, std::int32_t wanted) {
    if (wanted <= list.capacity) return true;
    void** grown = static_cast<void**>(std::realloc(list.items, sizeof(void*) * std::size_t(wanted)));
    if (!grown) return false;
    list.items = grown;
    list.capacity = wanted;
    return true;
}

// A list grows ten slots at a time by itself, which makes a block of many
// rows a long series of copies of the whole array; the lists of a result set
// double instead.
bool appendDoubling(PtrList& list, void* record) {
    if (list.count >= list.capacity) {
        if (list.count >= INT32_MAX / 2) return false;
        if (!reserveSlots(list, list.count < 4 ? 4 : list.count * 2)) return false;
    }
    return list.append(record);
}

}  // namespace

struct ArenaChunk {
    ArenaChunk* next;
    std::size_t used;
    std::size_t size;
    alignas(8) char bytes[1];
};

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// align: 8 for records, 1 for texts (a text needs no padding after it).
void* arenaAlloc(ResultSet* rs, std::size_t n, std::size_t align = 8) {
    ArenaChunk* head = rs->arena;
    std::size_t at = head ? (head->used + align - 1) & ~(align - 1) : 0;
    if (!head || at > head->size || head->size - at < n) {
        // A value larger than a chunk gets a chunk of its own, behind the
        // current one so that the current one keeps filling.
        const std::size_t size = n > kChunkBytes / 4 ? n : kChunkBytes;
        auto* chunk = static_cast<ArenaChunk*>(std::malloc(offsetof(ArenaChunk, bytes) + size));
        if (!chunk) return nullptr;
        chunk->used = 0;
        chunk->size = size;
        if (head && size != kChunkBytes) {
            chunk->next = head->next;
            head->next = chunk;
        } else {
            chunk->next = head;
            rs->arena = chunk;
        }
        head = chunk;
        at = 0;
    }
    head->used = at + n;
    return head->bytes + at;
}

void freeArena(ResultSet* rs) {
    for (ArenaChunk* c = rs->arena; c;) {
        ArenaChunk* next = c->next;
        std::free(c);
        c = next;
    }
    rs->arena = nullptr;
}

// Values own heap blocks only for long or fetched data and fetch keys.
void freeRowBlocks(Row* row) {
    for (int i = 0; i < row->valueCount; ++i) {
        ColumnValue& v = row->values[i];
        plat::heapFree(v.fetchKey);
        if (!v.dataInArena) plat::heapFree(v.data);
    }
}

}  // namespace

std::int32_t typeNameToSqlType(const char* typeName) {
    if (!typeName) return 0;
    for (const TypeNameRow& row : kServerTypes)
        if (std::strcmp(row.serverName, typeName) == 0) return row.sqlType;
    return 0;
}

const char* sqlTypeName(std::int32_t sqlType) {
    const SqlTypeRow* row = findSqlType(sqlType);
    return row ? row->name : "";
}

const TypeSizes& sqlTypeSizes(std::int32_t sqlType) {
    static const TypeSizes none = {0, 0, 0, 0};
    const SqlTypeRow* row = findSqlType(sqlType);
    return row ? row->sizes : none;
}

ResultSet* newResultSet() {
    ResultSet* rs = plat::heapNew<ResultSet>();
    if (rs) rs->rowCount = -1;
    return rs;
}

ResultSet* makeCatalogResultSet(const char* tableName, const CatalogColumn* columnTable, int n) {
    ResultSet* rs = newResultSet();
    if (!rs) return nullptr;
    rs->rowCount = 0;
    for (int i = 0; i < n; ++i) {
        ColumnMetaData* col = appendColumn(rs);
        if (!col) {
            freeResultSet(rs);
            return nullptr;
        }
        copyFixed(col->tableName, sizeof col->tableName, tableName);
        copyFixed(col->columnLabel, sizeof col->columnLabel, columnTable[i].name);
        col->sqlType = columnTable[i].sqlType;
        col->maxLength = static_cast<std::uint32_t>(columnTable[i].maxLength);
        col->isNullable = columnTable[i].isNullable;
    }
    rs->columnCount = n;
    return rs;
}

void clearResultSet(ResultSet* resultSet) {
    resultSet->columns.release();
    resultSet->columns = PtrList();
    for (int i = 0; i < resultSet->rows.getCount(); ++i) freeRowBlocks(static_cast<Row*>(resultSet->rows.getAt(i)));
    resultSet->rows.release();
    resultSet->rows = PtrList();
    freeArena(resultSet);
    plat::heapFree(resultSet->document);
    resultSet->document = nullptr;
    resultSet->statementType[0] = '\0';
    resultSet->rowCount = -1;
    resultSet->columnCount = 0;
}

void freeResultSet(ResultSet* resultSet) {
    driverLog().Debug("freeResultSet", "Enter");
    if (resultSet) {
        clearResultSet(resultSet);
        plat::heapDelete(resultSet);
    }
    driverLog().Debug("freeResultSet", "Exit");
}

ColumnMetaData* appendColumn(ResultSet* resultSet) {
    auto* column = static_cast<ColumnMetaData*>(arenaAlloc(resultSet, sizeof(ColumnMetaData)));
    if (!column) return nullptr;
    *column = ColumnMetaData{};
    return appendDoubling(resultSet->columns, column) ? column : nullptr;
}

Row* appendRow(ResultSet* resultSet, std::int32_t presize) {
    auto* row = static_cast<Row*>(arenaAlloc(resultSet, sizeof(Row)));
    if (!row) return nullptr;
    *row = Row{};
    if (!appendDoubling(resultSet->rows, row)) return nullptr;
    // One slot per described column, so that most rows never grow further;
    // but not thousands ahead of values that may never come.
    if (presize < 0) presize = std::min(resultSet->columns.getCount(), kPresizedValues);
    if (presize > 0 && !reserveValueSlots(resultSet, row, presize)) return nullptr;
    return row;
}

std::uint64_t valueSlotsCost(std::int32_t n) { return sizeof(ColumnValue) * std::uint64_t(n); }

bool reserveValueSlots(ResultSet* resultSet, Row* row, std::int32_t n) {
    if (n <= row->valueCapacity) return true;
    auto* values = static_cast<ColumnValue*>(arenaAlloc(resultSet, sizeof(ColumnValue) * std::size_t(n)));
    if (!values) return false;
    // The old slots stay in the arena: growth doubles, so they cost at most
    // as much again.
    if (row->valueCount) std::memcpy(values, row->values, sizeof(ColumnValue) * std::size_t(row->valueCount));
    row->values = values;
    row->valueCapacity = n;
    return true;
}

ColumnValue* appendValue(ResultSet* resultSet, Row* row) {
    if (row->valueCount >= row->valueCapacity) {
        if (row->valueCount >= INT32_MAX / 2) return nullptr;
        if (!reserveValueSlots(resultSet, row, row->valueCount < 4 ? 4 : row->valueCount * 2)) return nullptr;
    }
    ColumnValue* value = &row->values[row->valueCount++];
    *value = ColumnValue{};
    return value;
}

char* arenaText(ResultSet* resultSet, const char* bytes, std::size_t n) {
    auto* p = static_cast<char*>(arenaAlloc(resultSet, n + 1, 1));
    if (!p) return nullptr;
    if (n) std::memcpy(p, bytes, n);
    p[n] = '\0';
    return p;
}

ColumnMetaData* resultColumn(const ResultSet* resultSet, int index) {
    return resultSet ? static_cast<ColumnMetaData*>(resultSet->columns.getAt(index)) : nullptr;
}

Row* resultRow(const ResultSet* resultSet, int index) {
    return resultSet ? static_cast<Row*>(resultSet->rows.getAt(index)) : nullptr;
}

int resultRowCount(const ResultSet* resultSet) { return resultSet ? resultSet->rows.getCount() : 0; }

ColumnValue* rowValue(const Row* row, int index) {
    return row && index >= 0 && index < row->valueCount ? &row->values[index] : nullptr;
}

namespace {

// Types whose literals the server writes between quotes.
bool isQuotedType(std::int32_t sqlType) {
    return sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR || sqlType == SQL_TYPE_DATE || sqlType == SQL_TYPE_TIME;
}

void fillIrdRecord(DescriptorRecord& r, const ColumnMetaData& c) {
    const std::int32_t type = c.sqlType;
    const TypeSizes& sizes = sqlTypeSizes(type);
    const char* name = c.columnLabel[0] ? c.columnLabel : c.columnName;
    const char* quote = isQuotedType(type) ? "'" : "";
    applySqlType(r, static_cast<SQLSMALLINT>(type));
    r.autoUniqueValue = 0;
    r.caseSensitive = 0;
    r.displaySize = sizes.displaySize;
    r.fixedPrecScale = 0;
    r.length = sizes.length;
    r.nullable = c.isNullable ? SQL_NULLABLE : SQL_NO_NULLS;
    r.numPrecRadix = sizes.radix;
    r.octetLength = sizes.octetLength;
    // A VARCHAR column has the length it was declared with; 255 when the
    // server does not say.
    if (type == SQL_VARCHAR && c.maxLength > 0 && c.maxLength <= 0x7FFFFFFF)
        r.displaySize = r.octetLength = SQLLEN(r.length = c.maxLength);
    if (type == SQL_INTEGER) r.precision = 10;
    if (type == SQL_FLOAT) r.precision = SQLSMALLINT(sizes.length);
    if (type == SQL_TYPE_TIME) r.precision = 0;
    r.searchable = type == SQL_INTEGER ? SQL_PRED_BASIC : type == SQL_TYPE_TIME ? SQL_PRED_NONE : SQL_SEARCHABLE;
    r.scale = 0;
    r.isUnsigned = SQL_TRUE;
    r.updatable = SQL_ATTR_READWRITE_UNKNOWN;
    r.unnamed = name[0] ? SQL_NAMED : SQL_UNNAMED;
    r.baseColumnName = orEmpty(c.columnName);
    r.baseTableName = orEmpty(c.tableName);
    r.catalogName = orEmpty("");
    r.label = orEmpty(c.columnName);
    r.literalPrefix = orEmpty(quote);
    r.literalSuffix = orEmpty(quote);
    r.localTypeName = orEmpty(sqlTypeName(type));
    r.name = orEmpty(name);
    r.schemaName = orEmpty("");
    r.tableName = orEmpty(c.tableName);
    r.typeName = orEmpty(sqlTypeName(type));
}

}  // namespace

void populateIrd(Statement* stmt) {
    const char* tag = "populateIrd";
    driverLog().Debug(tag, "Enter");
    Descriptor* ird = stmt->ird;
    const ResultSet* rs = stmt->resultSet;
    emptyDescriptor(ird);
    int columns = rs ? rs->columnCount : 0;
    setRecordCount(ird, columns < 0 ? 0 : columns);
    driverLog().Debug(tag, "Number of allocated records %d", int(ird->count));
    for (int i = 0; i < ird->count; ++i) {
        driverLog().Debug(tag, "i=%d", i);
        if (const ColumnMetaData* c = resultColumn(rs, i)) fillIrdRecord(ird->records[i], *c);
    }
    driverLog().Debug(tag, "Exit");
}
