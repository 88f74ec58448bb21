// Statement preparation and execution. The server takes whole statement
// texts and has no parameter protocol: preparing keeps the text and finds its
// markers, executing writes every parameter into the text as a literal and
// sends it with "execsql".
#pragma once

#include "driver/handles.h"

// Finds the parameter markers of sqlText (outside quoted literals) and
// whether one stands inside the parenthesis after "SET OBJECT".
void scanParameterMarkers(Statement* stmt);
// Builds sentText from sqlText and the parameters, from nextMarker on.
// SQL_SUCCESS; SQL_NEED_DATA when a parameter is supplied at execution;
// SQL_ERROR with a diagnostic for a refused or missing parameter.
SQLRETURN substituteParameters(Statement* stmt);
// Sends sentText for the next block (or all rows without block mode) and
// stores the answer: a result set, or the affected-row count. Also how a
// fetch asks for the next block once it has released the stored one.
SQLRETURN VSqlExecute(Statement* stmt);

// Internal forms of the exported functions (the caller holds the lock).
SQLRETURN VSqlPrepare(Statement* stmt, const SQLCHAR* text, SQLINTEGER length);
SQLRETURN VSqlExecDirect(Statement* stmt, const SQLCHAR* text, SQLLEN length);
SQLRETURN VSqlExecuteStatement(Statement* stmt);
SQLRETURN VSqlNativeSql(Connection* conn, const SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                        SQLINTEGER bufferLength, SQLINTEGER* outLength);
// The execution after the last parameter has been written (shared by
// SQLExecute, SQLExecDirect and SQLParamData): runs the statement and
// describes its result.
SQLRETURN executeSubstituted(Statement* stmt, SQLRETURN substituted);
// Forgets a value collected by SQLPutData.
void releasePutData(Statement* stmt);
