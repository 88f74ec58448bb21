// SQLGetInfo's writers, SQLGetTypeInfo and the catalog results that are built
// without a server, through the exported functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/catalog.h"
#include "driver/resultset.h"
#include "support/driver_handles.h"

namespace {

using vorntest::StatementTest;

constexpr unsigned char kGuard = 0xA5;

struct InfoTest : StatementTest {
    // The answer's bytes up to the length written, in a guarded buffer; rc
    // and the length pointer's value too.
    SQLRETURN info(SQLUSMALLINT type, std::vector<unsigned char>& buffer, SQLSMALLINT size, SQLSMALLINT& length) {
        buffer.assign(64, kGuard);
        length = -99;
        return SQLGetInfo(hdbc, type, buffer.data(), size, &length);
    }
    std::string text(SQLUSMALLINT type) {
        std::vector<unsigned char> b;
        SQLSMALLINT length;
        EXPECT_EQ(SQL_SUCCESS, info(type, b, 64, length)) << type;
        return reinterpret_cast<char*>(b.data());
    }
    // Column values of the stored result as texts, "-" for null.
    std::vector<std::string> column(int index) {
        std::vector<std::string> out;
        for (int i = 0; i < resultRowCount(stmt->resultSet); ++i) {
            const ColumnValue* v = rowValue(resultRow(stmt->resultSet, i), index);
            out.push_back(v && !v->isNull ? v->data : "-");
        }
        return out;
    }
    std::string label(int index) { return resultColumn(stmt->resultSet, index)->columnLabel; }
};

TEST_F(InfoTest, WritersKeepToTheirWidthsAndTruncateTexts) {
    std::vector<unsigned char> b;
    SQLSMALLINT length;

    // Text cut to the buffer: the whole length reported, a warning without a record.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, info(SQL_DBMS_NAME, b, 3, length));
    EXPECT_EQ(4, length);
    EXPECT_STREQ("VO", reinterpret_cast<char*>(b.data()));
    EXPECT_EQ(kGuard, b[3]);
    EXPECT_EQ("", stmtDiag());
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(hdbc, SQL_DBMS_NAME, nullptr, 0, &length));
    EXPECT_EQ(4, length);

    // 16 and 32 bits, nothing beyond.
    EXPECT_EQ(SQL_SUCCESS, info(SQL_MAX_TABLE_NAME_LEN, b, 0, length));
    SQLUSMALLINT u16;
    std::memcpy(&u16, b.data(), 2);
    EXPECT_EQ(255, u16);
    EXPECT_EQ(2, length);
    EXPECT_EQ(kGuard, b[2]);
    EXPECT_EQ(SQL_SUCCESS, info(SQL_GETDATA_EXTENSIONS, b, 0, length));
    SQLUINTEGER u32;
    std::memcpy(&u32, b.data(), 4);
    EXPECT_EQ(11u, u32);
    EXPECT_EQ(4, length);
    EXPECT_EQ(kGuard, b[4]);
    EXPECT_EQ(SQL_SUCCESS, info(SQL_CONVERT_VARCHAR, b, 0, length));  // inside a range of zeros
    std::memcpy(&u32, b.data(), 4);
    EXPECT_EQ(0u, u32);

    // Types the driver does not answer: an error without a record, nothing written.
    for (SQLUSMALLINT type : {SQLUSMALLINT(SQL_ODBC_VER), SQLUSMALLINT(SQL_CONVERT_WCHAR), SQLUSMALLINT(174),
                              SQLUSMALLINT(10006), SQLUSMALLINT(10023), SQLUSMALLINT(65535)}) {
        EXPECT_EQ(SQL_ERROR, info(type, b, 64, length)) << type;
        EXPECT_EQ(-99, length);
        EXPECT_EQ(kGuard, b[0]);
        EXPECT_EQ("", vorntest::diagText(SQL_HANDLE_DBC, hdbc)) << type;
    }
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetInfo(nullptr, SQL_DBMS_NAME, b.data(), 64, &length));
}

TEST_F(InfoTest, ConnectionTextsAndTheServerVersionAskedOnce) {
    std::strcpy(conn->dsn, "sample");
    std::strcpy(conn->server, "db.example");
    std::strcpy(conn->uid, "alice");
    EXPECT_EQ("sample", text(SQL_DATA_SOURCE_NAME));
    EXPECT_EQ("db.example", text(SQL_SERVER_NAME));
    EXPECT_EQ("alice", text(SQL_USER_NAME));
    EXPECT_EQ("\xE5\xE4\xF6\xFC\xC5\xC4\xD6\xDC\xE9\xC9", text(SQL_SPECIAL_CHARACTERS));

    // Without a session the version is empty; the block is kept, not asked again.
    EXPECT_EQ("", text(SQL_DBMS_VER));
    char* block = conn->dbmsVersion;
    ASSERT_NE(nullptr, block);
    std::strcpy(block, "2.3-0250");
    EXPECT_EQ("2.3-0250", text(SQL_DBMS_VER));
    EXPECT_EQ(block, conn->dbmsVersion);
}

TEST_F(InfoTest, WhatClientsAskAtConnectIsAnswered) {
    // pyodbc, then DBD::ODBC.
    const SQLUSMALLINT asked[] = {SQL_DRIVER_ODBC_VER, SQL_DESCRIBE_PARAMETER, SQL_NEED_LONG_DATA_LEN,
                                  SQL_DRIVER_NAME,     SQL_DRIVER_VER,         SQL_DBMS_NAME,
                                  SQL_DBMS_VER,        SQL_MAX_COLUMN_NAME_LEN, SQL_CATALOG_NAME,
                                  SQL_SCHEMA_USAGE,    SQL_GETDATA_EXTENSIONS, SQL_IDENTIFIER_QUOTE_CHAR};
    for (SQLUSMALLINT type : asked) {
        std::vector<unsigned char> b;
        SQLSMALLINT length;
        EXPECT_EQ(SQL_SUCCESS, info(type, b, 64, length)) << type;
    }
    EXPECT_EQ("03.52", text(SQL_DRIVER_ODBC_VER));
}

TEST_F(InfoTest, TypeInformation) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(hstmt, SQL_ALL_TYPES));
    EXPECT_EQ(19, stmt->ird->count);
    EXPECT_EQ("TYPE_NAME", label(0));
    EXPECT_EQ("INTERVAL_PRECISION", label(18));
    EXPECT_EQ(0, stmt->blockMode);
    EXPECT_EQ((std::vector<std::string>{"-4", "-1", "4", "6", "12", "91", "92"}), column(1));
    EXPECT_EQ((std::vector<std::string>{"-", "-", "0", "-", "-", "-", "-"}), column(13));  // MINIMUM_SCALE
    EXPECT_EQ((std::vector<std::string>{"-", "-", "-", "-", "-", "1", "2"}), column(16));  // SQL_DATETIME_SUB

    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(hstmt, SQL_LONGVARCHAR));
    EXPECT_EQ((std::vector<std::string>{"LONG VARCHAR"}), column(0));
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(hstmt, SQL_CHAR));
    EXPECT_EQ(0, resultRowCount(stmt->resultSet));
    EXPECT_EQ(19, stmt->ird->count);
}

TEST_F(InfoTest, CatalogResultsBuiltWithoutTheServer) {
    std::strcpy(conn->server, "db.example");
    auto s = [](const char* t) { return (SQLCHAR*)t; };

    ASSERT_EQ(SQL_SUCCESS, SQLTables(hstmt, s("%"), SQL_NTS, s(""), SQL_NTS, s(""), SQL_NTS, nullptr, 0));
    EXPECT_EQ((std::vector<std::string>{"db.example"}), column(0));
    EXPECT_EQ((std::vector<std::string>{"-"}), column(3));
    EXPECT_EQ(5, stmt->ird->count);
    ASSERT_EQ(SQL_SUCCESS, SQLTables(hstmt, s(""), SQL_NTS, s(""), SQL_NTS, s(""), SQL_NTS, s("%"), SQL_NTS));
    EXPECT_EQ((std::vector<std::string>{"TABLE"}), column(3));
    EXPECT_EQ((std::vector<std::string>{"-"}), column(0));

    ASSERT_EQ(SQL_SUCCESS, SQLStatistics(hstmt, nullptr, 0, nullptr, 0, s("BOOKS"), SQL_NTS, 0, 0));
    EXPECT_EQ(13, stmt->ird->count);
    EXPECT_EQ("FILTER_CONDITION", label(12));
    EXPECT_EQ(0, resultRowCount(stmt->resultSet));
    ASSERT_EQ(SQL_SUCCESS, SQLSpecialColumns(hstmt, SQL_ROWVER, nullptr, 0, nullptr, 0, s("BOOKS"), SQL_NTS, 0, 0));
    EXPECT_EQ(8, stmt->ird->count);
    EXPECT_EQ("PSEUDO_COLUMN", label(7));

    EXPECT_EQ(SQL_ERROR, SQLColumns(hstmt, nullptr, 0, nullptr, 0, s(""), SQL_NTS, nullptr, 0));
    EXPECT_EQ("HYC00 Optional feature not implemented", stmtDiag());
    EXPECT_EQ(nullptr, stmt->resultSet);
    EXPECT_EQ(SQL_ERROR, SQLColumns(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
}

TEST(CatalogPattern, EscapesRemoved) {
    const char* cases[][2] = {{"A\\_B", "A_B"}, {"\\%\\\\x", "%\\x"}, {"a\\b", "a\\b"}, {"end\\", "end\\"},
                              {"%_", "%_"}};
    for (auto& c : cases) {
        std::string t = c[0];
        unescapePattern(&t[0]);
        EXPECT_STREQ(c[1], t.c_str()) << c[0];
    }
}

}  // namespace
