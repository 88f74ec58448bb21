// The cursor over a stored result: SQLFetch with bound columns, SQLGetData
// piece by piece, cursor names; on result sets parsed from answer documents as
// an execution stores them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "support/driver_handles.h"

namespace {

// Three columns (VARCHAR, INTEGER, LONG VARBINARY) over seven rows; row 3
// holds nulls.
std::string sevenRows() {
    std::string doc =
        "<ResultSet><ResultSetMetaData columnCount=\"3\" rowCount=\"7\" statementType=\"SELECT\">"
        "<ColumnMetaData tableName=\"T\" columnName=\"NAME\" columnType=\"VARCHAR\"/>"
        "<ColumnMetaData tableName=\"T\" columnName=\"N\" columnType=\"INTEGER\"/>"
        "<ColumnMetaData tableName=\"T\" columnName=\"B\" columnType=\"LONG VARBINARY\"/>"
        "</ResultSetMetaData><ResultSetData>";
    for (int r = 1; r <= 7; ++r) {
        if (r == 3) {
            doc += "<Row><Column ID=\"1\">abcde</Column><Column ID=\"2\" null=\"true\"/>"
                   "<Column ID=\"3\" null=\"true\"/></Row>";
            continue;
        }
        doc += "<Row><Column ID=\"1\">row" + std::to_string(r) + "</Column><Column ID=\"2\">" +
               std::to_string(r * 100) + "</Column><Column ID=\"3\" encoding=\"base64\">AP8A</Column></Row>";
    }
    return doc + "</ResultSetData></ResultSet>";
}

struct Cursor : vorntest::StatementTest {
    // Stores the document as the execution of a statement would.
    void store(const std::string& doc) {
        ResultSet* rs = stmt->resultSet.release();
        const ParseStatus status = parseXml(doc.data(), doc.size(), &rs);
        stmt->resultSet.reset(rs);
        ASSERT_EQ(1, status.code);
        populateIrd(stmt);
        stmt->blockMode = 1;
        stmt->blockNumber = 1;
        stmt->moreRows = 0;
    }
    // "rc value length" of SQLGetData into a character buffer of size bytes.
    std::string text(SQLUSMALLINT column, SQLLEN size) {
        char buf[16] = "";
        SQLLEN len = -7;
        const SQLRETURN rc = SQLGetData(hstmt, column, SQL_C_CHAR, buf, size, &len);
        return std::to_string(rc) + " " + buf + " " + std::to_string(len);
    }
};

TEST_F(Cursor, GetDataPiecewiseRestartsAndRefusals) {
    EXPECT_EQ("-1  -7", text(1, 8));  // no cursor
    store(sevenRows());
    for (int i = 0; i < 3; ++i) ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));
    EXPECT_EQ("1 ab 5", text(1, 3));
    EXPECT_EQ("01004 String data, right-truncated", stmtDiag());
    EXPECT_EQ("1 cd 3", text(1, 3));
    EXPECT_EQ("0 e 1", text(1, 3));
    EXPECT_EQ("100  -7", text(1, 3));
    EXPECT_EQ("0  -1", text(2, 8));  // null
    char buf[8];
    EXPECT_EQ("-1 22002 Indicator variable required but not supplied",
              stmtResult(SQLGetData(hstmt, 3, SQL_C_BINARY, buf, sizeof buf, nullptr)));

    ASSERT_EQ(SQL_SUCCESS, SQLFetch(hstmt));  // row 4
    SQLUINTEGER n = 0;
    SQLLEN len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(hstmt, 2, SQL_C_DEFAULT, &n, 0, &len));
    EXPECT_EQ(400u, n);
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(hstmt, 2, SQL_C_DEFAULT, &n, 0, &len));
    EXPECT_EQ("0 row4 4", text(1, 8));
    EXPECT_EQ("100  -7", text(1, 8));  // read whole: nothing more
    EXPECT_EQ("0 400 3", text(2, 8));  // another column came between: whole again
    EXPECT_EQ("-1 07006 Restricted data type attribute validation",
              stmtResult(SQLGetData(hstmt, 1, SQL_C_TYPE_TIMESTAMP, &n, 0, &len)));
    EXPECT_EQ("-1 07009 Invalid descriptor index",
              stmtResult(SQLGetData(hstmt, 0, SQL_ARD_TYPE, buf, sizeof buf, &len)));
    EXPECT_EQ("-1  -7", text(1, -1));
    EXPECT_EQ("HY090 Invalid string or buffer length", stmtDiag());
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0));
    EXPECT_EQ("-1  -7", text(1, 8));
    EXPECT_EQ("HY109 Invalid cursor position", stmtDiag());
}

// Within a rowset an error or a warning stays on its row: a null without an
// indicator fails its row alone, a cut text warns on its row only.
TEST_F(Cursor, RowErrorsAndWarningsStayOnTheirRow) {
    store(sevenRows());
    char names[3][8];
    SQLLEN nameLen[3];
    SQLINTEGER nums[3];
    SQLUSMALLINT status[3];
    SQLULEN processed = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(hstmt, SQL_ATTR_ROWS_FETCHED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 2, SQL_C_SLONG, nums, 0, nullptr));
    EXPECT_EQ("1 22002 Indicator variable required but not supplied", stmtResult(SQLFetch(hstmt)));
    SQLLEN row = 0;
    SQLINTEGER column = 0;
    SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_ROW_NUMBER, &row, 0, nullptr);
    SQLGetDiagField(SQL_HANDLE_STMT, hstmt, 1, SQL_DIAG_COLUMN_NUMBER, &column, 0, nullptr);
    EXPECT_EQ("3 2", std::to_string(row) + " " + std::to_string(column));
    EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_ERROR}),
              std::vector<SQLUSMALLINT>(status, status + 3));

    // A cut name is a warning on its row only.
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt, 1, SQL_C_CHAR, names, 4, nameLen));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(hstmt));  // rows 4-6
    EXPECT_EQ(SQL_ROW_SUCCESS_WITH_INFO, status[0]);
    EXPECT_STREQ("row", names[0]);
    EXPECT_STREQ("row", &names[0][4]);  // the element size is the bound length
    EXPECT_EQ("-1 HY106 Fetch type out of range", stmtResult(SQLFetchScroll(hstmt, SQL_FETCH_PRIOR, 0)));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetchScroll(hstmt, SQL_FETCH_NEXT, 0));  // row 7
    EXPECT_EQ(1u, processed);
    EXPECT_EQ(700, nums[0]);
}

TEST_F(Cursor, CursorNamesAndRowCount) {
    SQLHSTMT second = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &second));
    char name[32];
    SQLSMALLINT len = 0;
    auto cursorName = [&](SQLHSTMT h, SQLSMALLINT size) {
        const SQLRETURN rc = SQLGetCursorName(h, (SQLCHAR*)name, size, &len);
        return std::to_string(rc) + " " + name + " " + std::to_string(len);
    };
    EXPECT_EQ("0 SQL_CUR0 8", cursorName(hstmt, sizeof name));
    EXPECT_EQ("0 SQL_CUR1 8", cursorName(second, sizeof name));
    EXPECT_EQ("1 SQL_ 8", cursorName(hstmt, 5));

    EXPECT_EQ(SQL_ERROR, SQLSetCursorName(second, (SQLCHAR*)"sql_curX", SQL_NTS));
    EXPECT_EQ("34000 Invalid cursor name", vorntest::diagText(SQL_HANDLE_STMT, second));
    EXPECT_EQ(SQL_ERROR, SQLSetCursorName(second, (SQLCHAR*)"C1", 0));
    EXPECT_EQ(SQL_SUCCESS, SQLSetCursorName(second, (SQLCHAR*)"C1xyz", 2));
    EXPECT_EQ("0 C1 2", cursorName(second, sizeof name));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, second));

    SQLLEN count = 0, cancelled = 0;
    EXPECT_EQ("-1 24000 Invalid cursor state", stmtResult(SQLFetch(hstmt)));
    store(sevenRows());
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(hstmt, &count));
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(hstmt));
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(hstmt, &cancelled));
    EXPECT_EQ("7 -1", std::to_string(count) + " " + std::to_string(cancelled));
}

}  // namespace
