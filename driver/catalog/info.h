// SQLGetInfo and SQLGetTypeInfo: what the driver and its server can do, and
// the data types the driver knows.
#pragma once

#include "driver/entry/handles.h"

// The answer to one information type. SQL_ERROR without a diagnostic for a
// type the driver does not answer.
SQLRETURN VSqlGetInfo(Connection* conn, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                      SQLSMALLINT* lengthPtr);

// Whether the information type is answered with text (false for numbers
// and for types the driver does not answer).
bool isTextInfo(SQLUSMALLINT infoType);

// The server's version text, asked of the server once per connection and
// kept in conn->dbmsVersion; "?" when the block cannot be made.
const char* dbmsVersionText(Connection* conn);

// Makes the type-information result the statement's result set; always
// SQL_SUCCESS unless the heap refuses.
SQLRETURN VSqlGetTypeInfo(Statement* stmt, SQLSMALLINT dataType);
