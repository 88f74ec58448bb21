// Descriptor and binding functions through their exported entry points:
// refusals, the widths of every value written to the application, and
// descriptors left as they were by a refused call.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/entry/descriptors.h"
#include "support/driver_handles.h"
#include "unit/guarded.h"

namespace {

struct Desc : vorntest::StatementTest {
    void SetUp() override {
        StatementTest::SetUp();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, hdbc, &hdesc));
    }
    static Descriptor* d(SQLHDESC h) { return static_cast<Descriptor*>(h); }
    std::string descDiag(SQLHDESC h) { return vorntest::diagText(SQL_HANDLE_DESC, h); }
    // "rc STATE text" of the call just made.
    std::string descResult(SQLHDESC h, SQLRETURN rc) { return std::to_string(rc) + " " + descDiag(h); }

    SQLSMALLINT count(SQLHDESC h) {
        SQLSMALLINT n = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(h, 0, SQL_DESC_COUNT, &n, 0, nullptr));
        return n;
    }
    template <typename T>
    T field(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT id) {
        T v{};
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(h, rec, id, &v, 0, nullptr)) << id;
        return v;
    }
    // Several fields of one record at once, each read into a zeroed SQLLEN
    // (pointers compared as numbers; no negative values).
    std::vector<SQLLEN> fields(SQLHDESC h, SQLSMALLINT rec, std::initializer_list<SQLSMALLINT> ids) {
        std::vector<SQLLEN> out;
        for (SQLSMALLINT id : ids) out.push_back(field<SQLLEN>(h, rec, id));
        return out;
    }
    static SQLLEN P(const void* p) { return SQLLEN(reinterpret_cast<std::uintptr_t>(p)); }

    // "rc length text" of a text field read into a buffer of `size`.
    std::string text(SQLHDESC h, SQLSMALLINT rec, SQLSMALLINT id, SQLINTEGER size) {
        char buf[64];
        SQLINTEGER len = -1;
        const SQLRETURN rc = SQLGetDescField(h, rec, id, buf, size, &len);
        return std::to_string(rc) + " " + std::to_string(len) + " " + buf;
    }

    SQLHANDLE hdesc = nullptr;  // released with the connection
};

// Everything a refused call must not touch: header and the records' bytes
// (owned texts compared by address: a refused call replaces none).
std::vector<unsigned char> snapshot(SQLHDESC h) {
    const Descriptor* desc = static_cast<const Descriptor*>(h);
    std::vector<unsigned char> bytes;
    auto add = [&](const void* p, std::size_t n) {
        bytes.insert(bytes.end(), static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n);
    };
    add(&desc->arraySize, sizeof desc->arraySize);
    add(&desc->arrayStatusPtr, sizeof desc->arrayStatusPtr);
    add(&desc->bindOffsetPtr, sizeof desc->bindOffsetPtr);
    add(&desc->bindType, sizeof desc->bindType);
    add(&desc->count, sizeof desc->count);
    add(&desc->rowsProcessedPtr, sizeof desc->rowsProcessedPtr);
    add(&desc->allocType, sizeof desc->allocType);
    for (const DescriptorRecord& r : desc->records) {
        add(&r, sizeof r);  // texts by value: their addresses stay while they are unchanged
        add(r.name.data(), r.name.size());
    }
    return bytes;
}

using vorntest::Guarded;

}  // namespace

TEST_F(Desc, BindColUnbindingShrinksTheRowDescriptorAndRefusals) {
    SQLINTEGER a = 0, b = 0, c = 0;
    SQLLEN ia = 0, ib = 0, ic = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_SLONG, &c, sizeof c, &ic));
    EXPECT_EQ(3, count(stmt->ard));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_SLONG, nullptr, 0, nullptr));
    EXPECT_EQ(0, count(stmt->ard)) << "columns 1 and 2 bind nothing";

    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_SLONG, &b, sizeof b, &ib));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_CHAR, &c, 4, &ic));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_SLONG, nullptr, 0, nullptr));
    EXPECT_EQ(2, count(stmt->ard));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 40000, SQL_C_SLONG, nullptr, 0, nullptr)) << "unbinding any number";
    EXPECT_EQ(2, count(stmt->ard));

    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_SLONG, &a, sizeof a, &ia));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 3, SQL_C_SLONG, &c, sizeof c, &ic));
    EXPECT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_CHAR, nullptr, 10, nullptr));
    EXPECT_EQ(3, count(stmt->ard)) << "unbinding below the count rewrites the record";
    // Unbound record 1 keeps the character defaults (length 1).
    EXPECT_EQ((std::vector<SQLLEN>{0, SQL_C_CHAR, 10, 1}),
              fields(stmt->ard, 1, {SQL_DESC_DATA_PTR, SQL_DESC_CONCISE_TYPE, SQL_DESC_OCTET_LENGTH, SQL_DESC_LENGTH}));
    EXPECT_EQ((std::vector<SQLLEN>{P(&c), P(&ic), P(&ic)}),
              fields(stmt->ard, 3, {SQL_DESC_DATA_PTR, SQL_DESC_INDICATOR_PTR, SQL_DESC_OCTET_LENGTH_PTR}));

    // Refusals leave the descriptor as it was.
    auto before = snapshot(stmt->ard);
    EXPECT_EQ("-1 HY003 Not supported", stmtResult(SQLBindCol(hstmt, 2, SQL_C_NUMERIC, &a, sizeof a, nullptr)));
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              stmtResult(SQLBindCol(hstmt, 0, SQL_C_SLONG, &a, sizeof a, nullptr)));
    EXPECT_EQ(SQL_ERROR, SQLBindCol(hstmt, 40000, SQL_C_SLONG, &a, sizeof a, nullptr));
    EXPECT_EQ(before, snapshot(stmt->ard));
}

TEST_F(Desc, BindParameterSetsBothParameterDescriptors) {
    SQLINTEGER n = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 2, SQL_PARAM_INPUT, SQL_C_DEFAULT, SQL_INTEGER, 0, 0, &n, 0, &ind));
    EXPECT_EQ((std::vector<SQLLEN>{2, 2, SQL_C_ULONG, P(&ind), SQL_C_DEFAULT, SQL_INTEGER}),
              (std::vector<SQLLEN>{count(stmt->apd), count(stmt->ipd),
                                   field<SQLSMALLINT>(stmt->apd, 2, SQL_DESC_CONCISE_TYPE),
                                   field<SQLLEN>(stmt->apd, 2, SQL_DESC_INDICATOR_PTR),
                                   field<SQLSMALLINT>(stmt->apd, 1, SQL_DESC_CONCISE_TYPE),
                                   field<SQLSMALLINT>(stmt->ipd, 2, SQL_DESC_CONCISE_TYPE)}));
    char text[300];
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5000000000ULL, 0,
                                            text, sizeof text, nullptr));
    EXPECT_EQ(5000000000ULL, field<SQLULEN>(stmt->ipd, 3, SQL_DESC_LENGTH)) << "column size kept at full width";

    // One record for the index alone, though the type is refused too.
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              stmtResult(SQLBindParameter(hstmt, 0, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_INTEGER, 0, 0, &n, 0,
                                          nullptr)));
    EXPECT_EQ("", stmtDiag(2));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_RESET_PARAMS));
    EXPECT_EQ(0, count(stmt->apd));
}

TEST_F(Desc, SetDescFieldRules) {
    // The implementation row descriptor takes only its two status pointers.
    SQLUSMALLINT status[4];
    SQLULEN processed = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ird, 0, SQL_DESC_ARRAY_STATUS_PTR, status, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ird, 0, SQL_DESC_ROWS_PROCESSED_PTR, &processed, 0));
    EXPECT_EQ(static_cast<void*>(status), stmt->ird->arrayStatusPtr);
    EXPECT_EQ(&processed, stmt->ird->rowsProcessedPtr);
    for (SQLSMALLINT id : {SQLSMALLINT(SQL_DESC_ARRAY_SIZE), SQLSMALLINT(SQL_DESC_COUNT), SQLSMALLINT(SQL_DESC_NAME)}) {
        auto before = snapshot(stmt->ird);
        EXPECT_EQ(SQL_ERROR, SQLSetDescField(stmt->ird, 1, id, (SQLPOINTER)1, 0));
        EXPECT_EQ("HY016 Cannot modify an implementation row descriptor", descDiag(stmt->ird));
        EXPECT_EQ(before, snapshot(stmt->ird));
    }

    Descriptor* a = stmt->ard;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(a, 0, SQL_DESC_COUNT, (SQLPOINTER)2, 0));
    auto before = snapshot(a);
    // Read-only fields, and SQL_NAMED for the unnamed flag.
    const std::pair<SQLSMALLINT, SQLSMALLINT> readOnly[] = {
        {0, SQL_DESC_ALLOC_TYPE}, {1, SQL_DESC_UNNAMED},  {2, SQL_DESC_DISPLAY_SIZE}, {2, SQL_DESC_TYPE_NAME},
        {2, SQL_DESC_NULLABLE},   {2, SQL_DESC_ROWVER}, {2, 9999}};
    for (const auto& f : readOnly) {
        EXPECT_EQ(SQL_ERROR, SQLSetDescField(a, f.first, f.second, (SQLPOINTER)SQL_NAMED, 0)) << f.second;
        EXPECT_EQ("HY091 Invalid descriptor field identifier", descDiag(a));
    }
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              descResult(a, SQLSetDescField(a, 0, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_CHAR, 0)));
    EXPECT_EQ(SQL_ERROR, SQLSetDescField(a, 0, SQL_DESC_COUNT, (SQLPOINTER)(SQLLEN)-1, 0));
    EXPECT_EQ(before, snapshot(a));

    // The count grows before the field is judged.
    EXPECT_EQ("-1 HY091 Invalid descriptor field identifier",
              descResult(a, SQLSetDescField(a, 5, SQL_DESC_NULLABLE, (SQLPOINTER)1, 0)));
    EXPECT_EQ(5, count(a));

    // Names and the unnamed flag.
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 1, SQL_DESC_NAME, (SQLPOINTER) "", SQL_NTS));
    EXPECT_EQ(SQL_UNNAMED, field<SQLSMALLINT>(a, 1, SQL_DESC_UNNAMED));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 1, SQL_DESC_NAME, (SQLPOINTER) "AB", 1));
    EXPECT_EQ(SQL_NAMED, field<SQLSMALLINT>(a, 1, SQL_DESC_UNNAMED));
    EXPECT_EQ("0 1 A", text(a, 1, SQL_DESC_NAME, 8));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 1, SQL_DESC_UNNAMED, (SQLPOINTER)SQL_UNNAMED, 0));

    // The concise type by the kind's rule; the verbose type with defaults.
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 2, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_C_TIME, 0));
    EXPECT_EQ((std::vector<SQLLEN>{SQL_DATETIME, SQL_CODE_TIME}),
              fields(a, 2, {SQL_DESC_TYPE, SQL_DESC_DATETIME_INTERVAL_CODE}));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ipd, 1, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_TYPE_TIME, 0));
    EXPECT_EQ(SQL_DATETIME, field<SQLSMALLINT>(stmt->ipd, 1, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ipd, 2, SQL_DESC_CONCISE_TYPE, (SQLPOINTER)SQL_TYPE_TIMESTAMP, 0));
    EXPECT_EQ(SQL_TYPE_TIMESTAMP, field<SQLSMALLINT>(stmt->ipd, 2, SQL_DESC_TYPE));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 3, SQL_DESC_PRECISION, (SQLPOINTER)9, 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 3, SQL_DESC_TYPE, (SQLPOINTER)SQL_FLOAT, 0));
    // The float's default precision; the concise type untouched.
    EXPECT_EQ((std::vector<SQLLEN>{7, SQL_C_DEFAULT}), fields(a, 3, {SQL_DESC_PRECISION, SQL_DESC_CONCISE_TYPE}));

    // Integers at their full width, stored where the statement reads them.
    const SQLLEN big = SQLLEN(1) << 40;
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 4, SQL_DESC_OCTET_LENGTH, (SQLPOINTER)big, 0));
    EXPECT_EQ(big, field<SQLLEN>(a, 4, SQL_DESC_OCTET_LENGTH));
    EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(a, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)big, 0));
    EXPECT_EQ(SQLULEN(big), a->arraySize);
}

TEST_F(Desc, DescRecFunctions) {
    SQLCHAR name[8];
    SQLSMALLINT len = 0, type = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetDescRec(stmt->ird, 1, name, sizeof name, &len, &type, nullptr, nullptr, nullptr, nullptr,
                                       nullptr));
    EXPECT_EQ("HY007 Associated statement is not prepared", descDiag(stmt->ird));
    EXPECT_EQ(SQL_ERROR, SQLSetDescRec(stmt->ird, 1, SQL_CHAR, 0, 1, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ("HY016 Cannot modify an implementation row descriptor", descDiag(stmt->ird));

    SQLHDESC a = hdesc;
    char data[4];
    SQLLEN strLen = 0, ind = 0;
    for (SQLSMALLINT rec : {0, -1}) {
        EXPECT_EQ("-1 07009 Invalid descriptor index",
                  descResult(a, SQLSetDescRec(a, rec, SQL_CHAR, 0, 4, 0, 0, data, &strLen, &ind)));
    }
    EXPECT_EQ(0, count(a));

    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(a, 2, SQL_DATETIME, SQL_CODE_TIME, SQLLEN(1) << 35, 3, 2, data, &strLen, &ind));
    EXPECT_EQ(2, count(a));
    // The concise type is not set.
    EXPECT_EQ((std::vector<SQLLEN>{SQL_C_DEFAULT, P(&ind)}),
              fields(a, 2, {SQL_DESC_CONCISE_TYPE, SQL_DESC_INDICATOR_PTR}));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(a, 1, SQL_CHAR, SQL_CODE_TIME, 1, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, field<SQLSMALLINT>(a, 1, SQL_DESC_DATETIME_INTERVAL_CODE)) << "subtype only for datetime";

    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(a, 2, SQL_DESC_NAME, (SQLPOINTER) "SEVENTEEN", SQL_NTS));
    Guarded length;
    SQLSMALLINT sub = 0, precision = 0, scale = 0, nullable = 9;
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDescRec(a, 2, name, 4, &len, &type, &sub,
                                                   static_cast<SQLLEN*>(length.at()), &precision, &scale, &nullable));
    EXPECT_EQ("01004 String data, right truncated", descDiag(a));
    EXPECT_EQ(std::string("SEV\0x", 5), std::string(reinterpret_cast<char*>(name), 5));
    EXPECT_EQ(int(sizeof(SQLLEN)), length.written());
    SQLLEN octets;
    std::memcpy(&octets, length.at(), sizeof octets);
    EXPECT_EQ((std::vector<SQLLEN>{9, SQL_DATETIME, SQL_CODE_TIME, SQLLEN(1) << 35, 3, 2, 0}),
              (std::vector<SQLLEN>{len, type, sub, octets, precision, scale, nullable}));

    EXPECT_EQ(SQL_SUCCESS, SQLGetDescRec(a, 2, nullptr, 0, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(9, len);
    EXPECT_EQ(SQL_NO_DATA, SQLGetDescRec(a, 3, name, sizeof name, &len, &type, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              descResult(a, SQLGetDescRec(a, 0, name, sizeof name, &len, &type, nullptr, nullptr, nullptr, nullptr,
                                          nullptr)));

    // SQLGetDescField by the same rules; its texts by the long rule: the full
    // length, a cut copy, a warning without a record. An unknown record field
    // writes nothing.
    EXPECT_EQ("1 9 SE", text(a, 2, SQL_DESC_NAME, 3));
    EXPECT_EQ("", descDiag(a));
    Guarded unknown;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(a, 2, 9999, unknown.at(), 0, nullptr));
    EXPECT_EQ("-1 HY007 Associated statement is not prepared",
              descResult(stmt->ird, SQLGetDescField(stmt->ird, 0, SQL_DESC_COUNT, unknown.at(), 0, nullptr)));
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              descResult(a, SQLGetDescField(a, 0, SQL_DESC_TYPE, unknown.at(), 0, nullptr)));
    EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(a, 3, SQL_DESC_TYPE, unknown.at(), 0, nullptr));
    EXPECT_EQ(0, unknown.written());
}

TEST_F(Desc, CopyDesc) {
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLCopyDesc(nullptr, hdesc));

    SQLINTEGER col[3];
    SQLLEN ind[3];
    SQLUSMALLINT status[2];
    SQLLEN offset = 0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, SQLUSMALLINT(i + 1), SQL_C_SLONG, &col[i], 4, &ind[i]));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 2, SQL_DESC_NAME, (SQLPOINTER) "second", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 0, SQL_DESC_BIND_TYPE, (SQLPOINTER)24, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 0, SQL_DESC_ARRAY_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(stmt->ard, 0, SQL_DESC_BIND_OFFSET_PTR, &offset, 0));

    SQLHDESC t = hdesc;
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(t, 5, SQL_DESC_NAME, (SQLPOINTER) "fifth", SQL_NTS));
    ASSERT_EQ(5, count(t));
    ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(stmt->ard, t));
    // The header copied but for the allocation type.
    EXPECT_EQ((std::vector<SQLLEN>{3, 2, 24, P(status), P(&offset), SQL_DESC_ALLOC_USER}),
              fields(t, 0, {SQL_DESC_COUNT, SQL_DESC_ARRAY_SIZE, SQL_DESC_BIND_TYPE, SQL_DESC_ARRAY_STATUS_PTR,
                            SQL_DESC_BIND_OFFSET_PTR, SQL_DESC_ALLOC_TYPE}));
    EXPECT_EQ(P(&col[2]), field<SQLLEN>(t, 3, SQL_DESC_DATA_PTR));
    EXPECT_NE(stmt->ard->records[1].name.data(), d(t)->records[1].name.data()) << "texts are duplicated";
    // The copy outlives the source's texts.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_UNBIND));
    EXPECT_EQ("0 6 second", text(t, 2, SQL_DESC_NAME, 16));

    auto before = snapshot(t);
    EXPECT_EQ("-1 HY007 Associated statement is not prepared", descResult(t, SQLCopyDesc(stmt->ird, t)));
    EXPECT_EQ(before, snapshot(t));
    EXPECT_EQ(SQL_ERROR, SQLCopyDesc(t, stmt->ird));
    EXPECT_EQ("HY016 Cannot modify an implementation row descriptor", descDiag(stmt->ird));
    EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(t, t));
    EXPECT_EQ(before, snapshot(t));

    // Copying an empty descriptor empties the target.
    EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(stmt->ard, t));
    EXPECT_EQ(0, count(t));
}
