// Many sessions at once: each has its own connection on the shared file, and
// no update is lost while others read and write.
#include "WireClient.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vorndtest;

namespace {

TEST(VorndConcurrency, SixteenClientsQueryAndUpdateWithoutLoss) {
    TestServer server("concurrency", "", {"--busy-timeout", "30000"});
    ASSERT_TRUE(server.ok()) << server.error();

    constexpr int kClients = 16, kRounds = 40;
    const std::string q = "SELECT ID, HEADLINE FROM ARTICLES ORDER BY ID";
    std::vector<std::string> failures(kClients);  // one slot per thread
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
        threads.emplace_back([&, t] {
            std::string& failure = failures[t];
            WireClient c;
            if (!c.connect(server.port()) || c.start("user" + std::to_string(t), "pw").status != 1)
                failure = "login";
            for (int r = 0; r < kRounds && failure.empty(); ++r) {
                // A paged read left open while this session writes: the
                // write must still get through.
                ExportAnswer a = c.execsql(q, 50, 1);
                if (a.status != 3) failure = "query: " + a.message;
                a = c.execsql("UPDATE COUNTERS SET N = N + 1 WHERE ID = " + std::to_string(1 + (t + r) % 4));
                if (a.status != 1 || parseDocument(a.data).rows.at(0).at(0).data != "1")
                    failure = "update: " + a.message;
                a = c.execsql(q, 50, 2);
                const Document d = parseDocument(a.data);
                if (a.status != 3 || d.rows.size() != 50 || d.rows[0][0].data != "51")
                    failure = "second block: " + a.message;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kClients; ++t) EXPECT_EQ(failures[t], "") << "client " << t;

    WireClient check;
    ASSERT_TRUE(check.connect(server.port()));
    ASSERT_EQ(check.start("check", "pw").status, 1);
    const Document d = parseDocument(check.execsql("SELECT SUM(N) FROM COUNTERS").data);
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0][0].data, std::to_string(kClients * kRounds));
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
