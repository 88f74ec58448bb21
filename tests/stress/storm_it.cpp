// Load through the unixODBC driver manager against vornd: many threads on
// connections of their own, threads sharing one connection, and a
// connect/prepare/execute/fetch/disconnect loop that the sanitized tree
// checks for leaks (LeakSanitizer at exit, in this program and in vornd).
#include "support/odbc_session.h"
#include "stress.h"

#include <functional>
#include <thread>

namespace {

using namespace vorntest;
using Rows = std::vector<std::string>;

class Storm : public OdbcSession {
protected:
    static void SetUpTestSuite() {
        registerDriver();
        startServer("storm", "", {"--max-sessions", "64"});
        Dbc c;
        ASSERT_PRED1(ok, c.driverConnect(at(server_->port()))) << c.state();
        std::string error;
        expected_ = query(c.dbc, false, error);
        ASSERT_EQ("", error);
        ASSERT_GT(expected_.size(), 1u);
    }
    // The authors on a statement of its own, executed directly or prepared;
    // the diagnostic of a failure in `error`.
    static Rows query(SQLHDBC dbc, bool prepared, std::string& error) {
        Stmt st(dbc);
        const SQLCHAR* sql = (const SQLCHAR*)"SELECT ID, NAME FROM AUTHORS ORDER BY ID";
        SQLRETURN rc = prepared ? SQLPrepare(st.h, (SQLCHAR*)sql, SQL_NTS) : SQLExecDirect(st.h, (SQLCHAR*)sql, SQL_NTS);
        if (prepared && ok(rc)) rc = SQLExecute(st.h);
        if (!ok(rc)) error = "execute: " + st.state();
        return ok(rc) ? st.rows() : Rows();
    }
    // `lanes` threads, each running `each` queries on the connection `lane`
    // gives it; the first failure of any, or "".
    static std::string storm(unsigned lanes, unsigned each, const std::function<SQLHDBC(std::unique_ptr<Dbc>&)>& lane) {
        std::vector<std::string> errors(lanes);
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < lanes; ++t)
            threads.emplace_back([&, t] {
                std::unique_ptr<Dbc> own;
                const SQLHDBC dbc = lane(own);
                for (unsigned i = 0; i < each && errors[t].empty(); ++i) {
                    const Rows rows = query(dbc, i % 2 == 1, errors[t]);
                    if (errors[t].empty() && rows != expected_) errors[t] = "rows differ";
                    if (!errors[t].empty()) errors[t] = "lane " + std::to_string(t) + " query " + std::to_string(i) + ": " + errors[t];
                }
            });
        for (std::thread& t : threads) t.join();
        std::printf("%u threads x %u queries\n", lanes, each);
        for (const std::string& e : errors)
            if (!e.empty()) return e;
        return "";
    }
    static SQLHDBC connect(std::unique_ptr<Dbc>& c) {
        c.reset(new Dbc);
        return ok(c->driverConnect(at(server_->port()))) ? c->dbc : SQL_NULL_HDBC;
    }

    inline static Rows expected_;
};

TEST_F(Storm, SixteenThreadsOnConnectionsOfTheirOwn) {
    EXPECT_EQ("", storm(16, vornstress::count(200, 1000), connect));
}

TEST_F(Storm, FourThreadsSharingOneConnection) {
    std::unique_ptr<Dbc> shared;
    ASSERT_TRUE(connect(shared) != SQL_NULL_HDBC);
    EXPECT_EQ("", storm(4, vornstress::count(200, 1000), [&](std::unique_ptr<Dbc>&) { return shared->dbc; }));
}

// A hundred whole cycles; a leak in any shows in the sanitized tree at exit.
TEST_F(Storm, ConnectPrepareExecuteFetchDisconnectCycles) {
    for (unsigned i = 0; i < 100; ++i) {
        std::unique_ptr<Dbc> c;
        ASSERT_TRUE(connect(c) != SQL_NULL_HDBC) << "cycle " << i << ": " << c->state();
        std::string error;
        ASSERT_EQ(expected_, query(c->dbc, true, error)) << "cycle " << i << ": " << error;
    }
}

}  // namespace
