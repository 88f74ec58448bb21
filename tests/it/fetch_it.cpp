// Fetching through the unixODBC driver manager from a vornd on the sample
// database: rows arriving in blocks of ten (each block one request the
// server logs), rowsets crossing blocks with column-wise and row-wise
// binding, long values read piece by piece, and affected-row counts.
#include "support/odbc_session.h"

#include <cstring>
#include <string>

using vorndtest::readFile;

namespace {

class Fetch : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("fetch", {"--verbose"}); }
    // Export requests (which carry "execsql") the server has logged so far.
    static int exports() {
        const std::string log = readFile(server_->log()), what = "request 1007 ";
        int n = 0;
        for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    }
    SQLINTEGER intValue(SQLUSMALLINT column) {
        SQLINTEGER v = -1;
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, column, SQL_C_SLONG, &v, 0, &len));
        return v;
    }
};

TEST_F(Fetch, SingleRowsAskForTheNextBlockOnlyWhenTheStoredOneIsUsedUp) {
    const int before = exports();
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID, WORDS FROM ARTICLES WHERE ID <= 25 ORDER BY ID"));
    EXPECT_EQ(before + 1, exports());
    for (int r = 1; r <= 25; ++r) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << r;
        EXPECT_EQ(r, intValue(1));
        EXPECT_EQ((r * 37) % 1000, intValue(2));
        // Blocks 2 and 3 are asked for by the 11th and the 21st fetch.
        EXPECT_EQ(before + 1 + (r > 10) + (r > 20), exports()) << r;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(before + 3, exports());
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
}

TEST_F(Fetch, RowsetsCrossBlocksColumnWiseAndRowWise) {
    SQLINTEGER ids[4];
    SQLLEN idLen[4], sectionLen[4];
    char sections[4][8];
    SQLUSMALLINT status[4];
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)4, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID, SECTION FROM ARTICLES WHERE ID <= 25 ORDER BY ID"));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, 0, idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, sections, sizeof sections[0], sectionLen));
    const char* const names[] = {"news", "sport", "culture", nullptr};
    int seen = 0;
    for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
        ASSERT_EQ(SQL_SUCCESS, rc);
        for (SQLULEN i = 0; i < processed; ++i) {
            ++seen;
            EXPECT_EQ(SQL_ROW_SUCCESS, status[i]);
            EXPECT_EQ(seen, ids[i]);
            if (names[seen % 4])
                EXPECT_STREQ(names[seen % 4], sections[i]);
            else
                EXPECT_EQ(SQL_NULL_DATA, sectionLen[i]);
        }
        for (SQLULEN i = processed; i < 4; ++i) EXPECT_EQ(SQL_ROW_NOROW, status[i]);
    }
    EXPECT_EQ(25, seen);
    EXPECT_EQ(1u, processed);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_UNBIND));

    // Row-wise: one record per row, dates and numbers converted in place.
    struct Line {
        SQLINTEGER id;
        SQLLEN idLen;
        SQL_DATE_STRUCT date;
        SQLLEN dateLen;
        double score;
        SQLLEN scoreLen;
    } lines[4];
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Line), 0));
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID, PUBDATE, SCORE FROM ARTICLES WHERE ID > 2990 ORDER BY ID"));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &lines[0].id, 0, &lines[0].idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_TYPE_DATE, &lines[0].date, 0, &lines[0].dateLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_DOUBLE, &lines[0].score, 0, &lines[0].scoreLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));  // rows 2999 and 3000 and two empty places
    EXPECT_EQ(2u, processed);
    EXPECT_EQ(3000, lines[1].id);
    EXPECT_EQ(6, lines[1].dateLen);
    // 2020-01-01 plus 0 days (3000 % 1000).
    EXPECT_EQ(2020, lines[1].date.year);
    EXPECT_EQ(1, lines[1].date.month);
    EXPECT_EQ(1, lines[1].date.day);
    EXPECT_DOUBLE_EQ(428.571, lines[1].score);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

TEST_F(Fetch, LongValuesPieceByPieceAndRowCounts) {
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT BODY, THUMB FROM ARTICLES WHERE ID = 500"));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    std::string body;
    char piece[1000];
    SQLLEN len = 0;
    SQLRETURN rc;
    int calls = 0;
    while ((rc = SQLGetData(stmt, 1, SQL_C_CHAR, piece, sizeof piece, &len)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        ASSERT_LT(++calls, 10);
        body += piece;
    }
    EXPECT_EQ("Long body of article 500: " + std::string(6000, 'x'), body);
    unsigned char thumb[16];
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_BINARY, thumb, sizeof thumb, &len));
    EXPECT_EQ(16, len);
    EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt, 2, SQL_C_BINARY, thumb, sizeof thumb, &len));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));

    SQLLEN count = 0;
    ASSERT_EQ(SQL_SUCCESS, exec("UPDATE COUNTERS SET N = N + 1"));
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(4, count);
    EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));  // no rows, no cursor
}

}  // namespace
