// Hostile clients against a real vornd: idle connections that never log in,
// a slow writer, failed logins, a large statement, large and random frames.
// After each, a normal client is still served, and at the end vornd's memory
// is back near where it started.
#include "VorndSuite.h"
#include "WireClient.h"
#include "stress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using vorndtest::WireClient;

namespace {

const char* const kUsers = "alice:secret\n";

// A frame header announcing `length` bytes.
std::string header(std::uint32_t length) {
    return {char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
}

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
        for (int i = 0; i < 50 && (now = vornstress::residentKiB(server_->pid())) >= baseline_ + kSlackKiB; ++i)
            usleep(100 * 1000);
        std::printf("vornd resident memory: %ld KiB at the start, %ld KiB at the end\n", baseline_, now);
#ifndef __SANITIZE_ADDRESS__
        EXPECT_LT(now, baseline_ + kSlackKiB);  // the sanitizer's allocator keeps freed memory in quarantine
#endif
        VorndSuite::TearDownTestSuite();
    }
    static void normalClientServed() {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()));
        ASSERT_EQ(c.start("alice", "secret").status, 1);
        const vorndtest::Answer a = c.execsql("SELECT COUNT(*) FROM ARTICLES");
        EXPECT_EQ(a.status, 1) << a.message;
    }
    static bool logHas(const std::string& text) {
        return vorndtest::readFile(server_->log()).find(text) != std::string::npos;
    }

    static constexpr long kSlackKiB = 16 * 1024;
    inline static long baseline_ = 0;
};

TEST_F(HostileClients, IdleConnectionsAndASlowWriterDoNotLockOutALogin) {
    std::vector<std::unique_ptr<WireClient>> held;
    for (unsigned i = 0; i < 200; ++i) {
        held.emplace_back(new WireClient);
        ASSERT_TRUE(held.back()->connect(server_->port())) << i;
    }
    normalClientServed();
    EXPECT_TRUE(logHas("closed to make room for a newer connection"));
    // The ones that were let in give up at the login deadline.
    EXPECT_TRUE(held.back()->closedByPeer(5000));
    EXPECT_TRUE(logHas("no login within 2 seconds"));
    held.clear();

    // A byte every tenth of a second is cut at the login deadline too.
    WireClient slow;
    ASSERT_TRUE(slow.connect(server_->port()));
    ASSERT_TRUE(slow.sendRaw(header(200).data(), 4));
    std::thread writer([&] {
        for (int i = 0; i < 40 && slow.sendRaw("x", 1); ++i) usleep(100 * 1000);
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
    for (unsigned t = 0; t < lanes; ++t)
        threads.emplace_back([&] {
            WireClient c;
            bool open = false;
            for (unsigned i = 0; i < each; ++i) {
                if (!open) open = c.connect(server_->port());
                const vorndtest::Answer a = c.start("alice", "guess" + std::to_string(i));
                answered += a.ok;
                refused += a.ok && a.status % 2 == 0;
                if (!a.ok) {  // closed after its share of failures: take a new connection
                    c.close();
                    open = false;
                }
            }
        });
    for (std::thread& t : threads) t.join();
    std::printf("%u wrong passwords: %u refused\n", failures, refused.load());
    EXPECT_EQ(refused.load(), answered.load());  // never let in
    EXPECT_GE(answered.load(), failures / 2);
    EXPECT_TRUE(logHas("failed logins; connection closed"));
    normalClientServed();
}

TEST_F(HostileClients, LargeRandomAndMalformedFrames) {
    // Before a login a frame is a few KiB at most: 60 MB is refused at its header.
    WireClient huge;
    ASSERT_TRUE(huge.connect(server_->port()) && huge.sendRaw(header(60u << 20).data(), 4));
    EXPECT_TRUE(huge.closedByPeer(5000));
    EXPECT_TRUE(logHas("bytes before login; session closed"));
    // After it, a 10 MB statement is served.
    WireClient big;
    ASSERT_TRUE(big.connect(server_->port()));
    ASSERT_EQ(big.start("alice", "secret").status, 1);
    EXPECT_EQ(big.execsql("SELECT 1 /*" + std::string(10u << 20, 'x') + "*/").status, 1);

    // From a seed: anything at all, a plausible frame with a random body, a
    // start request cut or lying about its items.
    std::mt19937 rng(20261206);
    for (unsigned i = 0, frames = vornstress::count(300, 3000); i < frames; ++i) {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()));
        const unsigned kind = rng() % 3, n = kind == 0 ? rng() % 64 : 3 + rng() % (kind == 1 ? 200 : 40);
        std::string bytes = kind == 0 ? "" : header(n) + (kind == 1 ? "" : std::string{'T', char(110), 0});
        while (bytes.size() < (kind == 0 ? n : n + 4))
            bytes += static_cast<char>(kind == 2 && rng() % 4 ? 0xFF : rng());
        c.sendRaw(bytes.data(), bytes.size());
    }
    normalClientServed();
}

// A users file that others may write lets anyone in: refused at the start,
// and at a login when it becomes so later.
TEST(VorndUsersFile, WritableByOthersIsRefused) {
    vorndtest::TestServer server("usersperm", kUsers);
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
