// SQLGetEnvAttr, SQLSetEnvAttr, SQLGetConnectAttr, SQLSetConnectAttr,
// SQLGetStmtAttr, SQLSetStmtAttr: one table of rows a handle kind, one
// interpreter for all three.
#include "driver/entry/attributes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "driver/entry/apicall.h"
#include "driver/entry/descriptors.h"
#include "driver/convert/widetext.h"

namespace {

// The width an attribute has at the ODBC interface: how a value arrives in
// ValuePtr and how it is written back.
// Text: ValuePtr points to a character string (at the W entry points, a
// wide one); otherwise held as Ptr.
enum class ApiWidth : unsigned char { U32, ULen, Ptr, Text };

// Where a stored value lives: a member of the handle record itself, or a
// header field of one of the statement's current descriptors.
enum class Home : unsigned char { None, Handle, Ard, Apd, Ird, Ipd };

enum class GetRule : unsigned char {
    Stored,      // the value at its home
    Fixed,       // getValue
    Refuse,      // getRefusal, SQL_ERROR
    Silent,      // nothing written, SQL_SUCCESS
    FailSilent,  // SQL_ERROR without a diagnostic
    Catalog,     // the connection's server name, as text
    Dead,        // whether the connection has no session
};

enum class SetRule : unsigned char {
    Store,       // the value goes to its home
    Ignore,      // nothing, SQL_SUCCESS
    Refuse,      // setRefusal
    OnlyValue,   // setValue accepted, anything else gets setRefusal
    WarnOn,      // setValue gets setRefusal, anything else accepted
    Descriptor,  // the application-descriptor rule; setValue is the offset of the implicit one
};

struct Refusal {
    const char* state;  // a 01 state returns SQL_SUCCESS_WITH_INFO, any other SQL_ERROR
    const char* text;
};

struct AttrRow {
    SQLINTEGER id;
    ApiWidth width;
    Home home;
    std::size_t offset;     // Home::Handle: in the handle record
    FieldWidth storage;     // Home::Handle: how the member is held
    SQLSMALLINT descField;  // descriptor homes: the header field
    GetRule get;
    SQLULEN getValue;
    const Refusal* getRefusal;
    SetRule set;
    SQLULEN setValue;
    const Refusal* setRefusal;
    const char* setLog;  // written before the set rule, with the value
};

const Refusal kEnvNotImplemented{"HYC00", "Optional feature not implemented"};
const Refusal kEnvInvalid{"HY092", "Invalid attribute/option identifier"};
const Refusal kConnNotSupported{"HYC00", "Not supported"};
const Refusal kValueChanged{"01S02", "Option value changed"};
const Refusal kStmtOptional{"HYC00", "Optional feature"};
const Refusal kStmtInvalid{"HY092", "Invalid identifier"};
const Refusal kStmtAutomatic{"HY017", "Invalid use of an automatically allocated descriptor handle"};

// Row builders: where the value lives, then what get and set do.
#define HELD_IN(record, member, storageWidth) Home::Handle, offsetof(record, member), FieldWidth::storageWidth, 0
#define DESC_FIELD(desc, field) Home::desc, 0, FieldWidth::UInt32, field
#define NO_HOME Home::None, 0, FieldWidth::UInt32, 0
#define GET_STORED GetRule::Stored, 0, nullptr
#define GET_FIXED(v) GetRule::Fixed, v, nullptr
#define GET_REFUSE(r) GetRule::Refuse, 0, &r
#define GET_RULE(rule) GetRule::rule, 0, nullptr
#define SET_STORE SetRule::Store, 0, nullptr, nullptr
#define SET_REFUSE(r) SetRule::Refuse, 0, &r, nullptr
#define SET_ONLY(v, r) SetRule::OnlyValue, v, &r, nullptr
#define SET_WARN_ON(v, r) SetRule::WarnOn, v, &r, nullptr
#define SET_IGNORE SetRule::Ignore, 0, nullptr, nullptr

// The last row of each table answers every attribute not listed.
const AttrRow kEnvAttrs[] = {
    {SQL_ATTR_ODBC_VERSION, ApiWidth::U32, HELD_IN(Environment, odbcVersion, UInt32), GET_STORED, SET_STORE},
    {SQL_ATTR_CONNECTION_POOLING, ApiWidth::U32, NO_HOME, GET_REFUSE(kEnvNotImplemented),
     SET_REFUSE(kEnvNotImplemented)},
    {SQL_ATTR_CP_MATCH, ApiWidth::U32, NO_HOME, GET_REFUSE(kEnvNotImplemented), SET_REFUSE(kEnvNotImplemented)},
    {SQL_ATTR_OUTPUT_NTS, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_TRUE), SET_ONLY(SQL_TRUE, kEnvInvalid)},
    {0, ApiWidth::U32, NO_HOME, GET_REFUSE(kEnvInvalid), SET_REFUSE(kEnvInvalid)},
};

const AttrRow kConnAttrs[] = {
    {SQL_ATTR_ASYNC_ENABLE, ApiWidth::U32, NO_HOME, GET_REFUSE(kConnNotSupported), SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_ACCESS_MODE, ApiWidth::U32, HELD_IN(Connection, accessMode, UInt32), GET_STORED, SET_STORE},
    {SQL_ATTR_AUTOCOMMIT, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_AUTOCOMMIT_ON),
     SET_ONLY(SQL_AUTOCOMMIT_ON, kValueChanged)},
    {SQL_ATTR_LOGIN_TIMEOUT, ApiWidth::U32, HELD_IN(Connection, loginTimeout, UInt32), GET_STORED, SET_STORE},
    {SQL_ATTR_TRACE, ApiWidth::U32, NO_HOME, GET_RULE(Silent), SET_IGNORE},
    {SQL_ATTR_TRACEFILE, ApiWidth::Text, NO_HOME, GET_RULE(Silent), SET_IGNORE},
    {SQL_ATTR_TRANSLATE_LIB, ApiWidth::Text, NO_HOME, GET_REFUSE(kConnNotSupported), SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_TRANSLATE_OPTION, ApiWidth::U32, NO_HOME, GET_REFUSE(kConnNotSupported),
     SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_TXN_ISOLATION, ApiWidth::U32, NO_HOME, GET_REFUSE(kConnNotSupported), SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_CURRENT_CATALOG, ApiWidth::Text, NO_HOME, GET_RULE(Catalog), SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_ODBC_CURSORS, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_CUR_USE_DRIVER),
     SET_ONLY(SQL_CUR_USE_DRIVER, kValueChanged)},
    {SQL_ATTR_QUIET_MODE, ApiWidth::Ptr, HELD_IN(Connection, quietWindow, Pointer), GET_STORED, SET_STORE},
    {SQL_ATTR_PACKET_SIZE, ApiWidth::U32, NO_HOME, GET_REFUSE(kConnNotSupported), SET_REFUSE(kConnNotSupported)},
    {SQL_ATTR_CONNECTION_TIMEOUT, ApiWidth::U32, HELD_IN(Connection, connectionTimeout, UInt32), GET_STORED,
     SET_STORE},
    {SQL_ATTR_CONNECTION_DEAD, ApiWidth::U32, NO_HOME, GET_RULE(Dead), SET_IGNORE},
    {SQL_ATTR_AUTO_IPD, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_FALSE), SET_IGNORE},
    {SQL_ATTR_METADATA_ID, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_FALSE), SET_WARN_ON(SQL_TRUE, kValueChanged)},
    {0, ApiWidth::U32, NO_HOME, GET_RULE(Silent), SET_IGNORE},
};

const AttrRow kStmtAttrs[] = {
    {SQL_ATTR_CURSOR_SENSITIVITY, ApiWidth::U32, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_CURSOR_SCROLLABLE, ApiWidth::U32, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_QUERY_TIMEOUT, ApiWidth::ULen, HELD_IN(Statement, queryTimeout, UInt32), GET_STORED, SET_STORE},
    {SQL_ATTR_MAX_ROWS, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_NOSCAN, ApiWidth::ULen, HELD_IN(Statement, noScan, UInt32), GET_STORED, SET_STORE},
    {SQL_ATTR_MAX_LENGTH, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_ASYNC_ENABLE, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_ROW_BIND_TYPE, ApiWidth::ULen, DESC_FIELD(Ard, SQL_DESC_BIND_TYPE), GET_STORED, SET_STORE},
    {SQL_ATTR_CURSOR_TYPE, ApiWidth::ULen, HELD_IN(Statement, cursorType, UInt32), GET_STORED,
     SET_ONLY(SQL_CURSOR_FORWARD_ONLY, kValueChanged)},
    {SQL_ATTR_CONCURRENCY, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_KEYSET_SIZE, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ROWSET_SIZE, ApiWidth::ULen, NO_HOME, GET_RULE(FailSilent), SET_IGNORE},
    {SQL_ATTR_SIMULATE_CURSOR, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_RETRIEVE_DATA, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional),
     SetRule::Refuse, 0, &kStmtOptional, "Retrieve data value = %d"},
    {SQL_ATTR_USE_BOOKMARKS, ApiWidth::ULen, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_GET_BOOKMARK, ApiWidth::ULen, NO_HOME, GET_RULE(FailSilent), SET_IGNORE},
    {SQL_ATTR_ROW_NUMBER, ApiWidth::ULen, HELD_IN(Statement, rowPosition, Int32), GET_STORED, SET_REFUSE(kStmtInvalid)},
    {SQL_ATTR_ENABLE_AUTO_IPD, ApiWidth::U32, NO_HOME, GET_FIXED(SQL_FALSE), SET_ONLY(SQL_FALSE, kStmtOptional)},
    {SQL_ATTR_FETCH_BOOKMARK_PTR, ApiWidth::Ptr, NO_HOME, GET_REFUSE(kStmtOptional), SET_REFUSE(kStmtOptional)},
    {SQL_ATTR_PARAM_BIND_OFFSET_PTR, ApiWidth::Ptr, DESC_FIELD(Apd, SQL_DESC_BIND_OFFSET_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_PARAM_BIND_TYPE, ApiWidth::ULen, DESC_FIELD(Apd, SQL_DESC_BIND_TYPE), GET_STORED, SET_STORE},
    {SQL_ATTR_PARAM_OPERATION_PTR, ApiWidth::Ptr, DESC_FIELD(Apd, SQL_DESC_ARRAY_STATUS_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_PARAM_STATUS_PTR, ApiWidth::Ptr, DESC_FIELD(Ipd, SQL_DESC_ARRAY_STATUS_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_PARAMS_PROCESSED_PTR, ApiWidth::Ptr, DESC_FIELD(Ipd, SQL_DESC_ROWS_PROCESSED_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_PARAMSET_SIZE, ApiWidth::ULen, DESC_FIELD(Apd, SQL_DESC_ARRAY_SIZE), GET_STORED, SET_STORE},
    {SQL_ATTR_ROW_BIND_OFFSET_PTR, ApiWidth::Ptr, DESC_FIELD(Ard, SQL_DESC_BIND_OFFSET_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_ROW_OPERATION_PTR, ApiWidth::Ptr, DESC_FIELD(Ard, SQL_DESC_ARRAY_STATUS_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_ROW_STATUS_PTR, ApiWidth::Ptr, DESC_FIELD(Ird, SQL_DESC_ARRAY_STATUS_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_ROWS_FETCHED_PTR, ApiWidth::Ptr, DESC_FIELD(Ird, SQL_DESC_ROWS_PROCESSED_PTR), GET_STORED, SET_STORE},
    {SQL_ATTR_ROW_ARRAY_SIZE, ApiWidth::ULen, DESC_FIELD(Ard, SQL_DESC_ARRAY_SIZE), GET_STORED,
     SetRule::Store, 0, nullptr, "Row array size data value = %d"},
    {SQL_ATTR_APP_ROW_DESC, ApiWidth::Ptr, HELD_IN(Statement, ard, Pointer), GET_STORED,
     SetRule::Descriptor, offsetof(Statement, implicitArd), nullptr, nullptr},
    {SQL_ATTR_APP_PARAM_DESC, ApiWidth::Ptr, HELD_IN(Statement, apd, Pointer), GET_STORED,
     SetRule::Descriptor, offsetof(Statement, implicitApd), nullptr, nullptr},
    {SQL_ATTR_IMP_ROW_DESC, ApiWidth::Ptr, HELD_IN(Statement, ird, Pointer), GET_STORED, SET_REFUSE(kStmtAutomatic)},
    {SQL_ATTR_IMP_PARAM_DESC, ApiWidth::Ptr, HELD_IN(Statement, ipd, Pointer), GET_STORED, SET_REFUSE(kStmtAutomatic)},
    {SQL_ATTR_METADATA_ID, ApiWidth::ULen, NO_HOME, GET_FIXED(SQL_FALSE), SET_WARN_ON(SQL_TRUE, kValueChanged)},
    {0, ApiWidth::ULen, NO_HOME, GET_RULE(FailSilent), SET_IGNORE},
};

#undef HELD_IN
#undef DESC_FIELD
#undef NO_HOME
#undef GET_STORED
#undef GET_FIXED
#undef GET_REFUSE
#undef GET_RULE
#undef SET_STORE
#undef SET_REFUSE
#undef SET_ONLY
#undef SET_WARN_ON
#undef SET_IGNORE

template <std::size_t N>
const AttrRow& findRow(const AttrRow (&table)[N], SQLINTEGER id) {
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (table[i].id == id) return table[i];
    return table[N - 1];
}

// Reads a stored value widened to SQLULEN (signed members sign-extended).
SQLULEN load(const void* base, std::size_t offset, FieldWidth width) {
    const char* p = static_cast<const char*>(base) + offset;
    auto get = [p](auto v) {
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    switch (width) {
    case FieldWidth::Int16: return SQLULEN(SQLLEN(get(std::int16_t())));
    case FieldWidth::UInt16: return get(std::uint16_t());
    case FieldWidth::Int32: return SQLULEN(SQLLEN(get(std::int32_t())));
    case FieldWidth::UInt32: return get(std::uint32_t());
    case FieldWidth::Len: return SQLULEN(get(SQLLEN()));
    case FieldWidth::ULen: return get(SQLULEN());
    case FieldWidth::Pointer:
    case FieldWidth::Text: return SQLULEN(reinterpret_cast<std::uintptr_t>(get(static_cast<void*>(nullptr))));
    }
    return 0;
}

void store(void* base, std::size_t offset, FieldWidth width, SQLULEN value) {
    char* p = static_cast<char*>(base) + offset;
    auto put = [p](auto v) { std::memcpy(p, &v, sizeof v); };
    switch (width) {
    case FieldWidth::Int16: put(std::int16_t(value)); break;
    case FieldWidth::UInt16: put(std::uint16_t(value)); break;
    case FieldWidth::Int32: put(std::int32_t(value)); break;
    case FieldWidth::UInt32: put(std::uint32_t(value)); break;
    case FieldWidth::Len: put(SQLLEN(value)); break;
    case FieldWidth::ULen: put(value); break;
    case FieldWidth::Pointer: put(reinterpret_cast<void*>(std::uintptr_t(value))); break;
    case FieldWidth::Text: break;  // no attribute is held as an owned text
    }
}

// Bytes an attribute's value takes at the interface.
SQLINTEGER apiSize(ApiWidth width) {
    switch (width) {
    case ApiWidth::U32: return SQLINTEGER(sizeof(SQLUINTEGER));
    case ApiWidth::ULen: return SQLINTEGER(sizeof(SQLULEN));
    case ApiWidth::Ptr:
    case ApiWidth::Text: return SQLINTEGER(sizeof(SQLPOINTER));
    }
    return 0;
}

void writeValue(SQLPOINTER out, ApiWidth width, SQLULEN value) {
    if (!out) return;
    store(out, 0, width == ApiWidth::U32 ? FieldWidth::UInt32 : width == ApiWidth::ULen ? FieldWidth::ULen
                                                                                        : FieldWidth::Pointer,
          value);
}

// The value passed in ValuePtr itself, at the attribute's width.
SQLULEN argumentValue(SQLPOINTER value, ApiWidth width) {
    const SQLULEN v = SQLULEN(reinterpret_cast<std::uintptr_t>(value));
    return width == ApiWidth::U32 ? SQLULEN(std::uint32_t(v)) : v;
}

// The record holding a row's value (null when it has no home).
template <typename H>
void* homeOf(H* handle, const AttrRow& row) {
    return row.home == Home::Handle ? static_cast<void*>(handle) : nullptr;
}
void* homeOf(Statement* stmt, const AttrRow& row) {
    switch (row.home) {
    case Home::None: return nullptr;
    case Home::Handle: return stmt;
    case Home::Ard: return stmt->ard;
    case Home::Apd: return stmt->apd;
    case Home::Ird: return stmt->ird;
    case Home::Ipd: return stmt->ipd;
    }
    return nullptr;
}

// Where and how a row's value is held: a handle member, or the descriptor
// header field that the descriptor functions read and write too.
bool locate(const AttrRow& row, std::size_t& offset, FieldWidth& width) {
    if (row.home == Home::Handle) {
        offset = row.offset;
        width = row.storage;
        return true;
    }
    const DescField* f = findHeaderField(row.descField);
    if (!f) return false;
    offset = f->offset;
    width = f->width;
    return true;
}

template <typename H>
SQLRETURN refuse(H* handle, const Refusal& r) {
    addOdbcError(handle, r.state, r.text);
    return std::strncmp(r.state, "01", 2) == 0 ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}

// The value of a stored or fixed row; false when the row has neither.
template <typename H>
bool valueOf(H* handle, const AttrRow& row, SQLULEN& value) {
    if (row.get == GetRule::Fixed) {
        value = row.getValue;
        return true;
    }
    std::size_t offset = 0;
    FieldWidth width = FieldWidth::UInt32;
    void* home = homeOf(handle, row);
    if (row.get != GetRule::Stored || !home || !locate(row, offset, width)) return false;
    value = load(home, offset, width);
    return true;
}

// The get rules every handle kind shares. sizePtr, when not null, receives
// the value's size.
template <typename H>
SQLRETURN getAttr(H* handle, const AttrRow& row, SQLPOINTER out, SQLINTEGER* sizePtr) {
    switch (row.get) {
    case GetRule::Refuse: return refuse(handle, *row.getRefusal);
    case GetRule::Silent: return SQL_SUCCESS;
    case GetRule::FailSilent: return SQL_ERROR;
    default: break;
    }
    SQLULEN value = 0;
    if (!valueOf(handle, row, value)) return SQL_ERROR;
    writeValue(out, row.width, value);
    if (sizePtr) *sizePtr = apiSize(row.width);
    return SQL_SUCCESS;
}

// The set rules every handle kind shares, but the descriptor rule.
template <typename H>
SQLRETURN setAttr(H* handle, const AttrRow& row, SQLPOINTER argument, const char* tag) {
    const SQLULEN value = argumentValue(argument, row.width);
    if (row.setLog) driverLog().Debug(tag, row.setLog, int(value));
    switch (row.set) {
    case SetRule::Ignore: return SQL_SUCCESS;
    case SetRule::Refuse: return refuse(handle, *row.setRefusal);
    case SetRule::OnlyValue: return value == row.setValue ? SQL_SUCCESS : refuse(handle, *row.setRefusal);
    case SetRule::WarnOn: return value == row.setValue ? refuse(handle, *row.setRefusal) : SQL_SUCCESS;
    case SetRule::Store: break;
    case SetRule::Descriptor: return SQL_ERROR;  // statements only, see VSqlSetStmtAttr
    }
    std::size_t offset = 0;
    FieldWidth width = FieldWidth::UInt32;
    void* home = homeOf(handle, row);
    if (!home || !locate(row, offset, width)) return SQL_ERROR;
    store(home, offset, width, value);
    return SQL_SUCCESS;
}

// An application descriptor for a statement: null or the statement's own
// implicit one restores the implicit one; a user-allocated one is taken (of
// any connection); any other handle is ignored.
SQLRETURN setAppDescriptor(Statement* stmt, const AttrRow& row, SQLPOINTER argument) {
    Descriptor*& current = *reinterpret_cast<Descriptor**>(reinterpret_cast<char*>(stmt) + row.offset);
    Descriptor* implicit = *reinterpret_cast<Descriptor**>(reinterpret_cast<char*>(stmt) + row.setValue);
    auto* desc = static_cast<Descriptor*>(argument);
    if (!desc || desc == implicit)
        current = implicit;
    else if (isLiveHandle(desc, SQL_HANDLE_DESC) && desc->allocType == SQL_DESC_ALLOC_USER)
        current = desc;
    return SQL_SUCCESS;
}

}  // namespace

bool isTextConnectAttr(SQLINTEGER attribute) { return findRow(kConnAttrs, attribute).width == ApiWidth::Text; }
bool isTextStmtAttr(SQLINTEGER attribute) { return findRow(kStmtAttrs, attribute).width == ApiWidth::Text; }

SQLRETURN VSqlGetEnvAttr(Environment* env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER, SQLINTEGER*) {
    return getAttr(env, findRow(kEnvAttrs, attribute), value, nullptr);
}

SQLRETURN VSqlSetEnvAttr(Environment* env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return setAttr(env, findRow(kEnvAttrs, attribute), value, "SQLSetEnvAttr");
}

SQLRETURN VSqlGetConnectAttr(Connection* conn, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER bufferLength,
                             SQLINTEGER* stringLength) {
    const AttrRow& row = findRow(kConnAttrs, attribute);
    if (row.get == GetRule::Dead) {
        writeValue(value, row.width, conn->session && !conn->linkLost ? SQL_CD_FALSE : SQL_CD_TRUE);
        return SQL_SUCCESS;
    }
    if (row.get == GetRule::Catalog) {
        // The name is at most 64 characters: a 16-bit copy is exact.
        SQLSMALLINT length = 0;
        const SQLRETURN rc = copyOutString(value, SQLSMALLINT(std::clamp<SQLINTEGER>(bufferLength, 0, 32767)),
                                           &length, setupToInternal(conn->server).c_str());
        if (stringLength) *stringLength = length;
        return rc;
    }
    return getAttr(conn, row, value, nullptr);
}

SQLRETURN VSqlSetConnectAttr(Connection* conn, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    return setAttr(conn, findRow(kConnAttrs, attribute), value, "SQLSetConnectAttr");
}

SQLRETURN VSqlGetStmtAttr(Statement* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                          SQLINTEGER* stringLength) {
    return getAttr(stmt, findRow(kStmtAttrs, attribute), value, stringLength);
}

SQLRETURN VSqlSetStmtAttr(Statement* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    const AttrRow& row = findRow(kStmtAttrs, attribute);
    if (row.set == SetRule::Descriptor) return setAppDescriptor(stmt, row, value);
    return setAttr(stmt, row, value, "SQLSetStmtAttr");
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                            SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    return EnvCall(Api::SQLGetEnvAttr, EnvironmentHandle)
        .enter(int(Attribute))
        .run([&](Environment* e) { return VSqlGetEnvAttr(e, Attribute, ValuePtr, BufferLength, StringLengthPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                            SQLINTEGER StringLength) {
    return EnvCall(Api::SQLSetEnvAttr, EnvironmentHandle)
        .enter(int(Attribute))
        .run([&](Environment* e) { return VSqlSetEnvAttr(e, Attribute, ValuePtr, StringLength); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                                SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    return ConnCall(Api::SQLGetConnectAttr, ConnectionHandle)
        .enter(int(Attribute))
        .run([&](Connection* c) { return VSqlGetConnectAttr(c, Attribute, ValuePtr, BufferLength, StringLengthPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                                SQLINTEGER StringLength) {
    return ConnCall(Api::SQLSetConnectAttr, ConnectionHandle)
        .enter(int(Attribute))
        .run([&](Connection* c) { return VSqlSetConnectAttr(c, Attribute, ValuePtr, StringLength); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                             SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    return StmtCall(Api::SQLGetStmtAttr, StatementHandle)
        .enter(int(Attribute))
        .run([&](Statement* s) { return VSqlGetStmtAttr(s, Attribute, ValuePtr, BufferLength, StringLengthPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                             SQLINTEGER StringLength) {
    return StmtCall(Api::SQLSetStmtAttr, StatementHandle)
        .enter(int(Attribute))
        .run([&](Statement* s) { return VSqlSetStmtAttr(s, Attribute, ValuePtr, StringLength); });
}
