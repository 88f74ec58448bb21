// Hostile clients against a real vornd: idle connections that never log in,
// a slow writer, failed logins, a large statement, large and random frames.
// After each, a normal client is still served, and at the end vornd's memory
// is back near where it started.
#include "VorndSuite.h"
#include "stress.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using vorndtest::readFile;
using vorndtest::TestServer;
using vorndtest::WireClient;

namespace {

const char* const kUsers = "alice:secret\n";

class HostileClients : public vorndtest::VorndSuite {
protected:
    static void SetUpTestSuite() {
        startServer("hostile", kUsers, {"--login-timeout", "2"});
        // A first session and statement, so that what the server keeps for
        // good (the database pages, the statement cache) is in the baseline.
        normalClientServed();
        baseline_ = vornstress::residentKiB(server_->pid());
    }
    static void TearDownTestSuite() {
        // Sessions end in their own threads: give the last ones a moment.
        long now = 0;
        for (int i = 0; i < 50; ++i) {
            now = vornstress::residentKiB(server_->pid());
            if (now < baseline_ + kSlackKiB) break;
            usleep(100 * 1000);
        }
        std::printf("vornd resident memory: %ld KiB at the start, %ld KiB at the end\n", baseline_, now);
#ifndef __SANITIZE_ADDRESS__
        // (The sanitizer's allocator keeps freed memory in quarantine.)
        EXPECT_LT(now, baseline_ + kSlackKiB);
#endif
        VorndSuite::TearDownTestSuite();
    }
    static void normalClientServed() {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()));
        ASSERT_EQ(c.start("alice", "secret").status, 1);
        const vorndtest::ExportAnswer a = c.execsql("SELECT COUNT(*) FROM ARTICLES");
        EXPECT_EQ(a.status, 1) << a.message;
    }
    static bool logHas(const std::string& text) { return readFile(server_->log()).find(text) != std::string::npos; }

    static constexpr long kSlackKiB = 16 * 1024;
    inline static long baseline_ = 0;
};

TEST_F(HostileClients, IdleConnectionsDoNotLockOutALogin) {
    const unsigned idle = 200;
    std::vector<std::unique_ptr<WireClient>> held;
    for (unsigned i = 0; i < idle; ++i) {
        held.emplace_back(new WireClient);
        ASSERT_TRUE(held.back()->connect(server_->port())) << i;
    }
    normalClientServed();
    EXPECT_TRUE(logHas("closed to make room for a newer connection"));
    // The ones that were let in give up at the login deadline.
    EXPECT_TRUE(held.back()->closedByPeer(5000));
    EXPECT_TRUE(logHas("no login within 2 seconds"));
}

TEST_F(HostileClients, ASlowWriterIsCutAtTheLoginDeadline) {
    WireClient slow;
    ASSERT_TRUE(slow.connect(server_->port()));
    const unsigned char head[4] = {200, 0, 0, 0};
    ASSERT_TRUE(slow.sendRaw(head, sizeof head));
    std::thread writer([&] {
        for (int i = 0; i < 40; ++i) {
            if (!slow.sendRaw("x", 1)) break;
            usleep(100 * 1000);
        }
    });
    normalClientServed();
    writer.join();
    EXPECT_TRUE(slow.closedByPeer(5000));
}

TEST_F(HostileClients, FailedLoginsAreSlowedAndDoNotStopOthers) {
    // Each lane tries more often than one connection may, so that it is closed.
    const unsigned lanes = 8, each = vornstress::count(6, 125), failures = lanes * each;
    std::atomic<unsigned> answered{0}, refused{0};
    std::vector<std::thread> threads;
    const auto t0 = std::chrono::steady_clock::now();
    for (unsigned t = 0; t < lanes; ++t)
        threads.emplace_back([&] {
            WireClient c;
            bool open = false;
            for (unsigned i = 0; i < each; ++i) {
                if (!open) open = c.connect(server_->port());
                const vorndtest::Answer a = c.start("alice", "guess" + std::to_string(i));
                answered += a.ok;
                if (a.ok && a.status % 2 == 0) ++refused;
                if (!a.ok) {  // closed after its share of failures: take a new connection
                    c.close();
                    open = false;
                }
            }
        });
    for (std::thread& t : threads) t.join();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%u wrong passwords: %u refused in %.1f s\n", failures, refused.load(), took);
    EXPECT_EQ(refused.load(), answered.load());  // never let in
    EXPECT_GE(answered.load(), failures / 2);
    EXPECT_TRUE(logHas("failed logins; connection closed"));
    normalClientServed();
}

TEST_F(HostileClients, LargeFramesBeforeLoginAndALargeStatementAfterIt) {
    // Before a login a frame is a few KiB at most: 60 MB is refused at its header.
    for (int i = 0; i < 5; ++i) {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()));
        const std::uint32_t length = 60u << 20;
        const unsigned char head[4] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                                       static_cast<unsigned char>(length >> 16),
                                       static_cast<unsigned char>(length >> 24)};
        ASSERT_TRUE(c.sendRaw(head, sizeof head));
        EXPECT_TRUE(c.closedByPeer(5000));
    }
    EXPECT_TRUE(logHas("bytes before login; session closed"));
    // After it, a 10 MB statement is served.
    WireClient big;
    ASSERT_TRUE(big.connect(server_->port()));
    ASSERT_EQ(big.start("alice", "secret").status, 1);
    const std::string sql = "SELECT 1 /*" + std::string(10u << 20, 'x') + "*/";
    EXPECT_EQ(big.execsql(sql).status, 1);
    normalClientServed();
}

TEST_F(HostileClients, RandomAndMalformedFramesFromASeed) {
    std::mt19937 rng(20261206);
    const unsigned frames = vornstress::count(300, 3000);
    for (unsigned i = 0; i < frames; ++i) {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()));
        std::string bytes;
        switch (rng() % 3) {
            case 0:  // anything at all
                bytes.resize(rng() % 64);
                for (char& b : bytes) b = static_cast<char>(rng());
                break;
            case 1: {  // a plausible frame with a random body
                const std::uint32_t n = 3 + rng() % 200;
                bytes = {char(n), char(n >> 8), 0, 0};
                for (std::uint32_t k = 0; k < n; ++k) bytes += static_cast<char>(rng());
                break;
            }
            default: {  // a start request cut or lying about its items
                const std::uint32_t n = 3 + rng() % 40;
                bytes = {char(n), char(n >> 8), 0, 0, 'T', char(110), 0};
                for (std::uint32_t k = 3; k < n; ++k) bytes += static_cast<char>(rng() % 4 ? 0xFF : rng());
                break;
            }
        }
        c.sendRaw(bytes.data(), bytes.size());
    }
    normalClientServed();
}

// A users file that others may write lets anyone in: refused at the start,
// and at a login when it becomes so later.
TEST(VorndUsersFile, WritableByOthersIsRefused) {
    TestServer server("usersperm", kUsers);
    ASSERT_TRUE(server.ok()) << server.error();
    const std::string users = server.db() + ".users";
    ASSERT_EQ(0, chmod(users.c_str(), 0666));
    WireClient c;
    ASSERT_TRUE(c.connect(server.port()));
    const vorndtest::Answer a = c.start("alice", "secret");
    EXPECT_EQ(a.status % 2, 0);
    EXPECT_NE(a.message.find("writable by others"), std::string::npos) << a.message;
    EXPECT_EQ(vorndtest::runVornd({"--db", server.db(), "--users", users}), 1);
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
