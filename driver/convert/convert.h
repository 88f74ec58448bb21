// Conversion of a stored result value (always text, or bytes for LONG
// VARBINARY) into an application's C type, and the piecewise retrieval of
// SQLGetData built on it.
#pragma once

#include <cstddef>

#include "driver/entry/handles.h"

struct ColumnMetaData;
struct ColumnValue;

// Converts sourceLength bytes of source (a value of SQL type sqlType) into
// cType at target. *consumed receives the source bytes used, *reported the
// length to report to the application; sqlState (six bytes) the state of a
// result other than SQL_SUCCESS. A null target writes nothing.
SQLRETURN valueToCType(SQLSMALLINT sqlType, const char* source, SQLLEN sourceLength, SQLSMALLINT cType,
                       SQLPOINTER target, SQLLEN bufferLength, SQLLEN* consumed, SQLLEN* reported,
                       char* sqlState);

// Date texts "YYYY-MM-DD", "YYYYMMDD", "YYMMDD" and the like; time texts of
// exactly eight characters "HH:MM:SS". False when the text does not parse
// (fields parsed before the failure are already stored).
bool parseDateText(const char* text, std::size_t length, SQL_DATE_STRUCT& date);
bool parseTimeText(const char* text, std::size_t length, SQL_TIME_STRUCT& time);

// The common cell: text into an SQL_C_CHAR buffer that holds it whole,
// copied without the general conversion (ansi: the caller's code page may
// differ). The bytes copied, or -1 to leave the cell to the conversion.
SQLLEN copyWholeText(const ColumnMetaData* column, const ColumnValue* cell, bool ansi, SQLPOINTER target,
                     SQLLEN bufferLength, SQLLEN* lengthOut);

// Converts one non-null cell of result column `column` for SQLGetData and
// for the bound columns of SQLFetch; fetches a by-reference value first.
SQLRETURN VSqlGetData(Statement* stmt, const ColumnMetaData* column, ColumnValue* cell, SQLSMALLINT targetType,
                      SQLPOINTER target, SQLLEN bufferLength, SQLLEN* lengthOut);

// SQLGetData on the current row: checks the column and cursor, then
// converts the cell through VSqlGetData.
SQLRETURN getColumnData(Statement* stmt, SQLUSMALLINT columnNumber, SQLSMALLINT targetType, SQLPOINTER target,
                        SQLLEN bufferLength, SQLLEN* strLenOrInd);
