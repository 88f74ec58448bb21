// SQLGetInfo: one table row per information type, one writer per kind of
// answer. SQLGetTypeInfo: the types the driver knows, as a local result.
#include "driver/catalog/info.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "driver/entry/apicall.h"
#include "driver/catalog/catalog.h"
#include "driver/stmt/escapes.h"
#include "driver/stmt/resultset.h"
#include "driver/convert/widetext.h"
#include "log/VfxLogger.h"
#include "platform/platform.h"

namespace {

enum class Answer : unsigned char {
    Text,        // the row's text (UTF-8 here), as an internal text
    DriverFile,  // the library's own file name
    DsnText,     // the connection's data source name
    ServerText,  // the connection's server name
    UserText,    // the connection's user name
    DbmsVer,     // the server's version text
    U16,         // the row's number, 16 bits
    U32,         // the row's number, 32 bits
    Escapes,     // 32 bits: what the escape translation offers
};

// first..last: a range of information types with the same answer.
struct InfoRow {
    std::uint16_t first;
    std::uint16_t last;
    Answer answer;
    const char* text;
    std::uint32_t number;
};

constexpr InfoRow text(std::uint16_t id, const char* value) { return {id, id, Answer::Text, value, 0}; }
constexpr InfoRow from(std::uint16_t id, Answer a) { return {id, id, a, nullptr, 0}; }
constexpr InfoRow u16(std::uint16_t id, std::uint32_t v) { return {id, id, Answer::U16, nullptr, v}; }
constexpr InfoRow u32(std::uint16_t id, std::uint32_t v) { return {id, id, Answer::U32, nullptr, v}; }
constexpr InfoRow u32Zero(std::uint16_t first, std::uint16_t last) { return {first, last, Answer::U32, nullptr, 0}; }

// åäöüÅÄÖÜéÉ, written in UTF-8 here; answered as an internal text.
const char kSpecialCharacters[] = u8"\u00E5\u00E4\u00F6\u00FC\u00C5\u00C4\u00D6\u00DC\u00E9\u00C9";

const InfoRow kInfoRows[] = {
    // Texts.
    from(SQL_DATA_SOURCE_NAME, Answer::DsnText),
    from(SQL_DRIVER_NAME, Answer::DriverFile),
    text(SQL_DRIVER_VER, "02.00.0000"),
    text(SQL_ROW_UPDATES, "N"),
    from(SQL_SERVER_NAME, Answer::ServerText),
    text(SQL_SEARCH_PATTERN_ESCAPE, "\\"),
    text(SQL_DATABASE_NAME, ""),
    text(SQL_DBMS_NAME, "VORN"),
    from(SQL_DBMS_VER, Answer::DbmsVer),
    text(SQL_ACCESSIBLE_TABLES, "Y"),
    text(SQL_ACCESSIBLE_PROCEDURES, "N"),
    text(SQL_PROCEDURES, "N"),
    text(SQL_DATA_SOURCE_READ_ONLY, "N"),
    text(SQL_EXPRESSIONS_IN_ORDERBY, "N"),
    text(SQL_IDENTIFIER_QUOTE_CHAR, " "),  // identifiers cannot be quoted
    text(SQL_MULT_RESULT_SETS, "N"),
    text(SQL_MULTIPLE_ACTIVE_TXN, "N"),
    text(SQL_SCHEMA_TERM, ""),
    text(SQL_PROCEDURE_TERM, ""),
    text(SQL_CATALOG_NAME_SEPARATOR, "."),
    text(SQL_CATALOG_TERM, "Database"),
    text(SQL_TABLE_TERM, "table"),
    from(SQL_USER_NAME, Answer::UserText),
    text(SQL_INTEGRITY, "N"),
    text(SQL_DRIVER_ODBC_VER, "03.52"),
    text(SQL_COLUMN_ALIAS, "Y"),
    text(SQL_KEYWORDS, "PROPERTY,OBJECT,VALUELIST,R"),
    text(SQL_ORDER_BY_COLUMNS_IN_SELECT, "N"),
    text(SQL_SPECIAL_CHARACTERS, kSpecialCharacters),
    text(SQL_MAX_ROW_SIZE_INCLUDES_LONG, "N"),
    text(SQL_NEED_LONG_DATA_LEN, "N"),
    text(SQL_LIKE_ESCAPE_CLAUSE, "Y"),
    text(SQL_OUTER_JOINS, "Y"),
    text(SQL_XOPEN_CLI_YEAR, ""),
    text(SQL_DESCRIBE_PARAMETER, "Y"),
    text(SQL_CATALOG_NAME, "Y"),
    text(SQL_COLLATION_SEQ, ""),

    // 16-bit numbers.
    u16(SQL_MAX_DRIVER_CONNECTIONS, 0),
    u16(SQL_MAX_CONCURRENT_ACTIVITIES, 0),
    u16(SQL_CONCAT_NULL_BEHAVIOR, SQL_CB_NULL),
    u16(SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CB_PRESERVE),
    u16(SQL_CURSOR_ROLLBACK_BEHAVIOR, SQL_CB_PRESERVE),
    u16(SQL_IDENTIFIER_CASE, SQL_IC_UPPER),
    u16(SQL_MAX_COLUMN_NAME_LEN, 255),
    u16(SQL_MAX_SCHEMA_NAME_LEN, 255),
    u16(SQL_MAX_CATALOG_NAME_LEN, 255),
    u16(SQL_MAX_TABLE_NAME_LEN, 255),
    u16(SQL_MAX_USER_NAME_LEN, 255),
    u16(SQL_MAX_CURSOR_NAME_LEN, 0),
    u16(SQL_MAX_PROCEDURE_NAME_LEN, 0),
    u16(SQL_CORRELATION_NAME, SQL_CN_ANY),
    u16(SQL_NON_NULLABLE_COLUMNS, SQL_NNC_NON_NULL),
    u16(SQL_FILE_USAGE, 0),
    u16(SQL_NULL_COLLATION, SQL_NC_HIGH),
    u16(SQL_GROUP_BY, SQL_GB_GROUP_BY_EQUALS_SELECT),
    u16(SQL_QUOTED_IDENTIFIER_CASE, 0),
    {SQL_MAX_COLUMNS_IN_GROUP_BY, SQL_MAX_COLUMNS_IN_TABLE, Answer::U16, nullptr, 0},
    u16(SQL_MAX_TABLES_IN_SELECT, 0),
    u16(SQL_CATALOG_LOCATION, SQL_CL_START),
    u16(SQL_ACTIVE_ENVIRONMENTS, 0),
    u16(SQL_MAX_IDENTIFIER_LEN, 0),

    // 32-bit numbers.
    u32(SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC),
    u32(SQL_GETDATA_EXTENSIONS, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND),
    u32(SQL_CATALOG_USAGE, SQL_CU_DML_STATEMENTS | SQL_CU_TABLE_DEFINITION),
    u32(SQL_SUBQUERIES, SQL_SQ_COMPARISON),
    u32(SQL_UNION, SQL_U_UNION | SQL_U_UNION_ALL),
    u32(SQL_CREATE_TABLE, SQL_CT_CREATE_TABLE),
    u32(SQL_DROP_TABLE, SQL_DT_DROP_TABLE),
    u32(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT),
    u32(SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT),
    u32(SQL_ODBC_INTERFACE_CONFORMANCE, SQL_OIC_CORE),
    // {oj ...} becomes the server's own join.
    u32(SQL_OJ_CAPABILITIES, SQL_OJ_LEFT | SQL_OJ_RIGHT | SQL_OJ_NESTED | SQL_OJ_NOT_ORDERED | SQL_OJ_INNER |
                                 SQL_OJ_ALL_COMPARISON_OPS),
    // The scalar functions and conversions of the escape sequences.
    {SQL_CONVERT_FUNCTIONS, SQL_TIMEDATE_FUNCTIONS, Answer::Escapes, nullptr, 0},      // 48..52
    {SQL_CONVERT_BIGINT, SQL_CONVERT_LONGVARBINARY, Answer::Escapes, nullptr, 0},      // 53..71
    u32(SQL_SQL92_DATETIME_FUNCTIONS, SQL_SDF_CURRENT_DATE | SQL_SDF_CURRENT_TIME | SQL_SDF_CURRENT_TIMESTAMP),
    u32(SQL_SQL92_FOREIGN_KEY_DELETE_RULE, 15),  // cascade, no action, set default, set null
    u32(SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, 15),
    u32(SQL_SQL92_PREDICATES, 0x1E06),  // is [not] null, like, in, between, comparison
    u32(SQL_SQL92_RELATIONAL_JOIN_OPERATORS, 0x1D0),  // inner, left outer, natural, right outer
    u32(SQL_SQL92_ROW_VALUE_CONSTRUCTOR, 11),  // value expression, null, row subquery
    u32(SQL_AGGREGATE_FUNCTIONS, 127),  // avg count max min sum distinct all
    u32(SQL_INSERT_STATEMENT, SQL_IS_INSERT_LITERALS | SQL_IS_INSERT_SEARCHED | SQL_IS_SELECT_INTO),

    // 32-bit numbers of 0.
    u32Zero(SQL_ODBC_API_CONFORMANCE, SQL_ODBC_API_CONFORMANCE),
    u32Zero(SQL_DEFAULT_TXN_ISOLATION, SQL_DEFAULT_TXN_ISOLATION),
    u32Zero(SQL_TXN_CAPABLE, SQL_TXN_CAPABLE),
    u32Zero(SQL_TXN_ISOLATION_OPTION, SQL_TXN_ISOLATION_OPTION),
    u32Zero(SQL_POS_OPERATIONS, SQL_POS_OPERATIONS),
    u32Zero(SQL_BOOKMARK_PERSISTENCE, SQL_BOOKMARK_PERSISTENCE),
    u32Zero(SQL_ALTER_TABLE, SQL_ALTER_TABLE),
    u32Zero(SQL_SCHEMA_USAGE, SQL_SCHEMA_USAGE),
    u32Zero(SQL_MAX_INDEX_SIZE, SQL_MAX_INDEX_SIZE),
    u32Zero(SQL_MAX_ROW_SIZE, SQL_MAX_STATEMENT_LEN),              // 104, 105
    u32Zero(SQL_MAX_CHAR_LITERAL_LEN, SQL_TIMEDATE_DIFF_INTERVALS),  // 108..110
    u32Zero(SQL_MAX_BINARY_LITERAL_LEN, SQL_MAX_BINARY_LITERAL_LEN),
    u32Zero(SQL_ALTER_DOMAIN, SQL_BATCH_SUPPORT),                  // 117..121
    u32Zero(SQL_CONVERT_INTERVAL_DAY_TIME, SQL_CONVERT_INTERVAL_YEAR_MONTH),
    u32Zero(SQL_CREATE_ASSERTION, SQL_CREATE_SCHEMA),              // 127..131
    u32Zero(SQL_CREATE_TRANSLATION, SQL_CREATE_VIEW),              // 133, 134
    u32Zero(SQL_DROP_ASSERTION, SQL_DROP_SCHEMA),                  // 136..140
    u32Zero(SQL_DROP_TRANSLATION, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1 - 1),  // 142..145
    u32Zero(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, SQL_KEYSET_CURSOR_ATTRIBUTES2),  // 147..151
    // Each row of a parameter array runs on its own; SQLRowCount is their sum
    // and a query is refused with an array.
    u32(SQL_PARAM_ARRAY_ROW_COUNTS, SQL_PARC_NO_BATCH),
    u32(SQL_PARAM_ARRAY_SELECTS, SQL_PAS_NO_SELECT),
    u32Zero(SQL_SQL92_GRANT, SQL_SQL92_NUMERIC_VALUE_FUNCTIONS),   // 158, 159
    u32Zero(SQL_SQL92_REVOKE, SQL_SQL92_REVOKE),
    u32Zero(SQL_SQL92_STRING_FUNCTIONS, SQL_STANDARD_CLI_CONFORMANCE),  // 164..166
    u32Zero(SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_STATIC_CURSOR_ATTRIBUTES2),
    u32Zero(SQL_DDL_INDEX, SQL_DDL_INDEX),
    u32Zero(SQL_CONVERT_GUID, SQL_CONVERT_GUID),
    u32Zero(SQL_CURSOR_SENSITIVITY, SQL_CURSOR_SENSITIVITY),
    u32Zero(SQL_ASYNC_MODE, SQL_MAX_ASYNC_CONCURRENT_STATEMENTS),  // 10021, 10022
};

const InfoRow* findInfoRow(SQLUSMALLINT infoType) {
    for (const InfoRow& row : kInfoRows)
        if (infoType >= row.first && infoType <= row.last) return &row;
    return nullptr;
}

// The name the driver manager loaded: the file name of the library's path.
std::string driverFileName() {
#ifdef _WIN32
    const char* fallback = "vornodbc64.dll";
    const char* separators = "\\/";
#else
    const char* fallback = "libvornodbc.so";
    const char* separators = "/";
#endif
    const std::string path = plat::modulePath();
    if (path.empty()) return fallback;
    const std::size_t slash = path.find_last_of(separators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

template <typename T>
SQLRETURN writeNumber(std::uint32_t number, SQLPOINTER value, SQLSMALLINT* lengthPtr) {
    const T v = static_cast<T>(number);
    if (value) std::memcpy(value, &v, sizeof v);
    if (lengthPtr) *lengthPtr = static_cast<SQLSMALLINT>(sizeof v);
    return SQL_SUCCESS;
}

// The block of the three 64-character version texts.
constexpr std::size_t kVersionTextSize = 64;

}  // namespace

const char* dbmsVersionText(Connection* conn) {
    if (conn->dbmsVersion.empty()) {
        // The three texts of the kit's answer; the first is the one reported.
        char block[3 * kVersionTextSize] = {};
        // Its status is of no interest: an empty text says the server gave none.
        VdbXVersion(conn->session, block, kVersionTextSize, block + kVersionTextSize, kVersionTextSize,
                    block + 2 * kVersionTextSize, kVersionTextSize);
        block[kVersionTextSize - 1] = '\0';
        conn->dbmsVersion.assign(block, 3 * kVersionTextSize);
    }
    return conn->dbmsVersion.c_str();
}

SQLRETURN VSqlGetInfo(Connection* conn, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                      SQLSMALLINT* lengthPtr) {
    const InfoRow* row = findInfoRow(infoType);
    if (!row) {
        driverLog().Warning("SQLGetInfo", 0, "Unhandled InfoType %d", int(infoType));
        driverLog().Debug("SQLGetInfo", "Exit");
        addOdbcError(conn, "HY096", "Information type out of range");
        return SQL_ERROR;
    }
    const char* answer = "";
    std::string held;
    switch (row->answer) {
        case Answer::Text:
            held = plat::utf8ToInternal(row->text, std::strlen(row->text));
            answer = held.c_str();
            break;
        case Answer::DriverFile:
            held = driverFileName();
            answer = held.c_str();
            break;
        case Answer::DsnText:
        case Answer::ServerText:
        case Answer::UserText:
            // Setup texts: the ANSI code page on Windows.
            held = setupToInternal(row->answer == Answer::DsnText      ? conn->dsn
                                   : row->answer == Answer::ServerText ? conn->server
                                                                       : conn->uid);
            answer = held.c_str();
            break;
        case Answer::DbmsVer: answer = dbmsVersionText(conn); break;
        case Answer::U16:
            driverLog().Debug("SQLGetInfo", "Exit");
            return writeNumber<SQLUSMALLINT>(row->number, value, lengthPtr);
        case Answer::U32:
            driverLog().Debug("SQLGetInfo", "Exit");
            return writeNumber<SQLUINTEGER>(row->number, value, lengthPtr);
        case Answer::Escapes: {
            std::uint32_t mask = 0;
            escapeInfoAnswer(infoType, mask);
            driverLog().Debug("SQLGetInfo", "Exit");
            return writeNumber<SQLUINTEGER>(mask, value, lengthPtr);
        }
    }
    return copyOutString(value, bufferLength, lengthPtr, answer);
}

bool isTextInfo(SQLUSMALLINT infoType) {
    const InfoRow* row = findInfoRow(infoType);
    return row && row->answer != Answer::U16 && row->answer != Answer::U32 && row->answer != Answer::Escapes;
}

// ---------------------------------------------------------------------------

namespace {

const CatalogColumn kTypeInfoColumns[] = {
    {"TYPE_NAME", SQL_VARCHAR, 20, 0},         {"DATA_TYPE", SQL_SMALLINT, 5, 0},
    {"COLUMN_SIZE", SQL_INTEGER, 10, 1},       {"LITERAL_PREFIX", SQL_VARCHAR, 2, 1},
    {"LITERAL_SUFFIX", SQL_VARCHAR, 2, 1},     {"CREATE_PARAMS", SQL_VARCHAR, 15, 1},
    {"NULLABLE", SQL_SMALLINT, 5, 0},          {"CASE_SENSITIVE", SQL_SMALLINT, 5, 0},
    {"SEARCHABLE", SQL_SMALLINT, 5, 0},        {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT, 5, 1},
    {"FIXED_PREC_SCALE", SQL_SMALLINT, 5, 0},  {"AUTO_UNIQUE_VALUE", SQL_SMALLINT, 5, 1},
    {"LOCAL_TYPE_NAME", SQL_VARCHAR, 20, 1},   {"MINIMUM_SCALE", SQL_SMALLINT, 5, 1},
    {"MAXIMUM_SCALE", SQL_SMALLINT, 5, 1},     {"SQL_DATA_TYPE", SQL_SMALLINT, 5, 0},
    {"SQL_DATETIME_SUB", SQL_SMALLINT, 5, 1},  {"NUM_PREC_RADIX", SQL_INTEGER, 10, 1},
    {"INTERVAL_PRECISION", SQL_SMALLINT, 5, 1},
};
constexpr int kTypeInfoColumnCount = sizeof kTypeInfoColumns / sizeof kTypeInfoColumns[0];

// One row per type, in the column order above; null is a null value.
struct TypeRow {
    SQLSMALLINT dataType;
    const char* values[kTypeInfoColumnCount];
};

const char* const N = nullptr;
const TypeRow kTypeRows[] = {
    {SQL_LONGVARBINARY, {"LONG VARBINARY", "-4", "2147483647", "0x", "0x", N, "1", "0", "0", N, "0", N, N, N, N,
                         "-4", N, N, N}},
    {SQL_LONGVARCHAR, {"LONG VARCHAR", "-1", "2147483647", "'", "'", N, "1", "0", "3", N, "0", N, N, N, N, "-1",
                       N, N, N}},
    {SQL_INTEGER, {"INTEGER", "4", "10", N, N, N, "1", "0", "2", "0", "0", "0", N, "0", "0", "4", N, "10", N}},
    // A server NUMERIC is reported as FLOAT.
    {SQL_FLOAT, {"NUMERIC", "6", "7", N, N, N, "1", "0", "2", "0", "0", "0", N, N, N, "6", N, "10", N}},
    {SQL_VARCHAR, {"VARCHAR", "12", "255", "'", "'", N, "1", "0", "3", N, "0", N, N, N, N, "12", N, N, N}},
    {SQL_TYPE_DATE, {"DATE", "91", "10", "'", "'", N, "1", "0", "2", N, "0", "0", N, N, N, "9", "1", N, N}},
    {SQL_TYPE_TIME, {"TIME", "92", "8", "'", "'", N, "1", "0", "2", N, "0", "0", N, N, N, "9", "2", N, N}},
    // Timestamps travel as quoted literals with up to nine fraction digits;
    // applications size their timestamp parameters by this row.
    {SQL_TYPE_TIMESTAMP, {"TIMESTAMP", "93", "29", "'", "'", N, "1", "0", "2", N, "0", "0", N, "0", "9", "9", "3", N,
                          N}},
};

}  // namespace

SQLRETURN VSqlGetTypeInfo(Statement* stmt, SQLSMALLINT dataType) {
    SQLRETURN rc = startLocalResult(stmt, "GetTypeInfo", kTypeInfoColumns, kTypeInfoColumnCount, true);
    if (rc != SQL_SUCCESS) return rc;
    for (const TypeRow& row : kTypeRows) {
        if (dataType != SQL_ALL_TYPES && dataType != row.dataType) continue;
        if (!appendTextRow(stmt->resultSet, row.values, kTypeInfoColumnCount)) {
            VSqlFreeStatement(stmt, SQL_CLOSE);
            addOdbcError(stmt, "HY001", "Memory allocation error");
            return SQL_ERROR;
        }
    }
    populateIrd(stmt);
    return SQL_SUCCESS;
}

// ---------------------------------------------------------------------------

VSQL_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValuePtr,
                                         SQLSMALLINT BufferLength, SQLSMALLINT* StringLengthPtr) {
    // The body writes its own exit line: numeric and refused answers have
    // one, text answers none.
    return ConnCall(Api::SQLGetInfo, ConnectionHandle)
        .enter(int(InfoType))
        .run([&](Connection* c) { return VSqlGetInfo(c, InfoType, InfoValuePtr, BufferLength, StringLengthPtr); });
}

VSQL_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    return StmtCall(Api::SQLGetTypeInfo, StatementHandle)
        .enter(int(DataType))
        .run([&](Statement* s) { return VSqlGetTypeInfo(s, DataType); });
}
