// A parameter's C value written as statement text: the server has no
// parameter protocol, so every bound value travels inside the statement.
#pragma once

#include <string>

#include "driver/odbc.h"

// Appends the text of one value of C type cType, bound for SQL type sqlType,
// to text. length: the indicator's value, or SQL_NTS. SQL_SUCCESS, or
// SQL_ERROR with the SQLSTATE in sqlState (six bytes) and nothing appended
// when the pair is not one the driver converts.
SQLRETURN parameterToText(SQLSMALLINT cType, const void* value, SQLLEN length, SQLSMALLINT sqlType,
                          std::string& text, char* sqlState);

// Formats a fixed-size C value (numbers, dates, times) into out; false when
// cType is not one of them or value is null.
bool formatParameter(SQLSMALLINT cType, const void* value, char (&out)[256]);
