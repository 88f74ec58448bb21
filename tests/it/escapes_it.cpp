// What the ODBC calls that pyodbc cannot reach do with escape sequences,
// through the unixODBC driver manager against vornd: SQLNativeSql shows the
// translation, SQL_ATTR_NOSCAN sends the text as written, a refused escape
// leaves no statement behind.
#include "support/odbc_session.h"

namespace {

using namespace vorntest;

class Escapes : public OdbcSession {
protected:
    static void SetUpTestSuite() { startWithDataSource("escapes"); }
};

// The translation needs the connection (the user's name); its length, not
// the written one, is told when the buffer cuts it. (Every translation and
// refusal: the unit tests.)
TEST_F(Escapes, NativeSqlShowsTheTranslation) {
    const auto in = (SQLCHAR*)"SELECT {fn USER()} FROM AUTHORS WHERE BORN < {d '1900-01-01'}";
    const std::string want = "SELECT 'u' FROM AUTHORS WHERE BORN < '1900-01-01'";
    SQLCHAR out[200] = "";
    SQLINTEGER length = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLNativeSql(dbc, in, SQL_NTS, out, sizeof out, &length));
    EXPECT_EQ(want, (char*)out);
    EXPECT_EQ(SQLINTEGER(want.size()), length);
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLNativeSql(dbc, in, SQL_NTS, out, 7, &length));
    EXPECT_STREQ("SELECT", (char*)out);
    EXPECT_EQ(SQLINTEGER(want.size()), length);
    EXPECT_EQ(SQL_ERROR, SQLNativeSql(dbc, (SQLCHAR*)"SELECT {d '2024-02-30'}", SQL_NTS, out, sizeof out, &length));
    EXPECT_EQ(0u, vorntest::diag(SQL_HANDLE_DBC, dbc).find("22008")) << vorntest::diag(SQL_HANDLE_DBC, dbc);
}

TEST_F(Escapes, NoScanSendsTheTextAsWrittenAndARefusalLeavesNoStatement) {
    Stmt st(dbc);
    ASSERT_EQ(SQL_SUCCESS, st.exec("SELECT {fn LCASE('AB')}")) << st.state();
    EXPECT_EQ(std::vector<std::string>{"ab"}, st.rows());
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(st.h, SQL_ATTR_NOSCAN, (SQLPOINTER)SQL_NOSCAN_ON, 0));
    EXPECT_EQ(SQL_ERROR, st.exec("SELECT {fn LCASE('AB')}"));  // the server does not know braces
    EXPECT_EQ(0u, st.state().find("HY000")) << st.state();
    EXPECT_EQ(SQL_SUCCESS, st.exec("SELECT '{fn LCASE(x)}'"));
    EXPECT_EQ(std::vector<std::string>{"{fn LCASE(x)}"}, st.rows());

    // A good preparation, then refusals (an empty text among them): nothing is executed.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT {fn UCASE(?)}", SQL_NTS));
    SQLSMALLINT params = -1;
    SQLNumParams(stmt, &params);
    EXPECT_EQ(1, params);
    const struct {
        std::function<SQLRETURN()> call;
        const char* state;
    } refusals[] = {
        {[&] { return SQLPrepare(stmt, (SQLCHAR*)"SELECT {fn UCASE(?, ?)}", SQL_NTS); }, "42000"},
        {[&] { return SQLExecute(stmt); }, "HY010"},
        {[&] { return exec("{call P(?)}"); }, "HYC00"},
        {[&] { return exec(""); }, "HY090"},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(SQL_ERROR, r.call()) << r.state;
        EXPECT_EQ(0u, diag().find(r.state)) << diag();
    }
}

}  // namespace
