// The stored result and the implementation row descriptor filled from it, as
// an application sees it through SQLDescribeCol and SQLColAttribute.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/entry/handles.h"
#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "support/driver_handles.h"

namespace {

// A document with one column of every server type, plus an unknown one.
const char kAllTypes[] =
    "<ResultSet><ResultSetMetaData columnCount=\"9\" rowCount=\"0\" statementType=\"SELECT\">"
    "<ColumnMetaData tableName=\"T\" columnName=\"V\" columnType=\"VARCHAR\" isNullable=\"true\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"LV\" columnType=\"LONG VARCHAR\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"LB\" columnType=\"LONG VARBINARY\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"I\" columnLabel=\"Number\" columnType=\"INTEGER\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"D\" columnType=\"DATE\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"TM\" columnType=\"TIME\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"N\" columnType=\"NUMERIC\"/>"
    "<ColumnMetaData tableName=\"T\" columnName=\"X\" columnType=\"varchar\"/>"
    "<ColumnMetaData tableName=\"T\" columnType=\"INTEGER\"/>"
    "</ResultSetMetaData></ResultSet>";

struct Described : vorntest::StatementTest {
    void TearDown() override {
        // Closing releases the stored result.
        EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(hstmt, SQL_CLOSE));
        EXPECT_EQ(nullptr, stmt->resultSet.get());
        StatementTest::TearDown();
    }
    void execute(const char* doc) {
        stmt->resultSet.reset();
        ResultSet* rs = nullptr;
        ParseStatus st = parseXml(doc, std::strlen(doc), &rs);
        stmt->resultSet.reset(rs);
        ASSERT_EQ(1, st.code);
        populateIrd(stmt);
    }
    SQLLEN number(SQLUSMALLINT column, SQLUSMALLINT field) {
        SQLLEN v = -12345;
        EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, column, field, nullptr, 0, nullptr, &v)) << field;
        return v;
    }
    std::string text(SQLUSMALLINT column, SQLUSMALLINT field) {
        char buf[64] = "?";
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, column, field, buf, sizeof buf, &len, nullptr)) << field;
        EXPECT_EQ(std::strlen(buf), std::size_t(len));
        return buf;
    }
};

}  // namespace

TEST_F(Described, EachServerTypeReportsItsSizesNamesAndFlags) {
    execute(kAllTypes);
    ASSERT_EQ(9, stmt->ird->count);
    EXPECT_EQ(9, number(1, SQL_DESC_COUNT));

    struct Expected {
        SQLSMALLINT concise, verbose, code;
        SQLLEN display;
        SQLULEN length;
        SQLLEN octets, radix, precision, searchable;
        const char* typeName;
        const char* quote;
    };
    const Expected rows[] = {
        {SQL_VARCHAR, SQL_VARCHAR, 0, 255, 255, 255, 0, 0, SQL_SEARCHABLE, "VARCHAR", "'"},
        {SQL_LONGVARCHAR, SQL_LONGVARCHAR, 0, 2147483647, 2147483647, 2147483647, 0, 0, SQL_SEARCHABLE,
         "LONG VARCHAR", "'"},
        {SQL_LONGVARBINARY, SQL_LONGVARBINARY, 0, 0, 2147483647, 0, 0, 0, SQL_SEARCHABLE, "LONG VARBINARY", ""},
        {SQL_INTEGER, SQL_INTEGER, 0, 11, 10, 4, 10, 10, SQL_PRED_BASIC, "INTEGER", ""},
        {SQL_TYPE_DATE, SQL_DATETIME, SQL_CODE_DATE, 10, 10, 6, 0, 0, SQL_SEARCHABLE, "DATE", "'"},
        {SQL_TYPE_TIME, SQL_DATETIME, SQL_CODE_TIME, 8, 8, 6, 0, 0, SQL_PRED_NONE, "TIME", "'"},
        {SQL_FLOAT, SQL_FLOAT, 0, 14, 7, 4, 10, 7, SQL_SEARCHABLE, "FLOAT", ""},
        {0, 0, 0, 0, 0, 0, 0, 0, SQL_SEARCHABLE, "", ""},
    };
    for (SQLUSMALLINT c = 1; c <= 8; ++c) {
        const Expected& e = rows[c - 1];
        SCOPED_TRACE(c);
        EXPECT_EQ(e.concise, number(c, SQL_DESC_CONCISE_TYPE));
        EXPECT_EQ(e.verbose, number(c, SQL_DESC_TYPE));
        EXPECT_EQ(e.display, number(c, SQL_DESC_DISPLAY_SIZE));
        EXPECT_EQ(SQLLEN(e.length), number(c, SQL_DESC_LENGTH));
        EXPECT_EQ(e.octets, number(c, SQL_DESC_OCTET_LENGTH));
        EXPECT_EQ(e.radix, number(c, SQL_DESC_NUM_PREC_RADIX));
        EXPECT_EQ(e.precision, number(c, SQL_DESC_PRECISION));
        EXPECT_EQ(SQLLEN(e.length), number(c, SQL_COLUMN_PRECISION));
        EXPECT_EQ(0, number(c, SQL_COLUMN_SCALE));
        EXPECT_EQ(e.searchable, number(c, SQL_DESC_SEARCHABLE));
        EXPECT_EQ(e.typeName, text(c, SQL_DESC_TYPE_NAME));
        EXPECT_EQ(e.quote, text(c, SQL_DESC_LITERAL_PREFIX));
        EXPECT_EQ(SQL_TRUE, number(c, SQL_DESC_UNSIGNED));
        EXPECT_EQ("T", text(c, SQL_DESC_TABLE_NAME));
        SQLSMALLINT type = 0, digits = -1, nullable = -1;
        SQLULEN size = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(hstmt, c, nullptr, 0, nullptr, &type, &size, &digits, &nullable));
        EXPECT_EQ(e.concise, type);
        EXPECT_EQ(e.length, size);
        EXPECT_EQ(0, digits);
        EXPECT_EQ(c == 1 ? SQL_NULLABLE : SQL_NO_NULLS, nullable);
    }
    // Label, name and base names.
    EXPECT_EQ("Number", text(4, SQL_DESC_NAME));
    EXPECT_EQ("I", text(4, SQL_DESC_LABEL));
    EXPECT_EQ("I", text(4, SQL_DESC_BASE_COLUMN_NAME));
    EXPECT_EQ(SQL_NAMED, number(4, SQL_DESC_UNNAMED));
    EXPECT_EQ("V", text(1, SQL_DESC_NAME));
    EXPECT_EQ("", text(9, SQL_DESC_NAME));
    EXPECT_EQ(SQL_UNNAMED, number(9, SQL_DESC_UNNAMED));
}

TEST_F(Described, ColAttributeAnswersAndRefusals) {
    execute(kAllTypes);
    // A numeric answer fills exactly a SQLLEN, sign-extended.
    unsigned char guard[3 * sizeof(SQLLEN)];
    std::memset(guard, 0xA5, sizeof guard);
    auto* slot = reinterpret_cast<SQLLEN*>(guard + sizeof(SQLLEN));
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 3, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, slot));
    EXPECT_EQ(SQL_LONGVARBINARY, *slot);
    EXPECT_EQ(0xA5, guard[sizeof(SQLLEN) - 1]);
    EXPECT_EQ(0xA5, guard[2 * sizeof(SQLLEN)]);

    SQLLEN untouched = 77;
    char buf[8] = "same";
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(hstmt, 1, 1212, buf, sizeof buf, nullptr, &untouched));
    EXPECT_EQ(77, untouched);
    EXPECT_STREQ("same", buf);
    for (SQLUSMALLINT refused : {SQLUSMALLINT(0), SQLUSMALLINT(1), SQLUSMALLINT(7), SQLUSMALLINT(SQL_DESC_DATA_PTR),
                                 SQLUSMALLINT(SQL_DESC_PARAMETER_TYPE), SQLUSMALLINT(SQL_DESC_ROWVER)}) {
        EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, 1, refused, buf, sizeof buf, nullptr, &untouched)) << refused;
        EXPECT_EQ("HY091 Invalid descriptor field identifier", stmtDiag());
    }
    for (SQLUSMALLINT column : {0, 10}) {
        EXPECT_EQ(SQL_ERROR, SQLColAttribute(hstmt, column, SQL_DESC_TYPE, nullptr, 0, nullptr, &untouched));
        EXPECT_EQ("07009 Invalid descriptor index", stmtDiag());
    }
    EXPECT_EQ(77, untouched);

    // A cut text is a warning with its record.
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLColAttribute(hstmt, 3, SQL_DESC_TYPE_NAME, buf, 5, &len, nullptr));
    EXPECT_STREQ("LONG", buf);
    EXPECT_EQ(14, len);
    EXPECT_EQ("01004 String data, right truncated", stmtDiag());
}

TEST_F(Described, DescribeColNamesAndRefusals) {
    execute(
        "<ResultSet><ResultSetMetaData columnCount=\"1\"><ColumnMetaData columnName=\"TITLE\" columnType=\"VARCHAR\"/>"
        "</ResultSetMetaData></ResultSet>");
    SQLCHAR name[8];
    std::memset(name, 'x', sizeof name);
    SQLSMALLINT len = 0;
    unsigned char guard[3 * sizeof(SQLULEN)];
    std::memset(guard, 0xA5, sizeof guard);
    auto* size = reinterpret_cast<SQLULEN*>(guard + sizeof(SQLULEN));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLDescribeCol(hstmt, 1, name, 4, &len, nullptr, size, nullptr, nullptr));
    EXPECT_EQ("01004 String data, right truncated", stmtDiag());
    EXPECT_STREQ("TIT", reinterpret_cast<char*>(name));
    EXPECT_EQ('x', name[4]);
    EXPECT_EQ(5, len);
    EXPECT_EQ(255u, *size);
    EXPECT_EQ(0xA5, guard[sizeof(SQLULEN) - 1]);
    EXPECT_EQ(0xA5, guard[2 * sizeof(SQLULEN)]);

    // The length the server declares for a VARCHAR, where it gives one.
    for (auto [maxLength, want] : {std::pair<const char*, SQLULEN>{"60", 60}, {"0", 255}, {"70000", 70000}}) {
        execute((std::string("<ResultSet><ResultSetMetaData columnCount=\"1\"><ColumnMetaData columnName=\"N\" "
                            "columnType=\"VARCHAR\" maxLength=\"") + maxLength +
                 "\"/></ResultSetMetaData></ResultSet>").c_str());
        SQLULEN columnSize = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(hstmt, 1, nullptr, 0, nullptr, nullptr, &columnSize, nullptr, nullptr));
        EXPECT_EQ(want, columnSize) << maxLength;
        EXPECT_EQ(SQLLEN(want), number(1, SQL_DESC_OCTET_LENGTH)) << maxLength;
        EXPECT_EQ(SQLLEN(want), number(1, SQL_DESC_DISPLAY_SIZE)) << maxLength;
    }
    execute(
        "<ResultSet><ResultSetMetaData columnCount=\"1\"><ColumnMetaData columnName=\"TITLE\" columnType=\"VARCHAR\"/>"
        "</ResultSetMetaData></ResultSet>");

    for (SQLUSMALLINT column : {0, 2}) {
        EXPECT_EQ(SQL_ERROR, SQLDescribeCol(hstmt, column, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ("07009 Column out of range", stmtDiag());
    }
}

TEST_F(Described, RepopulatingFollowsTheNewResult) {
    execute(kAllTypes);
    ASSERT_EQ(9, stmt->ird->count);
    execute("<ResultSet><ResultSetMetaData columnCount=\"2\"><ColumnMetaData columnName=\"A\" columnType=\"DATE\"/>"
            "<ColumnMetaData columnName=\"B\" columnType=\"TIME\"/></ResultSetMetaData></ResultSet>");
    EXPECT_EQ(2, stmt->ird->count);
    EXPECT_EQ("A", text(1, SQL_DESC_NAME));
    EXPECT_EQ(SQL_TYPE_TIME, number(2, SQL_DESC_CONCISE_TYPE));
    // A result without columns leaves an IRD that describes nothing.
    execute("<Success>done</Success>");
    EXPECT_EQ(0, stmt->ird->count);
}

TEST_F(Described, CatalogResultSets) {
    const CatalogColumn columns[] = {
        {"TABLE_CAT", SQL_VARCHAR, 128, 1}, {"TABLE_SCHEM", SQL_VARCHAR, 128, 1},
        {"TABLE_NAME", SQL_VARCHAR, 128, 0}, {"TABLE_TYPE", SQL_VARCHAR, 128, 0},
        {"REMARKS", SQL_VARCHAR, 254, 1},
    };
    stmt->resultSet.reset(makeCatalogResultSet("Catalog", columns, 5));
    ASSERT_NE(nullptr, stmt->resultSet.get());
    EXPECT_EQ(0, stmt->resultSet->rowCount);
    EXPECT_EQ(128u, resultColumn(stmt->resultSet, 0)->maxLength);
    populateIrd(stmt);
    ASSERT_EQ(5, stmt->ird->count);
    EXPECT_EQ("TABLE_CAT", text(1, SQL_DESC_NAME));
    EXPECT_EQ("Catalog", text(1, SQL_DESC_BASE_TABLE_NAME));
    EXPECT_EQ("", text(1, SQL_DESC_LABEL));
    EXPECT_EQ(SQL_NO_NULLS, number(3, SQL_DESC_NULLABLE));
    EXPECT_EQ("REMARKS", text(5, SQL_DESC_NAME));
}

TEST(ResultSetTypes, ServerNamesMapExactly) {
    EXPECT_EQ(SQL_FLOAT, typeNameToSqlType("NUMERIC"));
    EXPECT_EQ(SQL_LONGVARBINARY, typeNameToSqlType("LONG VARBINARY"));
    EXPECT_EQ(0, typeNameToSqlType("Numeric"));
    EXPECT_EQ(0, typeNameToSqlType("LONG  VARCHAR"));
    EXPECT_EQ(0, typeNameToSqlType(""));
    EXPECT_EQ(0, typeNameToSqlType(nullptr));
    freeResultSet(nullptr);
}
