// The catalog functions: SQLTables, SQLColumns, SQLPrimaryKeys,
// SQLSpecialColumns and SQLStatistics answer with fixed SELECT texts over the
// server's catalog tables VDBS.TABLES and VDBS.COLUMNS, with small results
// built here, or with a local result that receives the server's rows.
#pragma once

#include "driver/entry/handles.h"
#include "driver/stmt/resultset.h"

// A name argument of a catalog function: null when no name was given (which
// differs from an empty one).
struct CatalogName {
    char* text = nullptr;  // owned heap text
    CatalogName(const SQLCHAR* name, SQLSMALLINT length);
    ~CatalogName() { freeText(text); }
    CatalogName(const CatalogName&) = delete;
    CatalogName& operator=(const CatalogName&) = delete;
    bool given() const { return text != nullptr; }
    bool is(const char* value) const;
    const char* forLog() const { return text ? text : "(null)"; }
};

// Removes the backslash of "\%", "\_" and "\\" in place.
void unescapePattern(char* text);

// Sets a value to a copy of text, or to null for a null text. False when the
// heap refuses.
bool setValueText(ColumnValue* value, const char* text);
// Appends a row of n values (null entries are null values), numbered after
// the rows already there. False when the heap refuses.
bool appendTextRow(ResultSet* resultSet, const char* const* values, int n);

// Closes the statement and gives it a new local result; block mode off when
// asked. HY001 and SQL_ERROR when the heap refuses.
SQLRETURN startLocalResult(Statement* stmt, const char* tableName, const CatalogColumn* columns, int n,
                           bool blockModeOff);

SQLRETURN VSqlTables(Statement* stmt, const CatalogName& catalog, const CatalogName& schema,
                     const CatalogName& table, const CatalogName& tableType);
// column: a search pattern (LIKE, the escape character a backslash); none,
// empty or "%" is every column.
SQLRETURN VSqlColumns(Statement* stmt, const CatalogName& table, const CatalogName& column);
SQLRETURN VSqlPrimaryKeys(Statement* stmt, const CatalogName& table);
SQLRETURN VSqlSpecialColumns(Statement* stmt, SQLUSMALLINT identifierType, const CatalogName& table);
SQLRETURN VSqlStatistics(Statement* stmt);
