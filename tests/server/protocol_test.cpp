// The session layer of vornd over real sockets, byte by byte: handshake,
// session requests, ping, refusals, malformed frames, time-outs, shutdown.
#include "VorndSuite.h"
#include "WireClient.h"

#include <thread>
#include <unistd.h>

using namespace vorndtest;

namespace {

const char* const kAlicePassword = "secret:with:colons";

// BeginVdbs: a login without credentials.
CPACKET beginVdbs() {
    return CPACKET().AppendU8(0).AppendShortItem(CLSTRING("2.0-0250", 8)).AppendShortItem(CLSTRING("", 0));
}

class VorndProtocol : public VorndSuite {
protected:
    static void SetUpTestSuite() {
        startServer("protocol", "# test users\nalice:secret:with:colons\nbob:\n\nmallory\n");
    }
    void SetUp() override { ASSERT_TRUE(c_.connect(server_->port())); }
    WireClient c_;
};

TEST_F(VorndProtocol, LoginChecksUsersFileAndClientVersion) {
    // Wrong password: an even status with a message; the session stays open
    // but Export is refused.
    Answer a = c_.start("alice", "wrong");
    EXPECT_TRUE(a.ok && a.number == 110 && a.status > 0 && a.status % 2 == 0) << a.status;
    EXPECT_NE(a.message.find("password"), std::string::npos);
    EXPECT_EQ(c_.execsql("SELECT 1").status % 2, 0);
    // Unknown users and a line without a colon log nobody in.
    EXPECT_EQ(c_.start("mallory", "").status % 2, 0);
    EXPECT_EQ(c_.start("carol", "secret").status % 2, 0);
    // A client of another major version: -4 with the server's version.
    a = c_.start("alice", kAlicePassword, "3.0-0001");
    EXPECT_EQ(std::to_string(a.status) + " " + a.message.substr(0, 2), "-4 2.");
    // The compatibility retry announces 2.0 and is accepted; the password
    // keeps everything after the first colon.
    ASSERT_EQ(c_.start("alice", kAlicePassword, "2.0-0250").status, 1);
    EXPECT_NE(c_.execsql("SELECT 40 + 2").rest.find(">42<"), std::string::npos);
    // A failed new start ends the old login.
    EXPECT_EQ(c_.start("alice", "nope").status % 2, 0);
    EXPECT_EQ(c_.execsql("SELECT 1").status, 24);
    // A scrambled user name and an empty password.
    EXPECT_EQ(c_.start("bob", "", "2.3-0250", 1).status, 1);
    // With a users file, BeginVdbs (a login without credentials) is refused.
    a = c_.call(101, beginVdbs());
    EXPECT_EQ(a.status % 2, 0);
    EXPECT_FALSE(a.message.empty());
}

TEST_F(VorndProtocol, SessionRequestsRefusalsAndMalformedInput) {
    EXPECT_EQ(c_.call(110, CPACKET().AppendU16(200)).status, 26);  // a user name longer than the frame
    ASSERT_EQ(c_.start("alice", kAlicePassword).status, 1);
    // Version; Message goes through the kit in execsql_test.
    Answer v = c_.call(803, CPACKET());
    EXPECT_EQ(std::to_string(v.status) + " " + v.rest.substr(2, 2), "1 2.");

    // Requests this server does not serve: even status, the session goes on.
    for (std::uint16_t number : {405, 4001, 0, 65535}) {
        Answer u = c_.call(number, CPACKET());
        EXPECT_TRUE(u.ok && u.number == number && u.status == 20) << number;
        EXPECT_NE(u.message.find("not supported by this server"), std::string::npos);
    }
    // Broken requests inside well-formed frames: an error answer each, a
    // fault document where an Export has one.
    EXPECT_EQ(c_.call(1007, CPACKET().AppendU32(0).AppendU32(0)).status, 26);
    Answer e = c_.execsql(std::string("SELECT '\xC3\x28'"));  // not UTF-8
    EXPECT_EQ(e.status, 32);
    EXPECT_EQ(c_.execsql(std::string("SELECT 1\0; SELECT 2", 19)).status % 2, 0);  // one statement a request
    EXPECT_NE(e.rest.find("<Fault"), std::string::npos);
    e = c_.call(1007, WireClient::execsqlArgs("x", 0, 0, "dropeverything"));
    EXPECT_TRUE(e.status % 2 == 0 && e.rest.find("<Fault") != std::string::npos) << e.status;
    // Kind 'N' without a notification, and a kind that does not exist.
    for (std::uint8_t kind : {'N', 'Q'})
        EXPECT_EQ(c_.callBody(CPACKET().AppendU8(kind).AppendU16(1007)).status % 2, 0) << kind;
    // The ping frame: 05 00 00 00 'P' answered by seven bytes, 'P' fifth.
    ASSERT_TRUE(c_.sendRaw("\x05\x00\x00\x00P", 5));
    const std::string pong = c_.receiveRaw(7, 5000);
    EXPECT_TRUE(pong.size() == 7 && pong[4] == 'P') << pong.size();
    EXPECT_EQ(c_.execsql("SELECT 1").status, 1);
    EXPECT_EQ(c_.call(111, CPACKET().AppendU8(0)).status, 1);  // StopVorn ends the session
    EXPECT_TRUE(c_.closedByPeer(5000));

    // Frames that cannot be served close the connection; a peer that
    // vanishes mid-frame leaves nothing behind.
    const std::string fatal[] = {
        std::string("\x03\x00\x00\x00", 4),   // shorter than its own header
        std::string("\x04\x00\x00\x00", 4),   // empty body
        std::string("\x06\x00\x00\x00TT", 6), // no room for a request number
    };
    for (const std::string& bytes : fatal) {
        WireClient c;
        ASSERT_TRUE(c.connect(server_->port()) && c.sendRaw(bytes.data(), bytes.size()));
        EXPECT_TRUE(c.closedByPeer(5000)) << bytes.size();
    }
    ASSERT_TRUE(c_.connect(server_->port()) && c_.sendRaw("\x20\x00\x00\x00T\x6E\x00", 7));
    c_.close();
}

TEST(VorndServer, SessionsBeyondTheLimitAreRefusedWithTheirStatus) {
    TestServer server("limit", "", {"--max-sessions", "2"});
    ASSERT_TRUE(server.ok()) << server.error();
    WireClient a, b, c;
    ASSERT_TRUE(a.connect(server.port()) && b.connect(server.port()) && c.connect(server.port()));
    ASSERT_EQ(a.start("a", "a").status, 1);
    ASSERT_EQ(b.start("b", "b").status, 1);
    EXPECT_EQ(c.start("c", "c").status, 26114);  // told why, and let go
    EXPECT_TRUE(c.closedByPeer(5000));
    // Places that come free are taken again: Storm's cycles outnumber its limit.
}

// Statements that run on and sessions that sit idle end; the server stops
// cleanly even with a session in the middle of its work.
TEST(VorndServer, RunawayStatementsAndIdleSessionsEndAndShutdownIsClean) {
    const std::string forever = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                "SELECT COUNT(*) FROM c";
    {
        TestServer server("runaway", "", {"--statement-timeout", "1"});
        ASSERT_TRUE(server.ok()) << server.error();
        WireClient c;
        ASSERT_TRUE(c.connect(server.port()));
        ASSERT_EQ(c.start("u", "p").status, 1);
        Answer e = c.execsql(forever);
        EXPECT_TRUE(e.status % 2 == 0 && e.message.find("interrupt") != std::string::npos) << e.message;
        EXPECT_EQ(c.execsql("SELECT 1").status, 1);  // the session goes on
        EXPECT_EQ(server.stop(), 0);
    }
    // Without a time limit: a client that goes away stops its statement, an
    // idle session is closed, and a stop request ends a statement still
    // running in a session that is paging too.
    TestServer server("unlimited", "", {"--idle-timeout", "1"});
    ASSERT_TRUE(server.ok()) << server.error();
    {
        WireClient gone;
        ASSERT_TRUE(gone.connect(server.port()));
        ASSERT_EQ(gone.start("u", "p").status, 1);
        ASSERT_TRUE(gone.send(1007, WireClient::execsqlArgs(forever)));
    }  // closed while the statement runs
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        usleep(100 * 1000);
        ended = readFile(server.log()).find("[1] session ended") != std::string::npos;
    }
    EXPECT_TRUE(ended);
    WireClient idle, stuck;
    ASSERT_TRUE(idle.connect(server.port()));
    ASSERT_EQ(idle.start("anyone", "anything").status, 1);  // no users file
    EXPECT_TRUE(idle.closedByPeer(10000));
    EXPECT_NE(readFile(server.log()).find("idle for 1 seconds"), std::string::npos) << readFile(server.log());
    // Logged in without credentials, as allowed without a users file.
    ASSERT_TRUE(stuck.connect(server.port()));
    ASSERT_EQ(stuck.call(101, beginVdbs()).status, 1);
    ASSERT_EQ(stuck.execsql("SELECT * FROM ARTICLES", 10, 1).status, 3);
    std::thread running([&] { stuck.execsql(forever); });
    usleep(300 * 1000);
    EXPECT_EQ(server.stop(), 0);
    running.join();
}

TEST(VorndServer, CommandLine) {
    EXPECT_EQ(runVornd({"--help"}), 0);
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{}, {"--db", "/tmp/x.db", "--bogus"}, {"--db", "/tmp/x.db", "--listen", "nowhere"},
          {"--db", "/nonexistent/dir/x.db", "--init-sql", "/dev/null", "--init-only"}})
        EXPECT_NE(runVornd(wrong), 0) << wrong.size();
}

}  // namespace
