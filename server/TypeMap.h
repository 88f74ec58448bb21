// Which VORN type name a column reports. The client knows seven names; SQLite
// columns carry free-form declared types, so the declared type is matched
// against a fixed table, and a column without one (an expression) takes its
// name from the storage class of its first value.
#pragma once

#include <string>

namespace vornd {

extern const char kTypeInteger[];
extern const char kTypeVarchar[];
extern const char kTypeLongVarchar[];
extern const char kTypeLongVarbinary[];
extern const char kTypeNumeric[];
extern const char kTypeDate[];
extern const char kTypeTime[];

// The VORN name for a declared type, or null when the declared type is empty
// (the caller then uses typeForStorageClass).
const char* typeForDeclared(const char* declared);

// The VORN name for an SQLite storage class (SQLITE_INTEGER, ...).
const char* typeForStorageClass(int storageClass);

// Long types send values beyond the inline threshold by fetch key.
bool isLongType(const char* vornType);

// The size a column of this type reports: VARCHAR(n) gives n, the long types
// 2147483647, INTEGER 10, NUMERIC 15, DATE 10, TIME 8.
unsigned maxLengthFor(const char* vornType, const char* declared);

}  // namespace vornd
