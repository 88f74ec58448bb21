// The type-setting rules shared by binding, SQLSetDescField and the
// population of the implementation row descriptor: how a concise type splits
// into the verbose type and the datetime code, and the fields each type
// resets.
#pragma once

#include "driver/entry/handles.h"

// For application descriptors (C types): SQL_C_DATE (9) and SQL_C_TIME (10)
// become the verbose datetime type with codes 1 and 2.
void applyCType(DescriptorRecord& record, SQLSMALLINT cType);
// For implementation descriptors (SQL types): SQL_TYPE_DATE (91) and
// SQL_TYPE_TIME (92) become the verbose datetime type with codes 1 and 2.
void applySqlType(DescriptorRecord& record, SQLSMALLINT sqlType);
// The length, precision and scale a record takes from its verbose type.
void applyTypeDefaults(DescriptorRecord& record);
// The C type that SQL_C_DEFAULT stands for with a column of this SQL type.
SQLSMALLINT cTypeForSqlType(SQLSMALLINT sqlType);
