// The stored result of a statement: metadata and the rows of the current
// block, built by the result-set parser or by the catalog functions, and the
// mapping of server type names onto the few SQL types the driver reports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/entry/odbc.h"
#include "util/PtrList.h"

struct Statement;

// Fixed text fields hold their terminator.
constexpr int kStatementTypeSize = 7;   // "SELECT" and the like
constexpr int kColumnTextSize = 33;     // table, column, label, type names

// One value of a row, a compact record in its result set's arena: a block
// of many rows costs little more than its text.
struct ColumnValue {
    char* data;                // null, or the bytes with a terminator after them
    char* fetchKey;            // owned heap text or null: fetched later by key
    std::uint32_t length;      // bytes in data
    std::uint8_t isNull;
    std::uint8_t base64;       // the text came base64-encoded
    std::uint8_t dataInArena;  // data goes with the arena or the document, never alone
    std::uint8_t hasPart;      // a P element gave the data
};

struct Row {
    std::int32_t rowNumber;
    std::int32_t recordNumber;
    std::int32_t partNumber;
    std::int32_t valueCount;     // value of column n is values[n-1]
    std::int32_t valueCapacity;
    ColumnValue* values;         // in the arena
};

struct ArenaChunk;  // a block of the arena (resultset.cpp)

struct ColumnMetaData {
    char tableName[kColumnTextSize];
    char columnName[kColumnTextSize];
    char columnLabel[kColumnTextSize];
    char columnType[kColumnTextSize];
    std::uint32_t precision;
    std::int32_t id;
    std::int32_t sqlType;
    std::uint32_t maxLength;
    std::uint8_t isNullable;
};

struct ResultSet {
    char statementType[kStatementTypeSize];
    std::int32_t rowCount;     // whole result as the server says; -1 unknown
    std::int32_t columnCount;  // never more than columns holds once built
    PtrList columns;           // of ColumnMetaData; column n is element n-1
    PtrList rows;              // of Row, the stored block
    // The block's rows, values and value texts, carved out of a few large
    // blocks and released with them: one heap block per value costs more
    // than the value.
    ArenaChunk* arena;
    // The answer's own heap block when values point into it (read in place,
    // each text's end marked with a zero); released with the rows.
    char* document;
};

// One fixed column of a catalog or type-information result.
struct CatalogColumn {
    char name[kColumnTextSize];
    std::int32_t sqlType;
    std::int32_t maxLength;
    std::uint8_t isNullable;
};

// Sizes the driver reports for each SQL type it knows; zeros for the others.
struct TypeSizes {
    SQLLEN displaySize;
    SQLULEN length;
    SQLLEN octetLength;
    std::int32_t radix;
};

// Server type name to SQL type; 0 for names the driver does not know.
std::int32_t typeNameToSqlType(const char* typeName);
// Name reported for an SQL type; "" for types without one.
const char* sqlTypeName(std::int32_t sqlType);
const TypeSizes& sqlTypeSizes(std::int32_t sqlType);

// An empty result set (rowCount -1, no columns, no rows), or null when the
// heap refuses.
ResultSet* newResultSet();
ResultSet* makeCatalogResultSet(const char* tableName, const CatalogColumn* columnTable, int n);
void freeResultSet(ResultSet* resultSet);

// Records appended to a result set, in its arena; null when the heap refuses.
// presize: value slots to reserve in the row (-1: one per described column,
// at most 64; 0: its first value reserves them).
ColumnMetaData* appendColumn(ResultSet* resultSet);
Row* appendRow(ResultSet* resultSet, std::int32_t presize = -1);
ColumnValue* appendValue(ResultSet* resultSet, Row* row);
// Room for n values in the row without growing; false when the heap refuses.
bool reserveValueSlots(ResultSet* resultSet, Row* row, std::int32_t n);
// Arena bytes a row with room for n values costs.
std::uint64_t valueSlotsCost(std::int32_t n);
// A copy of n bytes and a terminator in the arena; null when the heap refuses.
char* arenaText(ResultSet* resultSet, const char* bytes, std::size_t n);
// Back to what newResultSet gives, keeping the record itself.
void clearResultSet(ResultSet* resultSet);

// Typed access; null when the index is out of range. Indexes count from 0.
// A row may hold fewer values than the result has columns (a server that
// leaves a value out): the missing value reads as null here.
ColumnMetaData* resultColumn(const ResultSet* resultSet, int index);
Row* resultRow(const ResultSet* resultSet, int index);
int resultRowCount(const ResultSet* resultSet);
ColumnValue* rowValue(const Row* row, int index);

// Rewrites the statement's implementation row descriptor from its result set.
void populateIrd(Statement* stmt);
