// A parameter's C value written as a statement literal: the server has no
// parameter protocol, so every bound value travels inside the statement.
// Pure: reads the value and the two types, writes text or names a failure.
#pragma once

#include <cstddef>
#include <string>

#include "driver/entry/odbc.h"

// One parameter value as the application bound it.
struct ParamInput {
    SQLSMALLINT cType;
    const void* data;
    SQLLEN length;  // octet count, SQL_NTS, or SQL_NULL_DATA (the value is NULL)
    SQLSMALLINT precision = 0;  // SQL_C_NUMERIC: the APD's precision (0: not checked) and scale
    SQLSMALLINT scale = 0;
};

// Why a value could not be written: an SQLSTATE and its message.
struct ParamFailure {
    char sqlState[6] = "";
    const char* message = nullptr;  // null: the standard text of the state
};

// Appends the literal for value bound for SQL type sqlType: NULL bare,
// numbers bare, texts, dates and times quoted with quotes doubled, binary as
// X'hex', or inside the object clause of "SET OBJECT" as 'data=...' (long
// texts) and 'data[base64]=...' (binary). False, with nothing appended, when
// the pair is not converted (07006) or the value does not fit the SQL type
// (22001, 22003, 22007, 22008, 22018).
bool parameterLiteral(const ParamInput& value, SQLSMALLINT sqlType, bool inObjectClause, std::string& out,
                      ParamFailure& failure);

// Bytes one element of a fixed-size C type takes in a column-wise array;
// 0 for the variable-length types (character, binary), whose elements are
// the bound buffer length apart.
std::size_t parameterElementSize(SQLSMALLINT cType);
