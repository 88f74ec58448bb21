// Diagnostics: every handle carries a DiagArea; driver code records failures
// and warnings with addOdbcError, each exported call clears the area of its
// handle at its start, the application reads it back with SQLGetDiagRec /
// SQLGetDiagField.
#pragma once

#include "driver/entry/odbc.h"
#include "util/PtrList.h"

#include <cstdint>

// Prefix of every message text.
#define VSQL_MESSAGE_PREFIX "[Kalmo][VORNsql driver]"

struct DiagRecord {
    char sqlState[6];     // five characters and NUL
    char message[513];    // prefix plus text, cut to 512 characters
    std::int32_t nativeError;   // always 0
    std::int32_t rowNumber;     // SQL_NO_ROW_NUMBER unless given
    std::int32_t columnNumber;  // SQL_NO_COLUMN_NUMBER unless given
};

struct DiagArea {
    std::uint32_t count;
    PtrList records;  // of DiagRecord, owned; record 1 is items[0]
};

// Adds a record. A null or empty message takes the standard text of the
// state; below ODBC 3 the state is translated to its ODBC 2 value.
void addOdbcError(std::uint32_t odbcVersion, DiagArea& area, const char* sqlState, const char* message);
void addOdbcError(std::uint32_t odbcVersion, DiagArea& area, const char* sqlState, const char* message,
                  std::int32_t rowNumber, std::int32_t columnNumber);

// Places the last record (when there is one) at a row and column.
void setLastDiagPosition(DiagArea& area, std::int32_t rowNumber, std::int32_t columnNumber);

// Removes every record; the area stays usable.
void clearDiagArea(DiagArea& area);
// Clears and frees the list itself; for handles being released.
void releaseDiagArea(DiagArea& area);

// Record recNumber (from 1), or null.
const DiagRecord* diagRecordAt(const DiagArea& area, SQLSMALLINT recNumber);

// The one rule for text copied out to an application, at the width of the
// call's length arguments (SQLSMALLINT or SQLINTEGER): *lengthPtr receives
// the full length (characters, clamped to the width's maximum) when lengthPtr
// is not null; at most bufferLength-1 characters and a NUL go to buffer when
// it is not null and bufferLength > 0. Returns SQL_SUCCESS_WITH_INFO when the
// text did not fit (length >= bufferLength), else SQL_SUCCESS. Adds no
// diagnostic and notes nothing.
template <typename Len>
SQLRETURN copyOutText(void* buffer, Len bufferLength, Len* lengthPtr, const char* text);

// The rule with 16-bit lengths, for the short texts of most calls: a cut is
// noted (noteTextCut), and the call's frame adds 01004 when the call ends
// with SQL_SUCCESS_WITH_INFO and no 01004 record yet.
SQLRETURN copyOutString(SQLCHAR* buffer, SQLSMALLINT bufferLength, SQLSMALLINT* lengthPtr, const char* text);
inline SQLRETURN copyOutString(void* buffer, SQLSMALLINT bufferLength, SQLSMALLINT* lengthPtr, const char* text) {
    return copyOutString(static_cast<SQLCHAR*>(buffer), bufferLength, lengthPtr, text);
}

// Text outputs cut during the current call on this thread: every copy-out
// helper notes a cut, the call's frame reads and resets the note.
void noteTextCut();
bool takeTextCut();
// Adds 01004 to the area unless it holds one already.
void addTruncationWarning(std::uint32_t odbcVersion, DiagArea& area);
// Internal forms of SQLGetDiagRec and SQLGetDiagField: they take no lock and
// clear nothing, the records belong to the call before.
SQLRETURN VSqlGetDiagRec(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT recNumber, SQLCHAR* sqlState,
                         SQLINTEGER* nativeError, SQLCHAR* messageText, SQLSMALLINT bufferLength,
                         SQLSMALLINT* textLength);
SQLRETURN VSqlGetDiagField(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT recNumber, SQLSMALLINT identifier,
                           SQLPOINTER info, SQLSMALLINT bufferLength, SQLSMALLINT* stringLength);
// Whether SQLGetDiagField answers the field with text.
bool isTextDiagField(SQLSMALLINT identifier);

// Standard text of an SQLSTATE known to the driver (case ignored), or null.
const char* standardSqlStateText(const char* sqlState);
// ODBC 2 value of an ODBC 3 SQLSTATE (case ignored), or null.
const char* odbc2SqlState(const char* sqlState);
