// Many sessions at once: each has its own connection on the shared file, and
// no update is lost while others read and write.
#include "WireClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace vorndtest;

namespace {

TEST(VorndConcurrency, SixteenClientsQueryAndUpdateWithoutLoss) {
    SampleDatabase db("concurrency");
    ASSERT_TRUE(db.ok());
    VorndProcess server;
    std::string error;
    ASSERT_TRUE(server.start(db.path(), {"--busy-timeout", "30000"}, error)) << error;

    constexpr int kClients = 16;
    constexpr int kRounds = 40;
    std::atomic<int> failures{0};
    std::vector<std::string> firstFailure(kClients);
    std::vector<std::thread> threads;
    for (int t = 0; t < kClients; ++t) {
        threads.emplace_back([&, t] {
            WireClient c;
            auto fail = [&](const std::string& what) {
                if (firstFailure[t].empty()) firstFailure[t] = what;
                ++failures;
            };
            if (!c.connect(server.port()) || c.start("user" + std::to_string(t), "pw").status != 1)
                return fail("login");
            for (int r = 0; r < kRounds; ++r) {
                // A paged read left open while this session writes: the
                // write must still get through.
                ExportAnswer q = c.execsql("SELECT ID, HEADLINE FROM ARTICLES ORDER BY ID", 50, 1);
                if (q.status != 3) fail("query: " + q.message);
                const std::string counter = std::to_string(1 + (t + r) % 4);
                ExportAnswer u = c.execsql("UPDATE COUNTERS SET N = N + 1 WHERE ID = " + counter);
                if (u.status != 1 || parseDocument(u.data).rows.at(0).at(0).data != "1")
                    fail("update: " + u.message);
                ExportAnswer q2 = c.execsql("SELECT ID, HEADLINE FROM ARTICLES ORDER BY ID", 50, 2);
                const Document d = parseDocument(q2.data);
                if (q2.status != 3 || d.rows.size() != 50 || d.rows[0][0].data != "51")
                    fail("second block: " + q2.message);
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kClients; ++t) EXPECT_TRUE(firstFailure[t].empty()) << t << ": " << firstFailure[t];
    EXPECT_EQ(failures.load(), 0);

    WireClient check;
    ASSERT_TRUE(check.connect(server.port()));
    ASSERT_EQ(check.start("check", "pw").status, 1);
    const Document d = parseDocument(check.execsql("SELECT SUM(N) FROM COUNTERS").data);
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.rows[0][0].data, std::to_string(kClients * kRounds));
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
