// Fetching through the unixODBC driver manager from a vornd on the sample
// database: rows come in blocks, each block one Export request (1007) in the
// server's log, asked for only when the stored block is used up; a rowset
// crossing blocks; the block size (the affected-row count of a statement:
// params_pyodbc.py).
#include "support/odbc_session.h"

#include <cstring>

namespace {

using namespace vorntest;

class Fetch : public OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("fetch", {"--verbose"}); }
};

TEST_F(Fetch, BlocksAskedForWhenUsedUpAndRowsetsAcrossThem) {
    const int before = requests(1007);
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID FROM ARTICLES WHERE ID <= 25 ORDER BY ID"));
    for (int r = 1; r <= 25; ++r) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << r;
        SQLINTEGER id = 0;
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, &len));
        EXPECT_EQ(r, id);
        // Blocks 2 and 3 are asked for by the 11th and the 21st fetch.
        EXPECT_EQ(before + 1 + (r > 10) + (r > 20), requests(1007)) << r;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(before + 3, requests(1007));

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
}

// BlockSize, from the connection string: the same rows at every size, in as
// many requests as the size makes; a size the driver cannot use is refused.
TEST_F(Fetch, BlockSizeChangesTheRequestsNotTheRows) {
    auto readAll = [&](const std::string& size, int& requested) {
        Dbc c;
        EXPECT_PRED1(ok, c.driverConnect("DSN=" + dsn_ + ";UID=u;PWD=p;BlockSize=" + size)) << c.state();
        Stmt st(c.dbc);
        const int before = requests(1007);
        EXPECT_EQ(SQL_SUCCESS, st.exec("SELECT ID, HEADLINE, SCORE FROM ARTICLES ORDER BY ID"));
        const std::vector<std::string> rows = st.rows();
        requested = requests(1007) - before;
        return rows;
    };
    int requested = 0;
    const std::vector<std::string> reference = readAll("10", requested);
    const int n = int(reference.size());
    ASSERT_GT(n, 20);
    EXPECT_EQ((n + 9) / 10, requested);
    const struct {
        const char* size;
        int requests;
    } cases[] = {{"1", n}, {"1000", (n + 999) / 1000}, {"all", 1}, {"ALL", 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(reference, readAll(c.size, requested)) << c.size;
        EXPECT_EQ(c.requests, requested) << c.size;
    }
    for (const char* bad : {"0", "100001", "ten", "-5", "10rows"}) {
        Dbc c;
        EXPECT_EQ(SQL_ERROR, c.driverConnect("DSN=" + dsn_ + ";UID=u;PWD=p;BlockSize=" + bad));
        EXPECT_EQ(0u, c.state().find("08001")) << bad;
        EXPECT_NE(std::string::npos, c.state().find(bad)) << c.state();
    }
}

}  // namespace
