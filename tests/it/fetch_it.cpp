// Fetching through the unixODBC driver manager from a vornd on the sample
// database: rows come in blocks of ten, each block one request in the
// server's log, asked for only when the stored block is used up; a rowset
// crossing blocks; the affected-row count of an UPDATE.
#include "support/odbc_session.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class Fetch : public vorntest::OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("fetch", {"--verbose"}); }
    // Export requests (which carry "execsql") the server has logged so far.
    static int exports() {
        const std::string log = vorndtest::readFile(server_->log()), what = "request 1007 ";
        int n = 0;
        for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
        return n;
    }
};

TEST_F(Fetch, BlocksAskedForWhenUsedUpRowsetsAcrossThemAndRowCounts) {
    const int before = exports();
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID FROM ARTICLES WHERE ID <= 25 ORDER BY ID"));
    for (int r = 1; r <= 25; ++r) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << r;
        SQLINTEGER id = 0;
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, &len));
        EXPECT_EQ(r, id);
        // Blocks 2 and 3 are asked for by the 11th and the 21st fetch.
        EXPECT_EQ(before + 1 + (r > 10) + (r > 20), exports()) << r;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(before + 3, exports());

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
            EXPECT_EQ(++seen, ids[i]);
            if (names[seen % 4])
                EXPECT_STREQ(names[seen % 4], sections[i]);
            else
                EXPECT_EQ(SQL_NULL_DATA, sectionLen[i]);
        }
        for (SQLULEN i = processed; i < 4; ++i) EXPECT_EQ(SQL_ROW_NOROW, status[i]);
    }
    EXPECT_EQ(25, seen);

    SQLLEN count = 0;
    ASSERT_EQ(SQL_SUCCESS, exec("UPDATE COUNTERS SET N = N + 1"));
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(4, count);
    EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));  // no rows, no cursor
}

}  // namespace

// BlockSize, from the connection string: the same rows at every size, in as
// many requests as the size makes; a size the driver cannot use is refused.
TEST_F(Fetch, BlockSizeChangesTheRequestsNotTheRows) {
    auto readAll = [&](const std::string& size, int& requests) {
        SQLHDBC conn;
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &conn);
        const std::string in = "DSN=" + dsn_ + ";UID=u;PWD=p;BlockSize=" + size;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(conn, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT)));
        SQLAllocHandle(SQL_HANDLE_STMT, conn, &st);
        const int before = exports();
        std::vector<std::string> rows;
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)"SELECT ID, HEADLINE, SCORE FROM ARTICLES ORDER BY ID", SQL_NTS));
        char id[16], headline[100], score[32];
        SQLLEN l1, l2, l3;
        SQLBindCol(st, 1, SQL_C_CHAR, id, sizeof id, &l1);
        SQLBindCol(st, 2, SQL_C_CHAR, headline, sizeof headline, &l2);
        SQLBindCol(st, 3, SQL_C_CHAR, score, sizeof score, &l3);
        for (SQLRETURN rc; (rc = SQLFetch(st)) != SQL_NO_DATA && rows.size() < 100000;) {
            EXPECT_EQ(SQL_SUCCESS, rc);
            rows.push_back(std::string(id) + "|" + headline + "|" + (l3 == SQL_NULL_DATA ? "NULL" : score));
        }
        requests = exports() - before;
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        SQLDisconnect(conn);
        SQLFreeHandle(SQL_HANDLE_DBC, conn);
        return rows;
    };
    int requests = 0;
    const std::vector<std::string> reference = readAll("10", requests);
    const int n = int(reference.size());
    ASSERT_GT(n, 20);
    EXPECT_EQ((n + 9) / 10, requests);
    const struct {
        const char* size;
        int requests;
    } cases[] = {{"1", n}, {"1000", (n + 999) / 1000}, {"all", 1}, {"ALL", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(reference, readAll(c.size, requests));
        EXPECT_EQ(c.requests, requests);
    }

    for (const char* bad : {"0", "100001", "ten", "-5", "10rows"}) {
        SQLHDBC conn;
        SQLAllocHandle(SQL_HANDLE_DBC, env, &conn);
        const std::string in = "DSN=" + dsn_ + ";UID=u;PWD=p;BlockSize=" + bad;
        EXPECT_EQ(SQL_ERROR, SQLDriverConnect(conn, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                              SQL_DRIVER_NOPROMPT));
        SQLCHAR state[6] = "", text[300] = "";
        SQLGetDiagRec(SQL_HANDLE_DBC, conn, 1, state, nullptr, text, sizeof text, nullptr);
        EXPECT_STREQ("08001", (char*)state) << bad;
        EXPECT_NE(nullptr, std::strstr((char*)text, bad)) << text;
        SQLFreeHandle(SQL_HANDLE_DBC, conn);
    }
}
