// The forward-only cursor over a statement's stored result: fetching rows
// into bound columns (asking the server for further blocks), closing, row
// counts and cursor names.
#pragma once

#include "driver/entry/handles.h"

// Internal forms of the exported functions; the caller holds the lock.
SQLRETURN VSqlFetch(Statement* stmt);
SQLRETURN VSqlRowCount(Statement* stmt, SQLLEN* rowCount);
SQLRETURN VSqlGetCursorName(Statement* stmt, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* nameLength);
SQLRETURN VSqlSetCursorName(Statement* stmt, const SQLCHAR* name, SQLSMALLINT nameLength);
