// Descriptor fields (SQLGetDescField, SQLSetDescField, SQLGetDescRec,
// SQLSetDescRec, SQLCopyDesc) and the statement functions that read the
// implementation row descriptor (SQLColAttribute, SQLDescribeCol).
#include "driver/entry/descriptors.h"

#include <climits>
#include <cstring>

#include "driver/entry/apicall.h"
#include "driver/convert/typerules.h"
#include "driver/convert/widetext.h"

namespace {

#define HEADER(field, member, width, setter, irdSettable, copied) \
    {field, FieldWidth::width, offsetof(Descriptor, member), FieldSetter::setter, irdSettable, copied}
#define RECORD(field, member, width, setter) \
    {field, FieldWidth::width, offsetof(DescriptorRecord, member), FieldSetter::setter, false, true}

const DescField kHeaderFields[] = {
    HEADER(SQL_DESC_ARRAY_SIZE, arraySize, ULen, Store, false, true),
    HEADER(SQL_DESC_ARRAY_STATUS_PTR, arrayStatusPtr, Pointer, Store, true, true),
    HEADER(SQL_DESC_BIND_OFFSET_PTR, bindOffsetPtr, Pointer, Store, false, true),
    HEADER(SQL_DESC_BIND_TYPE, bindType, UInt32, Store, false, true),
    HEADER(SQL_DESC_ROWS_PROCESSED_PTR, rowsProcessedPtr, Pointer, Store, true, true),
    HEADER(SQL_DESC_COUNT, count, Int16, Count, false, false),
    HEADER(SQL_DESC_ALLOC_TYPE, allocType, UInt16, ReadOnly, false, false),
};

const DescField kRecordFields[] = {
    RECORD(SQL_DESC_CONCISE_TYPE, conciseType, Int16, ConciseType),
    RECORD(SQL_DESC_DISPLAY_SIZE, displaySize, Len, ReadOnly),
    RECORD(SQL_DESC_UNSIGNED, isUnsigned, Int16, ReadOnly),
    RECORD(SQL_DESC_FIXED_PREC_SCALE, fixedPrecScale, Int16, ReadOnly),
    RECORD(SQL_DESC_UPDATABLE, updatable, Int16, ReadOnly),
    RECORD(SQL_DESC_AUTO_UNIQUE_VALUE, autoUniqueValue, Int32, ReadOnly),
    RECORD(SQL_DESC_CASE_SENSITIVE, caseSensitive, Int32, ReadOnly),
    RECORD(SQL_DESC_SEARCHABLE, searchable, Int16, ReadOnly),
    RECORD(SQL_DESC_TYPE_NAME, typeName, Text, ReadOnly),
    RECORD(SQL_DESC_TABLE_NAME, tableName, Text, ReadOnly),
    RECORD(SQL_DESC_SCHEMA_NAME, schemaName, Text, ReadOnly),
    RECORD(SQL_DESC_CATALOG_NAME, catalogName, Text, ReadOnly),
    RECORD(SQL_DESC_LABEL, label, Text, ReadOnly),
    RECORD(SQL_DESC_BASE_COLUMN_NAME, baseColumnName, Text, ReadOnly),
    RECORD(SQL_DESC_BASE_TABLE_NAME, baseTableName, Text, ReadOnly),
    RECORD(SQL_DESC_DATETIME_INTERVAL_PRECISION, datetimeIntervalPrecision, Int32, Store),
    RECORD(SQL_DESC_LITERAL_PREFIX, literalPrefix, Text, ReadOnly),
    RECORD(SQL_DESC_LITERAL_SUFFIX, literalSuffix, Text, ReadOnly),
    RECORD(SQL_DESC_LOCAL_TYPE_NAME, localTypeName, Text, ReadOnly),
    RECORD(SQL_DESC_NUM_PREC_RADIX, numPrecRadix, Int32, Store),
    RECORD(SQL_DESC_PARAMETER_TYPE, parameterType, Int16, Store),
    RECORD(SQL_DESC_ROWVER, rowver, Int16, ReadOnly),
    RECORD(SQL_DESC_TYPE, type, Int16, Type),
    RECORD(SQL_DESC_LENGTH, length, ULen, Store),
    RECORD(SQL_DESC_OCTET_LENGTH_PTR, octetLengthPtr, Pointer, Store),
    RECORD(SQL_DESC_PRECISION, precision, Int16, Store),
    RECORD(SQL_DESC_SCALE, scale, Int16, Store),
    RECORD(SQL_DESC_DATETIME_INTERVAL_CODE, datetimeIntervalCode, Int16, Store),
    RECORD(SQL_DESC_NULLABLE, nullable, Int16, ReadOnly),
    RECORD(SQL_DESC_INDICATOR_PTR, indicatorPtr, Pointer, Store),
    RECORD(SQL_DESC_DATA_PTR, dataPtr, Pointer, Store),
    RECORD(SQL_DESC_NAME, name, Text, Name),
    RECORD(SQL_DESC_UNNAMED, unnamed, Int16, Unnamed),
    RECORD(SQL_DESC_OCTET_LENGTH, octetLength, Len, Store),
};

#undef HEADER
#undef RECORD

// What SQLColAttribute answers: record fields under their own identifier or
// an ODBC 2 alias; the rest (pointers, parameter fields) are refused.
struct ColAttributeRow {
    SQLUSMALLINT id;
    SQLSMALLINT field;
};

const ColAttributeRow kColAttributes[] = {
    {SQL_DESC_CONCISE_TYPE, SQL_DESC_CONCISE_TYPE},
    {SQL_DESC_DISPLAY_SIZE, SQL_DESC_DISPLAY_SIZE},
    {SQL_DESC_UNSIGNED, SQL_DESC_UNSIGNED},
    {SQL_DESC_FIXED_PREC_SCALE, SQL_DESC_FIXED_PREC_SCALE},
    {SQL_DESC_UPDATABLE, SQL_DESC_UPDATABLE},
    {SQL_DESC_AUTO_UNIQUE_VALUE, SQL_DESC_AUTO_UNIQUE_VALUE},
    {SQL_DESC_CASE_SENSITIVE, SQL_DESC_CASE_SENSITIVE},
    {SQL_DESC_SEARCHABLE, SQL_DESC_SEARCHABLE},
    {SQL_DESC_TYPE_NAME, SQL_DESC_TYPE_NAME},
    {SQL_DESC_TABLE_NAME, SQL_DESC_TABLE_NAME},
    {SQL_DESC_SCHEMA_NAME, SQL_DESC_SCHEMA_NAME},
    {SQL_DESC_CATALOG_NAME, SQL_DESC_CATALOG_NAME},
    {SQL_DESC_LABEL, SQL_DESC_LABEL},
    {SQL_DESC_BASE_COLUMN_NAME, SQL_DESC_BASE_COLUMN_NAME},
    {SQL_DESC_BASE_TABLE_NAME, SQL_DESC_BASE_TABLE_NAME},
    {SQL_DESC_LITERAL_PREFIX, SQL_DESC_LITERAL_PREFIX},
    {SQL_DESC_LITERAL_SUFFIX, SQL_DESC_LITERAL_SUFFIX},
    {SQL_DESC_LOCAL_TYPE_NAME, SQL_DESC_LOCAL_TYPE_NAME},
    {SQL_DESC_NUM_PREC_RADIX, SQL_DESC_NUM_PREC_RADIX},
    {SQL_DESC_TYPE, SQL_DESC_TYPE},
    {SQL_DESC_LENGTH, SQL_DESC_LENGTH},
    {SQL_COLUMN_LENGTH, SQL_DESC_LENGTH},
    {SQL_DESC_PRECISION, SQL_DESC_PRECISION},
    {SQL_COLUMN_PRECISION, SQL_DESC_LENGTH},  // ODBC 2's precision is the column size
    {SQL_DESC_SCALE, SQL_DESC_SCALE},
    {SQL_COLUMN_SCALE, SQL_DESC_SCALE},
    {SQL_DESC_NULLABLE, SQL_DESC_NULLABLE},
    {SQL_DESC_NAME, SQL_DESC_NAME},
    {SQL_DESC_UNNAMED, SQL_DESC_UNNAMED},
    {SQL_DESC_OCTET_LENGTH, SQL_DESC_OCTET_LENGTH},
};

// Accepted by SQLColAttribute without an answer.
constexpr SQLUSMALLINT kColAttributeSilent = 1212;

const char* const kInvalidIndex = "Invalid descriptor index";
const char* const kNotPrepared = "Associated statement is not prepared";
const char* const kCannotModifyIrd = "Cannot modify an implementation row descriptor";
const char* const kInvalidField = "Invalid descriptor field identifier";
const char* const kNoMemory = "Memory allocation error";
const char* const kTruncated = "String data, right truncated";

template <std::size_t N>
const DescField* findField(const DescField (&table)[N], SQLSMALLINT id) {
    for (const DescField& f : table)
        if (f.id == id) return &f;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Values at a field's width. Application buffers need not be aligned.

template <typename T>
T load(const void* base, std::size_t offset) {
    T v;
    std::memcpy(&v, static_cast<const char*>(base) + offset, sizeof v);
    return v;
}

template <typename T>
void store(void* base, std::size_t offset, T v) {
    std::memcpy(static_cast<char*>(base) + offset, &v, sizeof v);
}

template <typename T>
void put(SQLPOINTER out, T v) {
    if (out) std::memcpy(out, &v, sizeof v);
}

// A numeric field as a SQLLEN: 16- and 32-bit fields sign-extended (or
// zero-extended when unsigned), SQLULEN passed through bit for bit.
SQLLEN numberOf(const void* base, const DescField& f) {
    switch (f.width) {
    case FieldWidth::Int16: return load<SQLSMALLINT>(base, f.offset);
    case FieldWidth::UInt16: return load<SQLUSMALLINT>(base, f.offset);
    case FieldWidth::Int32: return load<SQLINTEGER>(base, f.offset);
    case FieldWidth::UInt32: return SQLLEN(load<SQLUINTEGER>(base, f.offset));
    case FieldWidth::Len: return load<SQLLEN>(base, f.offset);
    case FieldWidth::ULen: return SQLLEN(load<SQLULEN>(base, f.offset));
    case FieldWidth::Pointer:
    case FieldWidth::Text: break;
    }
    return 0;
}

std::size_t widthBytes(FieldWidth width) {
    switch (width) {
    case FieldWidth::Int16:
    case FieldWidth::UInt16: return sizeof(SQLSMALLINT);
    case FieldWidth::Int32:
    case FieldWidth::UInt32: return sizeof(SQLINTEGER);
    case FieldWidth::Len:
    case FieldWidth::ULen: return sizeof(SQLLEN);
    case FieldWidth::Pointer:
    case FieldWidth::Text: break;
    }
    return sizeof(void*);
}

// Writes a numeric or pointer field to the application at exactly its width.
void writeField(const void* base, const DescField& f, SQLPOINTER out) {
    switch (f.width) {
    case FieldWidth::Int16: put(out, load<SQLSMALLINT>(base, f.offset)); break;
    case FieldWidth::UInt16: put(out, load<SQLUSMALLINT>(base, f.offset)); break;
    case FieldWidth::Int32: put(out, load<SQLINTEGER>(base, f.offset)); break;
    case FieldWidth::UInt32: put(out, load<SQLUINTEGER>(base, f.offset)); break;
    case FieldWidth::Len: put(out, load<SQLLEN>(base, f.offset)); break;
    case FieldWidth::ULen: put(out, load<SQLULEN>(base, f.offset)); break;
    case FieldWidth::Pointer: put(out, load<SQLPOINTER>(base, f.offset)); break;
    case FieldWidth::Text: break;
    }
}

// Stores the integer (or address) passed as ValuePtr at the field's width.
void storeField(void* base, const DescField& f, SQLPOINTER value) {
    SQLULEN n = SQLULEN(reinterpret_cast<std::uintptr_t>(value));
    switch (f.width) {
    case FieldWidth::Int16: store(base, f.offset, SQLSMALLINT(n)); break;
    case FieldWidth::UInt16: store(base, f.offset, SQLUSMALLINT(n)); break;
    case FieldWidth::Int32: store(base, f.offset, SQLINTEGER(n)); break;
    case FieldWidth::UInt32: store(base, f.offset, SQLUINTEGER(n)); break;
    case FieldWidth::Len: store(base, f.offset, SQLLEN(n)); break;
    case FieldWidth::ULen: store(base, f.offset, n); break;
    case FieldWidth::Pointer: store(base, f.offset, value); break;
    case FieldWidth::Text: break;
    }
}

const std::string& textField(const DescriptorRecord& record, const DescField& f) {
    return *reinterpret_cast<const std::string*>(reinterpret_cast<const char*>(&record) + f.offset);
}

}  // namespace

namespace {

// Records the error on the handle's area; the call then fails.
template <typename H>
SQLRETURN refuse(H* diagOwner, const char* sqlState, const char* message) {
    addOdbcError(diagOwner, sqlState, message);
    return SQL_ERROR;
}

// A record's name by the short rule; a cut name is reported as 01004.
template <typename H>
SQLRETURN copyOutName(H* diagOwner, SQLCHAR* buffer, SQLSMALLINT bufferLength, SQLSMALLINT* length, const char* name) {
    if (copyOutString(buffer, bufferLength, length, name) == SQL_SUCCESS || !buffer) return SQL_SUCCESS;
    addOdbcError(diagOwner, "01004", kTruncated);
    return SQL_SUCCESS_WITH_INFO;
}

bool isIrdWithoutRecords(const Descriptor* desc) { return desc->kind == DESC_IRD && desc->count == 0; }

DescriptorRecord& recordOf(Descriptor* desc, int recNumber) { return desc->records[recNumber - 1]; }

// Grows the record count to n when it is smaller. False when it cannot grow
// (a diagnostic is then on the descriptor's area).
template <typename H>
bool growTo(H* diagOwner, Descriptor* desc, int n) {
    if (n <= desc->count) return true;
    if (setRecordCount(desc, n) == 0) return true;
    addOdbcError(diagOwner, "HY001", kNoMemory);
    return false;
}

// A record number no descriptor can hold.
bool beyondAnyCount(int n) { return n > SHRT_MAX; }

// ---------------------------------------------------------------------------
// SQLSetDescField on a record field that exists.
SQLRETURN setRecordField(Descriptor* desc, DescriptorRecord& record, const DescField* f, SQLPOINTER value,
                         SQLINTEGER bufferLength) {
    SQLSMALLINT n = SQLSMALLINT(reinterpret_cast<std::uintptr_t>(value));
    switch (f ? f->setter : FieldSetter::ReadOnly) {
    case FieldSetter::Store:
        storeField(&record, *f, value);
        return SQL_SUCCESS;
    case FieldSetter::ConciseType:
        if (desc->kind == DESC_IPD)
            applySqlType(record, n);
        else
            applyCType(record, n);
        return SQL_SUCCESS;
    case FieldSetter::Type:
        record.type = n;
        applyTypeDefaults(record);
        return SQL_SUCCESS;
    case FieldSetter::Name: {
        std::string name;
        if (value) {
            if (bufferLength < 0 && bufferLength != SQL_NTS)
                return refuse(desc, "HY090", "Invalid string or buffer length");
            std::string held;
            const char* text =
                reinterpret_cast<const char*>(ansiIn(static_cast<const SQLCHAR*>(value), bufferLength, held));
            // A counted name ends at a zero inside it all the same.
            name.assign(text, bufferLength == SQL_NTS ? std::strlen(text) : strnlen(text, std::size_t(bufferLength)));
        }
        record.name = std::move(name);
        record.unnamed = record.name.empty() ? SQL_UNNAMED : SQL_NAMED;
        return SQL_SUCCESS;
    }
    case FieldSetter::Unnamed:
        if (n == SQL_NAMED) break;
        record.unnamed = SQL_UNNAMED;
        return SQL_SUCCESS;
    case FieldSetter::ReadOnly:
    case FieldSetter::Count:
        break;
    }
    return refuse(desc, "HY091", kInvalidField);
}

SQLRETURN setHeaderField(Descriptor* desc, const DescField& f, SQLPOINTER value) {
    if (f.setter == FieldSetter::Store) {
        storeField(desc, f, value);
        return SQL_SUCCESS;
    }
    if (f.setter == FieldSetter::Count) {
        SQLSMALLINT n = SQLSMALLINT(reinterpret_cast<std::uintptr_t>(value));
        if (n < 0) return refuse(desc, "HY024", "Invalid attribute value");
        if (setRecordCount(desc, n) != 0) return refuse(desc, "HY001", kNoMemory);
        return SQL_SUCCESS;
    }
    return refuse(desc, "HY091", kInvalidField);
}

}  // namespace

const DescField* findHeaderField(SQLSMALLINT id) { return findField(kHeaderFields, id); }
const DescField* findRecordField(SQLSMALLINT id) { return findField(kRecordFields, id); }

bool isTextDescField(SQLSMALLINT field) {
    const DescField* f = findHeaderField(field);
    if (!f) f = findRecordField(field);
    return f && f->width == FieldWidth::Text;
}

bool isTextColAttribute(SQLUSMALLINT field) {
    for (const ColAttributeRow& row : kColAttributes)
        if (row.id == field) return isTextDescField(row.field);
    return false;
}

// ---------------------------------------------------------------------------

SQLRETURN VSqlGetDescField(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength, SQLINTEGER* stringLength) {
    if (isIrdWithoutRecords(desc)) return refuse(desc, "HY007", nullptr);
    if (const DescField* f = findHeaderField(field)) {
        writeField(desc, *f, value);
        return SQL_SUCCESS;
    }
    if (recNumber < 1) return refuse(desc, "07009", nullptr);
    if (recNumber > desc->count) return SQL_NO_DATA;
    const DescField* f = findRecordField(field);
    if (!f) return SQL_SUCCESS;
    const DescriptorRecord& record = recordOf(desc, recNumber);
    if (f->width == FieldWidth::Text)
        return copyOutLong(value, bufferLength, stringLength, textField(record, *f).c_str());
    writeField(&record, *f, value);
    return SQL_SUCCESS;
}

SQLRETURN VSqlSetDescField(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT field, SQLPOINTER value,
                           SQLINTEGER bufferLength) {
    const DescField* header = findHeaderField(field);
    if (desc->kind == DESC_IRD && !(header && header->irdSettable)) return refuse(desc, "HY016", kCannotModifyIrd);
    if (header) return setHeaderField(desc, *header, value);
    if (recNumber < 1) return refuse(desc, "07009", kInvalidIndex);
    // The count grows before the field is judged: a refused field can leave
    // the descriptor with more records than before.
    if (!growTo(desc, desc, recNumber)) return SQL_ERROR;
    return setRecordField(desc, recordOf(desc, recNumber), findRecordField(field), value, bufferLength);
}

SQLRETURN VSqlGetDescRec(Descriptor* desc, SQLSMALLINT recNumber, SQLCHAR* name, SQLSMALLINT bufferLength,
                                SQLSMALLINT* stringLength, SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* length,
                                SQLSMALLINT* precision, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    if (isIrdWithoutRecords(desc)) return refuse(desc, "HY007", kNotPrepared);
    if (recNumber < 1) return refuse(desc, "07009", nullptr);
    if (recNumber > desc->count) return SQL_NO_DATA;
    const DescriptorRecord& r = recordOf(desc, recNumber);
    SQLRETURN rc = copyOutName(desc, name, bufferLength, stringLength, r.name.c_str());
    put(type, r.type);
    put(subType, r.datetimeIntervalCode);
    put(length, r.octetLength);
    put(precision, r.precision);
    put(scale, r.scale);
    put(nullable, r.nullable);
    return rc;
}

SQLRETURN VSqlSetDescRec(Descriptor* desc, SQLSMALLINT recNumber, SQLSMALLINT type, SQLSMALLINT subType,
                                SQLLEN length, SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data,
                                SQLLEN* stringLength, SQLLEN* indicator) {
    if (desc->kind == DESC_IRD) return refuse(desc, "HY016", kCannotModifyIrd);
    // No descriptor keeps a bookmark record, so record 0 addresses nothing.
    if (recNumber < 1) return refuse(desc, "07009", kInvalidIndex);
    if (!growTo(desc, desc, recNumber)) return SQL_ERROR;
    DescriptorRecord& r = recordOf(desc, recNumber);
    r.type = type;
    if (type == SQL_DATETIME || type == SQL_INTERVAL) r.datetimeIntervalCode = subType;
    r.octetLength = length;
    r.precision = precision;
    r.scale = scale;
    r.dataPtr = data;
    r.octetLengthPtr = stringLength;
    r.indicatorPtr = indicator;
    return SQL_SUCCESS;
}

static SQLRETURN VSqlCopyDesc(Descriptor* source, Descriptor* target) {
    if (target->kind == DESC_IRD) return refuse(target, "HY016", kCannotModifyIrd);
    if (isIrdWithoutRecords(source)) return refuse(target, "HY007", kNotPrepared);
    if (source == target) return SQL_SUCCESS;
    // Copied completely before the target changes: a copy that runs out of
    // memory leaves the target as it was.
    std::vector<DescriptorRecord> records(source->records);
    target->records.swap(records);
    target->count = source->count;
    for (const DescField& f : kHeaderFields) {
        if (!f.copied) continue;
        std::memcpy(reinterpret_cast<char*>(target) + f.offset, reinterpret_cast<const char*>(source) + f.offset,
                    widthBytes(f.width));
    }
    return SQL_SUCCESS;
}

SQLRETURN VSqlColAttribute(Statement* stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT bufferLength, SQLSMALLINT* stringLength, SQLLEN* number) {
    Descriptor* ird = stmt->ird;
    if (column > SQLUSMALLINT(ird->count)) return refuse(stmt, "07009", nullptr);
    if (field == SQL_DESC_COUNT) {
        put(number, SQLLEN(ird->count));
        return SQL_SUCCESS;
    }
    if (field == kColAttributeSilent) return SQL_SUCCESS;
    const DescField* f = nullptr;
    for (const ColAttributeRow& row : kColAttributes)
        if (row.id == field) f = findRecordField(row.field);
    if (!f) return refuse(stmt, "HY091", kInvalidField);
    if (column < 1) return refuse(stmt, "07009", nullptr);
    const DescriptorRecord& record = recordOf(ird, column);
    if (f->width == FieldWidth::Text) {
        SQLRETURN rc = copyOutString(text, bufferLength, stringLength, textField(record, *f).c_str());
        return text ? rc : SQL_SUCCESS;
    }
    put(number, numberOf(&record, *f));
    return SQL_SUCCESS;
}

SQLRETURN VSqlDescribeCol(Statement* stmt, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT bufferLength,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* dataType, SQLULEN* columnSize,
                                 SQLSMALLINT* decimalDigits, SQLSMALLINT* nullable) {
    Descriptor* ird = stmt->ird;
    if (column < 1 || column > SQLUSMALLINT(ird->count)) return refuse(stmt, "07009", "Column out of range");
    const DescriptorRecord& r = recordOf(ird, column);
    SQLRETURN rc = copyOutName(stmt, name, bufferLength, nameLength, r.name.c_str());
    put(dataType, r.conciseType);
    put(columnSize, r.length);
    put(decimalDigits, r.scale);
    put(nullable, r.nullable);
    return rc;
}

// ---------------------------------------------------------------------------
// Binding.

static SQLRETURN VSqlBindCol(Statement* stmt, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER target,
                             SQLLEN bufferLength, SQLLEN* indicator) {
    if (targetType == SQL_C_NUMERIC) return refuse(stmt, "HY003", "Not supported");
    // Descriptors keep no bookmark record.
    if (column < 1) return refuse(stmt, "07009", kInvalidIndex);
    Descriptor* ard = stmt->ard;
    if (!target && column >= ard->count) {
        // Unbinding at the end: drop every trailing record that binds nothing.
        int keep = 0;
        for (int i = ard->count; i >= 1; --i) {
            if (i != column && recordOf(ard, i).dataPtr) {
                keep = i;
                break;
            }
        }
        setRecordCount(ard, keep);
        return SQL_SUCCESS;
    }
    if (beyondAnyCount(column)) return refuse(stmt, "07009", kInvalidIndex);
    if (!growTo(stmt, ard, column)) return SQL_ERROR;
    DescriptorRecord& r = recordOf(ard, column);
    applyCType(r, targetType);
    applyTypeDefaults(r);
    r.octetLength = bufferLength;
    r.dataPtr = target;
    r.indicatorPtr = indicator;
    r.octetLengthPtr = indicator;
    return SQL_SUCCESS;
}

namespace {

// The field an implementation parameter record takes ColumnSize or
// DecimalDigits into, by SQL type.
enum class SizeTarget : unsigned char { Length, PrecisionScale, Precision, PrecisionFromDigits };

struct ParamSizeRow {
    SQLSMALLINT sqlType;
    SizeTarget target;
};

const ParamSizeRow kParamSizes[] = {
    {SQL_LONGVARBINARY, SizeTarget::Length}, {SQL_VARBINARY, SizeTarget::Length},
    {SQL_BINARY, SizeTarget::Length},        {SQL_LONGVARCHAR, SizeTarget::Length},
    {SQL_CHAR, SizeTarget::Length},          {SQL_VARCHAR, SizeTarget::Length},
    {SQL_WCHAR, SizeTarget::Length},         {SQL_WVARCHAR, SizeTarget::Length},
    {SQL_WLONGVARCHAR, SizeTarget::Length},
    {SQL_NUMERIC, SizeTarget::PrecisionScale}, {SQL_DECIMAL, SizeTarget::PrecisionScale},
    {SQL_FLOAT, SizeTarget::Precision},      {SQL_REAL, SizeTarget::Precision},
    {SQL_DOUBLE, SizeTarget::Precision},
    {SQL_TYPE_TIME, SizeTarget::PrecisionFromDigits}, {SQL_TYPE_TIMESTAMP, SizeTarget::PrecisionFromDigits},
    {SQL_INTERVAL_SECOND, SizeTarget::PrecisionFromDigits}, {SQL_INTERVAL_DAY_TO_SECOND, SizeTarget::PrecisionFromDigits},
    {SQL_INTERVAL_HOUR_TO_SECOND, SizeTarget::PrecisionFromDigits},
    {SQL_INTERVAL_MINUTE_TO_SECOND, SizeTarget::PrecisionFromDigits},
};

void applyParameterSize(DescriptorRecord& r, SQLSMALLINT parameterType, SQLULEN columnSize,
                        SQLSMALLINT decimalDigits) {
    for (const ParamSizeRow& row : kParamSizes) {
        if (row.sqlType != parameterType) continue;
        switch (row.target) {
        case SizeTarget::Length: r.length = columnSize; return;
        case SizeTarget::PrecisionScale:
            r.precision = SQLSMALLINT(columnSize);
            r.scale = decimalDigits;
            return;
        case SizeTarget::Precision: r.precision = SQLSMALLINT(columnSize); return;
        case SizeTarget::PrecisionFromDigits: r.precision = decimalDigits; break;
        }
    }
    // Datetime and interval types keep their size in the length.
    if (r.type == SQL_DATETIME || r.type == SQL_INTERVAL) r.length = columnSize;
}

// The column size and decimal digits SQLBindParameter stored for a
// parameter, read back from where applyParameterSize put them.
void parameterSize(const DescriptorRecord& r, SQLULEN& size, SQLSMALLINT& digits) {
    size = r.length;
    digits = 0;
    for (const ParamSizeRow& row : kParamSizes) {
        if (row.sqlType != r.conciseType) continue;
        switch (row.target) {
        case SizeTarget::Length: size = r.length; return;
        case SizeTarget::PrecisionScale:
            size = SQLULEN(r.precision);
            digits = r.scale;
            return;
        case SizeTarget::Precision: size = SQLULEN(r.precision); return;
        case SizeTarget::PrecisionFromDigits: digits = r.precision; return;
        }
    }
}

// What the driver knows of a marker: the server describes no parameters,
// so a bound parameter is what the application bound, and any other one a
// text of up to 255 characters.
SQLRETURN VSqlDescribeParam(Statement* stmt, SQLUSMALLINT number, SQLSMALLINT* type, SQLULEN* size,
                            SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    if (stmt->sqlText.empty() && stmt->preparedText.empty()) {
        addOdbcError(stmt, "HY010", "Function sequence error");
        return SQL_ERROR;
    }
    if (number < 1 || number > stmt->markerCount) {
        addOdbcError(stmt, "07009", kInvalidIndex);
        return SQL_ERROR;
    }
    SQLSMALLINT knownType = SQL_VARCHAR, knownDigits = 0;
    SQLULEN knownSize = 255;
    // Bound: SQL_RESET_PARAMS empties the APD and leaves the IPD as it was.
    if (number <= stmt->apd->count && number <= stmt->ipd->count && recordOf(stmt->ipd, number).conciseType != 0) {
        const DescriptorRecord& r = recordOf(stmt->ipd, number);
        knownType = r.conciseType;
        parameterSize(r, knownSize, knownDigits);
    }
    if (type) *type = knownType;
    if (size) *size = knownSize;
    if (digits) *digits = knownDigits;
    if (nullable) *nullable = SQL_NULLABLE_UNKNOWN;
    return SQL_SUCCESS;
}

}  // namespace

static SQLRETURN VSqlBindParameter(Statement* stmt, SQLUSMALLINT number, SQLSMALLINT valueType,
                                   SQLSMALLINT parameterType, SQLULEN columnSize, SQLSMALLINT decimalDigits,
                                   SQLPOINTER value, SQLLEN bufferLength, SQLLEN* indicator) {
    bool refused = false;
    if (number == 0 || beyondAnyCount(number)) {
        addOdbcError(stmt, "07009", kInvalidIndex);
        refused = true;
    }
    if (refused) return SQL_ERROR;
    if (valueType == SQL_C_DEFAULT) valueType = cTypeForSqlType(parameterType);

    // Both descriptors grow before either record changes, so that a failure
    // leaves the statement's parameters as they were.
    Descriptor* apd = stmt->apd;
    Descriptor* ipd = stmt->ipd;
    int apdCount = apd->count;
    if (!growTo(stmt, apd, number)) return SQL_ERROR;
    if (!growTo(stmt, ipd, number)) {
        setRecordCount(apd, apdCount);
        return SQL_ERROR;
    }
    DescriptorRecord& a = recordOf(apd, number);
    applyCType(a, valueType);
    applyTypeDefaults(a);
    // SQL_C_NUMERIC takes scale 0 and the struct's full 38 digits until the
    // application sets the APD's precision and scale itself.
    if (valueType == SQL_C_NUMERIC) a.precision = 38;
    a.dataPtr = value;
    a.octetLength = bufferLength;
    a.octetLengthPtr = indicator;
    a.indicatorPtr = indicator;

    DescriptorRecord& p = recordOf(ipd, number);
    applySqlType(p, parameterType);
    applyTypeDefaults(p);
    applyParameterSize(p, parameterType, columnSize, decimalDigits);
    return SQL_SUCCESS;
}

// ---------------------------------------------------------------------------
// Exported functions.

VSQL_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                                         SQLPOINTER TargetValuePtr, SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    return StmtCall(Api::SQLBindCol, StatementHandle)
        .enter(int(ColumnNumber), int(TargetType),
               int(BufferLength))
        .run([&](Statement* s) {
            return VSqlBindCol(s, ColumnNumber, TargetType, TargetValuePtr, BufferLength, StrLen_or_IndPtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                               SQLSMALLINT InputOutputType, SQLSMALLINT ValueType,
                                               SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                                               SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValuePtr,
                                               SQLLEN BufferLength, SQLLEN* StrLen_or_IndPtr) {
    (void)InputOutputType;  // every parameter is an input parameter
    return StmtCall(Api::SQLBindParameter, StatementHandle)
        .enter(int(ParameterNumber))
        .run([&](Statement* s) {
            return VSqlBindParameter(s, ParameterNumber, ValueType, ParameterType, ColumnSize, DecimalDigits,
                                     ParameterValuePtr, BufferLength, StrLen_or_IndPtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                               SQLSMALLINT* DataTypePtr, SQLULEN* ParameterSizePtr,
                                               SQLSMALLINT* DecimalDigitsPtr, SQLSMALLINT* NullablePtr) {
    return StmtCall(Api::SQLDescribeParam, StatementHandle)
        .enter(int(ParameterNumber))
        .run([&](Statement* s) {
            return VSqlDescribeParam(s, ParameterNumber, DataTypePtr, ParameterSizePtr, DecimalDigitsPtr,
                                     NullablePtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                              SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                              SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    return DescCall(Api::SQLGetDescField, DescriptorHandle)
        .enter(int(RecNumber), int(FieldIdentifier))
        .run([&](Descriptor* d) {
            return VSqlGetDescField(d, RecNumber, FieldIdentifier, ValuePtr, BufferLength, StringLengthPtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                              SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                              SQLINTEGER BufferLength) {
    return DescCall(Api::SQLSetDescField, DescriptorHandle)
        .enter(int(RecNumber), int(FieldIdentifier))
        .run([&](Descriptor* d) { return VSqlSetDescField(d, RecNumber, FieldIdentifier, ValuePtr, BufferLength); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLCHAR* Name,
                                            SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                            SQLSMALLINT* TypePtr, SQLSMALLINT* SubTypePtr, SQLLEN* LengthPtr,
                                            SQLSMALLINT* PrecisionPtr, SQLSMALLINT* ScalePtr,
                                            SQLSMALLINT* NullablePtr) {
    return DescCall(Api::SQLGetDescRec, DescriptorHandle)
        .enter(int(RecNumber))
        .run([&](Descriptor* d) {
            return VSqlGetDescRec(d, RecNumber, Name, BufferLength, StringLengthPtr, TypePtr, SubTypePtr, LengthPtr,
                                  PrecisionPtr, ScalePtr, NullablePtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLSMALLINT Type,
                                            SQLSMALLINT SubType, SQLLEN Length, SQLSMALLINT Precision,
                                            SQLSMALLINT Scale, SQLPOINTER DataPtr, SQLLEN* StringLengthPtr,
                                            SQLLEN* IndicatorPtr) {
    return DescCall(Api::SQLSetDescRec, DescriptorHandle)
        .enter(int(RecNumber), int(Type), int(SubType))
        .run(
            [&](Descriptor* d) {
                return VSqlSetDescRec(d, RecNumber, Type, SubType, Length, Precision, Scale, DataPtr,
                                      StringLengthPtr, IndicatorPtr);
            });
}

// Locked through the source, but the diagnostics belong to the target.
VSQL_EXPORT SQLRETURN SQL_API SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle) {
    auto* source = liveHandle<Descriptor>(SourceDescHandle);
    if (!source) return SQL_INVALID_HANDLE;  // nothing to lock through: no lines either
    return DescCall(Api::SQLCopyDesc, TargetDescHandle, source).run([&](Descriptor* target) {
        return VSqlCopyDesc(source, target);
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                              SQLUSMALLINT FieldIdentifier, SQLPOINTER CharacterAttributePtr,
                                              SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                              SQLLEN* NumericAttributePtr) {
    return StmtCall(Api::SQLColAttribute, StatementHandle)
        .enter(int(ColumnNumber), int(FieldIdentifier))
        .run([&](Statement* s) {
            return VSqlColAttribute(s, ColumnNumber, FieldIdentifier, CharacterAttributePtr, BufferLength,
                                    StringLengthPtr, NumericAttributePtr);
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLCHAR* ColumnName,
                                             SQLSMALLINT BufferLength, SQLSMALLINT* NameLengthPtr,
                                             SQLSMALLINT* DataTypePtr, SQLULEN* ColumnSizePtr,
                                             SQLSMALLINT* DecimalDigitsPtr, SQLSMALLINT* NullablePtr) {
    return StmtCall(Api::SQLDescribeCol, StatementHandle)
        .enter(int(ColumnNumber))
        .run([&](Statement* s) {
            return VSqlDescribeCol(s, ColumnNumber, ColumnName, BufferLength, NameLengthPtr, DataTypePtr,
                                   ColumnSizePtr, DecimalDigitsPtr, NullablePtr);
        });
}
