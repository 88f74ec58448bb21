// Descriptor fields as data: which fields exist, at what width, who may set
// them and under which identifier SQLColAttribute reads them. The exported
// descriptor and binding functions (descriptors.cpp) and the statement
// attributes that alias header fields all go through these tables, so that a
// descriptor is the one place where array size, bind type, offsets and status
// pointers live.
#pragma once

#include <cstddef>

#include "driver/entry/handles.h"

// How a field is held (and written to the application).
enum class FieldWidth : unsigned char {
    Int16,    // SQLSMALLINT
    UInt16,   // SQLUSMALLINT
    Int32,    // SQLINTEGER
    UInt32,   // SQLUINTEGER
    Len,      // SQLLEN
    ULen,     // SQLULEN
    Pointer,  // an application address, stored unchanged
    Text,     // owned text
};

// What SQLSetDescField does with a field.
enum class FieldSetter : unsigned char {
    ReadOnly,     // HY091
    Store,        // the value passed in ValuePtr, at the field's width
    ConciseType,  // the type-setting rule of the descriptor's kind
    Type,         // stored, then the type defaults
    Name,         // copied, and SQL_DESC_UNNAMED follows
    Unnamed,      // only SQL_UNNAMED is accepted
    Count,        // the record count grows or shrinks
};

struct DescField {
    SQLSMALLINT id;
    FieldWidth width;
    std::size_t offset;  // in Descriptor (header) or DescriptorRecord
    FieldSetter setter;
    bool irdSettable;    // header pointers an IRD accepts too
    bool copied;         // SQLCopyDesc copies it (header)
};

// Null when the identifier names no header field.
const DescField* findHeaderField(SQLSMALLINT id);
// Null when the identifier names no record field.
const DescField* findRecordField(SQLSMALLINT id);

// Internal forms of the exported functions; the caller holds the lock and
// has cleared the diagnostics of the handle.
SQLRETURN VSqlGetDescField(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength, SQLINTEGER* stringLength);
SQLRETURN VSqlSetDescField(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength);

SQLRETURN VSqlGetDescRec(Descriptor* desc, SQLSMALLINT recNumber, SQLCHAR* name, SQLSMALLINT bufferLength,
                         SQLSMALLINT* stringLength, SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* length,
                         SQLSMALLINT* precision, SQLSMALLINT* scale, SQLSMALLINT* nullable);
SQLRETURN VSqlSetDescRec(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT type, SQLSMALLINT subType,
                         SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                         SQLLEN* stringLength, SQLLEN* indicator);
SQLRETURN VSqlColAttribute(Statement* stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                           SQLSMALLINT bufferLength, SQLSMALLINT* stringLength, SQLLEN* number);
SQLRETURN VSqlDescribeCol(Statement* stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                          SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                          SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable);

// Whether a descriptor field, or what SQLColAttribute answers for an
// identifier, is text.
bool isTextDescField(SQLSMALLINT field);
bool isTextColAttribute(SQLUSMALLINT field);

// Text copy-out with 32-bit lengths (copyOutText): SQL_SUCCESS_WITH_INFO,
// with no diagnostic and no note, when the text did not fit.
inline SQLRETURN copyOutLong(SQLPOINTER buffer, SQLINTEGER bufferLength, SQLINTEGER* lengthPtr, const char* text) {
    return copyOutText(buffer, bufferLength, lengthPtr, text);
}
