// Statement preparation and execution. The server takes whole statement
// texts and has no parameter protocol: preparing keeps the text and finds its
// markers, executing writes every parameter into the text as a literal and
// sends it with "execsql".
#pragma once

#include "driver/entry/handles.h"

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
// SQLExecute: runs the prepared text with the current parameters.
SQLRETURN executePrepared(Statement* stmt);
// A new execution: the parameter array starts at its first row.
void startParameterRows(Statement* stmt);
// Writes and runs the parameters of each row of the parameter array from
// paramRow on (one row without an array), continuing where data at
// execution stopped (shared by SQLExecute, SQLExecDirect and SQLParamData;
// tag names the caller in the log). Fills the status array and the
// processed count; with an array, failed rows are SQL_PARAM_ERROR with
// diagnostics carrying their row numbers, and the result is SQL_ERROR only
// when every row failed; without a status array the first failing row ends
// the execution with SQL_ERROR. SQL_NEED_DATA when a value is supplied at
// execution.
SQLRETURN executeParameterRows(Statement* stmt, const char* tag);
// The address row paramRow of parameter i (from 0) keeps its value at: what
// SQLParamData names for a value supplied at execution.
SQLPOINTER parameterDataAt(Statement* stmt, std::uint32_t i);
SQLRETURN VSqlNativeSql(Connection* conn, const SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                        SQLINTEGER bufferLength, SQLINTEGER* outLength);
// Forgets a value collected by SQLPutData.
void releasePutData(Statement* stmt);
