// Fetching through the unixODBC driver manager from a vornd on the sample
// database: rows come in blocks, each block one Export request (1007) in the
// server's log, asked for only when the stored block is used up; rowsets
// crossing blocks; the block size (the affected-row count of a statement:
// params_pyodbc.py).
#include "support/odbc_session.h"

namespace {

using namespace vorntest;

const char* const kAll = "SELECT ID, HEADLINE, SCORE FROM ARTICLES ORDER BY ID";

class Fetch : public OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("fetch", {"--verbose"}); }
};

// Rowsets of 4 over blocks of 10 (the default): after each rowset exactly
// the blocks its last row needs have been asked for. (Rowsets' columns,
// nulls and statuses: the unit tests.)
TEST_F(Fetch, BlocksAskedForWhenUsedUpAndRowsetsAcrossThem) {
    SQLINTEGER ids[4];
    SQLLEN idLen[4];
    SQLUSMALLINT status[4];
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)4, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &processed, 0));
    const int before = requests(1007);
    ASSERT_EQ(SQL_SUCCESS, exec("SELECT ID FROM ARTICLES WHERE ID <= 25 ORDER BY ID"));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, ids, 0, idLen));
    int seen = 0;
    for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
        ASSERT_EQ(SQL_SUCCESS, rc);
        for (SQLULEN i = 0; i < processed; ++i) EXPECT_EQ(++seen, ids[i]);
        for (SQLULEN i = processed; i < 4; ++i) EXPECT_EQ(SQL_ROW_NOROW, status[i]);
        EXPECT_EQ(before + (seen + 9) / 10, requests(1007)) << seen;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(25, seen);
    EXPECT_EQ(before + 3, requests(1007));
}

// BlockSize, from the connection string: the same rows at every size, in as
// many requests as the size makes; a size the driver cannot use is refused.
TEST_F(Fetch, BlockSizeChangesTheRequestsNotTheRows) {
    Stmt byDefault(dbc);
    ASSERT_EQ(SQL_SUCCESS, byDefault.exec(kAll)) << byDefault.state();
    const std::vector<std::string> reference = byDefault.rows();
    const int n = int(reference.size());
    ASSERT_GT(n, 20);
    const struct {
        const char* size;
        int requests;  // 0: refused
    } cases[] = {{"1", n}, {"1000", (n + 999) / 1000}, {"all", 1}, {"ALL", 1}, {"0", 0},
                 {"100001", 0}, {"ten", 0}, {"-5", 0}, {"10rows", 0}};
    for (const auto& c : cases) {
        Dbc d;
        const SQLRETURN rc = d.driverConnect("DSN=" + dsn_ + ";UID=u;PWD=p;BlockSize=" + c.size);
        if (!c.requests) {
            EXPECT_EQ(SQL_ERROR, rc) << c.size;
            EXPECT_EQ(0u, d.state().find("08001")) << c.size;
            EXPECT_NE(std::string::npos, d.state().find(c.size)) << d.state();
            continue;
        }
        ASSERT_PRED1(ok, rc) << d.state();
        Stmt st(d.dbc);
        const int before = requests(1007);
        EXPECT_EQ(SQL_SUCCESS, st.exec(kAll)) << c.size;
        EXPECT_EQ(reference, st.rows()) << c.size;
        EXPECT_EQ(c.requests, requests(1007) - before) << c.size;
    }
}

}  // namespace
