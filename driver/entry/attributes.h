// Environment, connection and statement attributes. Most statement
// attributes are views of the statement's descriptors; a few connection
// values live in the Connection; the rest are fixed answers, changed values
// (01S02) or refusals. Each attribute is one row of a table (attributes.cpp).
#pragma once

#include "driver/entry/handles.h"

// Internal forms of the exported functions; the caller holds the lock (none
// for the environment) and has cleared the handle's diagnostics.
SQLRETURN VSqlGetEnvAttr(Environment* env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                         SQLINTEGER* stringLength);
SQLRETURN VSqlSetEnvAttr(Environment* env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength);
SQLRETURN VSqlGetConnectAttr(Connection* conn, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                             SQLINTEGER* stringLength);
SQLRETURN VSqlSetConnectAttr(Connection* conn, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength);
SQLRETURN VSqlGetStmtAttr(Statement* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                          SQLINTEGER* stringLength);
SQLRETURN VSqlSetStmtAttr(Statement* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER stringLength);

// Whether the attribute's value is a character string.
bool isTextConnectAttr(SQLINTEGER attribute);
bool isTextStmtAttr(SQLINTEGER attribute);
