// The W entry points. Each is a thin layer over the internal function its
// ANSI export calls, in the same frame: wide input texts are converted on
// the way in (WideIn), and text answers are written by the internal function
// into a scratch buffer long enough for any answer and then copied out as
// UTF-16 (copyOutWide), whole characters only, a cut text reported as 01004.
// Lengths count characters where ODBC says so (SQLWCHAR* arguments) and bytes
// for SQLPOINTER buffers. Which attributes, fields and information types are
// text is told by the tables of attributes.cpp, descriptors.cpp, info.cpp and
// diag.cpp.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "driver/entry/apicall.h"
#include "driver/entry/attributes.h"
#include "driver/catalog/catalog.h"
#include "driver/connect/connect.h"
#include "driver/entry/descriptors.h"
#include "driver/stmt/execute.h"
#include "driver/stmt/fetch.h"
#include "driver/catalog/info.h"
#include "driver/convert/widetext.h"
#include "log/VfxLogger.h"

namespace {

// Room for any text a 16-bit length can report.
constexpr SQLSMALLINT kScratchLength = 32767;

// A buffer the internal function writes its text into.
class Scratch {
public:
    explicit Scratch(std::size_t bytes = std::size_t(kScratchLength)) : bytes_(bytes + 1, '\0') {}
    SQLCHAR* buffer() { return reinterpret_cast<SQLCHAR*>(bytes_.data()); }
    const char* text() const { return bytes_.data(); }
    std::size_t size() const { return std::strlen(bytes_.data()); }

private:
    std::vector<char> bytes_;
};

// The buffer length the internal function is given: the scratch buffer's,
// or the application's own when it is negative, so that the internal
// function refuses it as it would from the ANSI export.
template <typename L>
L scratchLength(L applicationLength, L scratch = kScratchLength) {
    return applicationLength < 0 ? applicationLength : scratch;
}

// How a wide function counts its buffer and its returned length.
enum class Unit { Chars, Bytes };

// Copies the text out and returns copyOutWide's answer (SQL_SUCCESS when
// there is no buffer to cut).
template <typename L>
SQLRETURN putWide(SQLPOINTER buffer, L bufferLength, L* lengthPtr, Unit unit, const char* text, std::size_t bytes) {
    const SQLLEN per = unit == Unit::Bytes ? SQLLEN(sizeof(SQLWCHAR)) : 1;
    const SQLLEN capacity = bufferLength < 0 ? 0 : SQLLEN(bufferLength) / per;
    SQLLEN full = 0;
    const SQLRETURN rc = copyOutWide(static_cast<SQLWCHAR*>(buffer), capacity, &full, text, bytes);
    if (lengthPtr) {
        const SQLLEN length = full * per, top = SQLLEN(std::numeric_limits<L>::max());
        *lengthPtr = L(length > top ? top : length);
    }
    return buffer ? rc : SQL_SUCCESS;
}

template <typename L>
SQLRETURN putWide(SQLPOINTER buffer, L bufferLength, L* lengthPtr, Unit unit, const Scratch& scratch) {
    return putWide(buffer, bufferLength, lengthPtr, unit, scratch.text(), scratch.size());
}

// The internal function's result with the copy's: a cut text makes
// SQL_SUCCESS_WITH_INFO.
SQLRETURN withCut(SQLRETURN internal, SQLRETURN copied) {
    return copied == SQL_SUCCESS_WITH_INFO ? SQL_SUCCESS_WITH_INFO : internal;
}

// The same, with 01004 recorded on the handle.
template <typename H>
SQLRETURN withCopy(H* handle, SQLRETURN internal, SQLRETURN copied) {
    if (copied == SQL_SUCCESS_WITH_INFO) addOdbcError(handle, "01004", "String data, right truncated");
    return withCut(internal, copied);
}

// For internal functions with 32-bit lengths and no side effects: asks for
// the length first, then reads the text into a scratch buffer of that size.
// False (and rc the internal result) when the call failed or wrote no text.
template <typename Fn>
bool readProbed(Fn&& internal, Scratch& scratch, SQLRETURN& rc) {
    SQLINTEGER length = -1;
    rc = internal(nullptr, 0, &length);
    if (!SQL_SUCCEEDED(rc) || length < 0) return false;
    scratch = Scratch(std::size_t(length));
    rc = internal(scratch.buffer(), length + 1, &length);
    return SQL_SUCCEEDED(rc);
}

// A text attribute's or field's value from the application: a byte length
// (or SQL_NTS) over wide characters.
WideIn wideValue(SQLPOINTER value, SQLINTEGER length) {
    const SQLLEN units = length >= 0 ? SQLLEN(length) / SQLLEN(sizeof(SQLWCHAR)) : SQLLEN(length);
    return WideIn(static_cast<const SQLWCHAR*>(value), units);
}

SQLSMALLINT shortLength(const WideIn& in) { return SQLSMALLINT(in.length()); }

}  // namespace

// ---------------------------------------------------------------------------
// Connections.

VSQL_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC ConnectionHandle, SQLWCHAR* ServerName, SQLSMALLINT NameLength1,
                                          SQLWCHAR* UserName, SQLSMALLINT NameLength2, SQLWCHAR* Authentication,
                                          SQLSMALLINT NameLength3) {
    const WideCall wide;
    constexpr auto setup = WideIn::Kind::Setup;
    WideIn server(ServerName, NameLength1, setup), user(UserName, NameLength2, setup),
        password(Authentication, NameLength3, setup);
    return ConnCall(wideForm(Api::SQLConnect), ConnectionHandle)
        .run([&](Connection* c) {
            return VSqlConnect(c, server.text(), shortLength(server), user.text(), shortLength(user),
                               password.text(), shortLength(password));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC ConnectionHandle, SQLHWND WindowHandle,
                                                SQLWCHAR* InConnectionString, SQLSMALLINT StringLength1,
                                                SQLWCHAR* OutConnectionString, SQLSMALLINT BufferLength,
                                                SQLSMALLINT* StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    const WideCall wide;
    WideIn in(InConnectionString, StringLength1, WideIn::Kind::Setup);
    return ConnCall(wideForm(Api::SQLDriverConnect), ConnectionHandle)
        .enter(int(DriverCompletion))
        .run([&](Connection* c) {
            // Connecting happens once: the scratch buffer takes any output.
            Scratch out;
            const SQLRETURN rc = VSqlDriverConnect(c, WindowHandle, in.text(), shortLength(in), out.buffer(),
                                                   kScratchLength, nullptr, DriverCompletion);
            if (!SQL_SUCCEEDED(rc)) return rc;
            const std::string text = setupToInternal(out.text());
            return withCopy(c, rc, putWide<SQLSMALLINT>(OutConnectionString, BufferLength, StringLength2Ptr,
                                                         Unit::Chars, text.data(), text.size()));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC ConnectionHandle, SQLWCHAR* InStatementText,
                                            SQLINTEGER TextLength1, SQLWCHAR* OutStatementText,
                                            SQLINTEGER BufferLength, SQLINTEGER* TextLength2Ptr) {
    const WideCall wide;
    WideIn in(InStatementText, TextLength1);
    return ConnCall(wideForm(Api::SQLNativeSql), ConnectionHandle)
        .run([&](Connection* c) {
            if (BufferLength < 0)
                return VSqlNativeSql(c, in.text(), SQLINTEGER(in.length()), nullptr, BufferLength, nullptr);
            Scratch out;
            SQLRETURN rc;
            const bool read = readProbed([&](SQLCHAR* b, SQLINTEGER n, SQLINTEGER* l) {
                return VSqlNativeSql(c, in.text(), SQLINTEGER(in.length()), b, n, l);
            }, out, rc);
            if (!read) return rc;
            return withCopy(c, rc, putWide(OutStatementText, BufferLength, TextLength2Ptr, Unit::Chars, out));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValuePtr,
                                          SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr) {
    const WideCall wide;
    return ConnCall(wideForm(Api::SQLGetInfo), ConnectionHandle)
        .enter(int(InfoType))
        .run([&](Connection* c) {
            if (!isTextInfo(InfoType)) return VSqlGetInfo(c, InfoType, InfoValuePtr, BufferLength, StringLengthPtr);
            Scratch text;
            const SQLRETURN rc = VSqlGetInfo(c, InfoType, text.buffer(), kScratchLength, nullptr);
            if (!SQL_SUCCEEDED(rc)) return rc;
            return withCopy(c, SQL_SUCCESS, putWide(InfoValuePtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                                 SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    const WideCall wide;
    return ConnCall(wideForm(Api::SQLGetConnectAttr), ConnectionHandle)
        .enter(int(Attribute))
        .run([&](Connection* c) {
            if (!isTextConnectAttr(Attribute))
                return VSqlGetConnectAttr(c, Attribute, ValuePtr, BufferLength, StringLengthPtr);
            Scratch text;
            SQLRETURN rc;
            if (!readProbed([&](SQLCHAR* b, SQLINTEGER n, SQLINTEGER* l) {
                    return VSqlGetConnectAttr(c, Attribute, b, n, l);
                }, text, rc))
                return rc;
            return withCopy(c, rc, putWide(ValuePtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                                 SQLINTEGER StringLength) {
    const WideCall wide;
    return ConnCall(wideForm(Api::SQLSetConnectAttr), ConnectionHandle)
        .enter(int(Attribute))
        .run([&](Connection* c) {
            if (!isTextConnectAttr(Attribute)) return VSqlSetConnectAttr(c, Attribute, ValuePtr, StringLength);
            WideIn value = wideValue(ValuePtr, StringLength);
            return VSqlSetConnectAttr(c, Attribute, value.text(), SQLINTEGER(value.length()));
        });
}

// ---------------------------------------------------------------------------
// Statements.

VSQL_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT StatementHandle, SQLWCHAR* StatementText, SQLINTEGER TextLength) {
    const WideCall wide;
    WideIn text(StatementText, TextLength);
    return StmtCall(wideForm(Api::SQLPrepare), StatementHandle)
        .run([&](Statement* s) { return VSqlPrepare(s, text.text(), SQLINTEGER(text.length())); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT StatementHandle, SQLWCHAR* StatementText,
                                             SQLINTEGER TextLength) {
    const WideCall wide;
    WideIn text(StatementText, TextLength);
    // As for SQLExecDirect: the internal function takes a resolved length,
    // and an empty text fails without a diagnostic and without an exit line.
    const SQLLEN length = !text.text() ? 0 : text.length() == SQL_NTS ? SQLLEN(text.size()) : text.length();
    return StmtCall(wideForm(Api::SQLExecDirect), StatementHandle)
        .run([&](Statement* s) { return VSqlExecDirect(s, text.text(), length); }, length > 0);
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                              SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLGetStmtAttr), StatementHandle)
        .enter(int(Attribute))
        .run([&](Statement* s) {
            if (!isTextStmtAttr(Attribute))
                return VSqlGetStmtAttr(s, Attribute, ValuePtr, BufferLength, StringLengthPtr);
            Scratch text;
            SQLRETURN rc;
            if (!readProbed([&](SQLCHAR* b, SQLINTEGER n, SQLINTEGER* l) {
                    return VSqlGetStmtAttr(s, Attribute, b, n, l);
                }, text, rc))
                return rc;
            return withCopy(s, rc, putWide(ValuePtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER ValuePtr,
                                              SQLINTEGER StringLength) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLSetStmtAttr), StatementHandle)
        .enter(int(Attribute))
        .run([&](Statement* s) {
            if (!isTextStmtAttr(Attribute)) return VSqlSetStmtAttr(s, Attribute, ValuePtr, StringLength);
            WideIn value = wideValue(ValuePtr, StringLength);
            return VSqlSetStmtAttr(s, Attribute, value.text(), SQLINTEGER(value.length()));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT StatementHandle, SQLWCHAR* CursorName,
                                                SQLSMALLINT BufferLength, SQLSMALLINT* NameLengthPtr) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLGetCursorName), StatementHandle).run([&](Statement* s) {
        Scratch name;
        const SQLRETURN rc = VSqlGetCursorName(s, name.buffer(), scratchLength(BufferLength), nullptr);
        if (!SQL_SUCCEEDED(rc)) return rc;
        return withCopy(s, rc, putWide<SQLSMALLINT>(CursorName, BufferLength, NameLengthPtr, Unit::Chars, name));
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT StatementHandle, SQLWCHAR* CursorName,
                                                SQLSMALLINT NameLength) {
    const WideCall wide;
    WideIn name(CursorName, NameLength);
    return StmtCall(wideForm(Api::SQLSetCursorName), StatementHandle)
        .run([&](Statement* s) { return VSqlSetCursorName(s, name.text(), shortLength(name)); });
}

// ---------------------------------------------------------------------------
// Result descriptions and descriptors.

VSQL_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                              SQLWCHAR* ColumnName, SQLSMALLINT BufferLength,
                                              SQLSMALLINT* NameLengthPtr, SQLSMALLINT* DataTypePtr,
                                              SQLULEN* ColumnSizePtr, SQLSMALLINT* DecimalDigitsPtr,
                                              SQLSMALLINT* NullablePtr) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLDescribeCol), StatementHandle)
        .enter(int(ColumnNumber))
        .run([&](Statement* s) {
            Scratch name;
            const SQLRETURN rc = VSqlDescribeCol(s, ColumnNumber, name.buffer(), scratchLength(BufferLength),
                                                 nullptr, DataTypePtr, ColumnSizePtr, DecimalDigitsPtr,
                                                 NullablePtr);
            if (!SQL_SUCCEEDED(rc)) return rc;
            return withCopy(s, rc,
                            putWide<SQLSMALLINT>(ColumnName, BufferLength, NameLengthPtr, Unit::Chars, name));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                               SQLUSMALLINT FieldIdentifier, SQLPOINTER CharacterAttributePtr,
                                               SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                               SQLLEN* NumericAttributePtr) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLColAttribute), StatementHandle)
        .enter(int(ColumnNumber), int(FieldIdentifier))
        .run([&](Statement* s) {
            if (!isTextColAttribute(FieldIdentifier))
                return VSqlColAttribute(s, ColumnNumber, FieldIdentifier, CharacterAttributePtr, BufferLength,
                                        StringLengthPtr, NumericAttributePtr);
            Scratch text;
            const SQLRETURN rc = VSqlColAttribute(s, ColumnNumber, FieldIdentifier, text.buffer(),
                                                  scratchLength(BufferLength), nullptr, NumericAttributePtr);
            if (!SQL_SUCCEEDED(rc)) return rc;
            return withCopy(s, rc, putWide(CharacterAttributePtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                               SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                               SQLINTEGER BufferLength, SQLINTEGER* StringLengthPtr) {
    const WideCall wide;
    return DescCall(wideForm(Api::SQLGetDescField), DescriptorHandle)
        .enter(int(RecNumber), int(FieldIdentifier))
        .run([&](Descriptor* d) {
            if (!isTextDescField(FieldIdentifier))
                return VSqlGetDescField(d, RecNumber, FieldIdentifier, ValuePtr, BufferLength, StringLengthPtr);
            Scratch text;
            SQLRETURN rc;
            if (!readProbed([&](SQLCHAR* b, SQLINTEGER n, SQLINTEGER* l) {
                    return VSqlGetDescField(d, RecNumber, FieldIdentifier, b, n, l);
                }, text, rc))
                return rc;
            return withCopy(d, rc, putWide(ValuePtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                               SQLSMALLINT FieldIdentifier, SQLPOINTER ValuePtr,
                                               SQLINTEGER BufferLength) {
    const WideCall wide;
    return DescCall(wideForm(Api::SQLSetDescField), DescriptorHandle)
        .enter(int(RecNumber), int(FieldIdentifier))
        .run([&](Descriptor* d) {
            if (!isTextDescField(FieldIdentifier))
                return VSqlSetDescField(d, RecNumber, FieldIdentifier, ValuePtr, BufferLength);
            WideIn value = wideValue(ValuePtr, BufferLength);
            return VSqlSetDescField(d, RecNumber, FieldIdentifier, value.text(), SQLINTEGER(value.length()));
        });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLWCHAR* Name,
                                             SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr,
                                             SQLSMALLINT* TypePtr, SQLSMALLINT* SubTypePtr, SQLLEN* LengthPtr,
                                             SQLSMALLINT* PrecisionPtr, SQLSMALLINT* ScalePtr,
                                             SQLSMALLINT* NullablePtr) {
    const WideCall wide;
    return DescCall(wideForm(Api::SQLGetDescRec), DescriptorHandle)
        .enter(int(RecNumber))
        .run([&](Descriptor* d) {
            Scratch name;
            const SQLRETURN rc = VSqlGetDescRec(d, RecNumber, name.buffer(), scratchLength(BufferLength), nullptr,
                                                TypePtr, SubTypePtr, LengthPtr, PrecisionPtr, ScalePtr,
                                                NullablePtr);
            if (!SQL_SUCCEEDED(rc)) return rc;
            return withCopy(d, rc, putWide<SQLSMALLINT>(Name, BufferLength, StringLengthPtr, Unit::Chars, name));
        });
}

// No text: the same as SQLSetDescRec, exported for drivers managers that
// call only W functions of a Unicode driver.
VSQL_EXPORT SQLRETURN SQL_API SQLSetDescRecW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLSMALLINT Type,
                                             SQLSMALLINT SubType, SQLLEN Length, SQLSMALLINT Precision,
                                             SQLSMALLINT Scale, SQLPOINTER DataPtr, SQLLEN* StringLengthPtr,
                                             SQLLEN* IndicatorPtr) {
    const WideCall wide;
    return DescCall(wideForm(Api::SQLSetDescRec), DescriptorHandle)
        .enter(int(RecNumber), int(Type), int(SubType))
        .run([&](Descriptor* d) {
            return VSqlSetDescRec(d, RecNumber, Type, SubType, Length, Precision, Scale, DataPtr, StringLengthPtr,
                                  IndicatorPtr);
        });
}

// ---------------------------------------------------------------------------
// Diagnostics: like their ANSI forms, no lock and nothing cleared; a cut
// text adds no record.

VSQL_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                             SQLWCHAR* SQLState, SQLINTEGER* NativeErrorPtr, SQLWCHAR* MessageText,
                                             SQLSMALLINT BufferLength, SQLSMALLINT* TextLengthPtr) {
    const WideCall wide;
    return ApiFrame(wideForm(Api::SQLGetDiagRec)).enter(int(HandleType), int(RecNumber)).run([&] {
        char state[6] = "";
        Scratch message;
        const SQLRETURN got = VSqlGetDiagRec(HandleType, Handle, RecNumber, reinterpret_cast<SQLCHAR*>(state),
                                             NativeErrorPtr, message.buffer(), scratchLength(BufferLength), nullptr);
        if (!SQL_SUCCEEDED(got)) return got;
        if (SQLState) copyOutWide(SQLState, 6, nullptr, state, std::strlen(state));
        return withCut(got, putWide<SQLSMALLINT>(MessageText, BufferLength, TextLengthPtr, Unit::Chars, message));
    });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                               SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfoPtr,
                                               SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr) {
    const WideCall wide;
    return ApiFrame(wideForm(Api::SQLGetDiagField))
        .enter(int(HandleType), int(RecNumber), int(DiagIdentifier))
        .run([&] {
        if (!isTextDiagField(DiagIdentifier))
            return VSqlGetDiagField(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfoPtr, BufferLength,
                                    StringLengthPtr);
        Scratch text;
        const SQLRETURN got = VSqlGetDiagField(HandleType, Handle, RecNumber, DiagIdentifier, text.buffer(),
                                               scratchLength(BufferLength), nullptr);
        if (!SQL_SUCCEEDED(got)) return got;
        return withCut(got, putWide(DiagInfoPtr, BufferLength, StringLengthPtr, Unit::Bytes, text));
    });
}

// ---------------------------------------------------------------------------
// Catalog functions: the arguments the ANSI exports use, converted.

VSQL_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT StatementHandle, SQLWCHAR* CatalogName_, SQLSMALLINT NameLength1,
                                         SQLWCHAR* SchemaName, SQLSMALLINT NameLength2, SQLWCHAR* TableName,
                                         SQLSMALLINT NameLength3, SQLWCHAR* TableType, SQLSMALLINT NameLength4) {
    const WideCall wide;
    WideIn c(CatalogName_, NameLength1), sc(SchemaName, NameLength2), t(TableName, NameLength3),
        ty(TableType, NameLength4);
    const CatalogName catalog(c.text(), shortLength(c)), schema(sc.text(), shortLength(sc)),
        table(t.text(), shortLength(t)), type(ty.text(), shortLength(ty));
    return StmtCall(wideForm(Api::SQLTables), StatementHandle)
        .enter(catalog.forLog(),
               schema.forLog(), table.forLog(), type.forLog())
        .run([&](Statement* s) { return VSqlTables(s, catalog, schema, table, type); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT StatementHandle, SQLWCHAR* CatalogName_, SQLSMALLINT NameLength1,
                                          SQLWCHAR* SchemaName, SQLSMALLINT NameLength2, SQLWCHAR* TableName,
                                          SQLSMALLINT NameLength3, SQLWCHAR* ColumnName, SQLSMALLINT NameLength4) {
    const WideCall wide;
    WideIn c(CatalogName_, NameLength1), sc(SchemaName, NameLength2), t(TableName, NameLength3),
        co(ColumnName, NameLength4);
    const CatalogName catalog(c.text(), shortLength(c)), schema(sc.text(), shortLength(sc)),
        table(t.text(), shortLength(t)), column(co.text(), shortLength(co));
    return StmtCall(wideForm(Api::SQLColumns), StatementHandle)
        .enter(catalog.forLog(),
               schema.forLog(), table.forLog(), column.forLog())
        .run([&](Statement* s) { return VSqlColumns(s, table, column); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT StatementHandle, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                                              SQLSMALLINT, SQLWCHAR* TableName, SQLSMALLINT NameLength3) {
    const WideCall wide;
    WideIn t(TableName, NameLength3);
    const CatalogName table(t.text(), shortLength(t));
    return StmtCall(wideForm(Api::SQLPrimaryKeys), StatementHandle)
        .run([&](Statement* s) { return VSqlPrimaryKeys(s, table); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLWCHAR*,
                                                 SQLSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLWCHAR* TableName,
                                                 SQLSMALLINT NameLength3, SQLUSMALLINT, SQLUSMALLINT) {
    const WideCall wide;
    WideIn t(TableName, NameLength3);
    const CatalogName table(t.text(), shortLength(t));
    return StmtCall(wideForm(Api::SQLSpecialColumns), StatementHandle)
        .run([&](Statement* s) { return VSqlSpecialColumns(s, IdentifierType, table); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT StatementHandle, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*, SQLSMALLINT,
                                             SQLWCHAR*, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLStatistics), StatementHandle)
        .run([&](Statement* s) { return VSqlStatistics(s); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    const WideCall wide;
    return StmtCall(wideForm(Api::SQLGetTypeInfo), StatementHandle)
        .enter(int(DataType))
        .run([&](Statement* s) { return VSqlGetTypeInfo(s, DataType); });
}
