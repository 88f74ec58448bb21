// The kit through its C API against the scripted fake server: the start
// handshake and its corners, Export, notifications, broken sessions, time-
// outs, hostile frames, ping, and the error stack's texts.
#include "support/fake_server.h"

#include "log/VCLogger.h"
#include "platform/msgbox.h"
#include "platform/platform.h"
#include "vornvdb/Cvdb.h"
#include "vornvdb/ScrambleKey.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using vorntest::FakeServer;

namespace {

KitStartupParams paramsFor(const FakeServer& srv, HERRSTACK errors = nullptr, std::uint32_t timeout = 5,
                           std::uint32_t traceFlags = 0) {
    KitStartupParams p;
    std::memset(&p, 0, sizeof p);
    p.errorStack = errors;
    std::strcpy(p.commsModule, "wsa11.dll");
    std::strcpy(p.host, "127.0.0.1");
    std::snprintf(p.service, sizeof p.service, "%u", unsigned(srv.port()));
    std::strcpy(p.startText, "start-text");
    p.traceFlags = traceFlags;
    p.receiveTimeout = timeout;
    p.sendTimeout = timeout;
    return p;
}

std::string takeShort(CPACKET& p) {
    CSTRING s;
    p.TakeShortItem(s);
    return s.c_str();
}

std::uint32_t takeU32(CPACKET& p) {
    std::uint32_t v = 0;
    p.TakeU32(v);
    return v;
}

// The arguments of a start request.
FakeServer::Check startArgs(const char* version, bool withFlags, std::uint32_t flags = 0) {
    std::string v = version;
    return [v, withFlags, flags](CPACKET& a, std::vector<std::string>& f) {
        if (takeShort(a) != "alice") f.push_back("user");
        CLSTRING pw;
        std::uint16_t n = 0;
        a.TakeU16(n);
        std::vector<unsigned char> scrambled(n);
        if (n == 33) std::memcpy(scrambled.data(), a.Data(), n);
        a.Consume(n);
        if (n != 33 || vornwire::UnscrambleBytes(scrambled.data(), n) != "s3cret") f.push_back("password");
        if (takeU32(a) != 42) f.push_back("number");
        std::string got = takeShort(a);
        if (got != v) f.push_back("version " + got);
        if (takeShort(a) != "start-text") f.push_back("start text");
        if (withFlags && takeU32(a) != flags) f.push_back("flags");
        if (a.Length() != 0) f.push_back("trailing bytes");
    };
}

FakeServer::Check endArgs(std::uint8_t mode) {
    return [mode](CPACKET& a, std::vector<std::string>& f) {
        std::uint8_t m = 0xFF;
        a.TakeU8(m);
        if (m != mode || a.Length() != 0) f.push_back("end mode");
    };
}

FakeServer::Check u32Arg(std::uint32_t want) {
    return [want](CPACKET& a, std::vector<std::string>& f) {
        if (takeU32(a) != want) f.push_back("u32 argument");
    };
}

std::vector<std::string> stackTexts(HERRSTACK es) {
    char buf[4096];
    VdbErrStackGetAll(es, buf, sizeof buf);
    std::vector<std::string> out;
    std::string all = buf;
    // The last line's line feed gave way to the terminator.
    if (!all.empty() && all.back() == '\r') all += '\n';
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t e = all.find("\r\n", start);
        if (e == std::string::npos) e = all.size();
        out.push_back(all.substr(start, e - start));
        start = e + 2;
    }
    return out;
}

struct Box {
    std::string caption, text;
    unsigned style;
};
std::vector<Box> g_boxes;
int recordBox(const char* caption, const char* text, unsigned style) {
    g_boxes.push_back({caption, text, style});
    return 1;
}

class KitSession : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseKitLog();
        fds_ = vorntest::OpenDescriptorCount();
        es_ = VdbErrStackCreate("Caption", "one", "two", "three");
        g_boxes.clear();
        plat::setMessageBoxHook(recordBox);
    }
    void TearDown() override {
        plat::setMessageBoxHook(nullptr);
        VdbErrStackDestroy(es_);
        ReleaseKitLog();
        SetKitTraceFlags(0);
        // No socket or file left behind by the kit.
        EXPECT_EQ(vorntest::OpenDescriptorCount(), fds_);
    }
    int fds_ = 0;
    HERRSTACK es_ = nullptr;
};

}  // namespace

TEST_F(KitSession, StartExportVersionEnd) {
    FakeServer srv;
    CPACKET exportAnswer;
    exportAnswer.AppendU32(11).AppendU32(12).AppendU32(13);
    exportAnswer.AppendLongItem(CLSTRING("<rows/>"));
    exportAnswer.AppendLongItem(CLSTRING("note\0junk", 9));
    exportAnswer.AppendU32(3).AppendU32(77).AppendShortItem(CSTRING("all fine"));
    CPACKET versions;
    versions.AppendShortItem(CSTRING("VORN 9.1")).AppendShortItem(CSTRING("build 7"));

    srv.expect('T', 110, startArgs("2.3-0250", true, 6))
        .reply(110, 1)
        .expect('T', 1007,
                [](CPACKET& a, std::vector<std::string>& f) {
                    std::vector<unsigned char> want = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 7, 0, 'e', 'x', 'e', 'c',
                                                       's', 'q', 'l', 1, 0, 'S', 4, 0, 0, 0, 'b', 'o', 'd', 'y',
                                                       // the text travels with its terminator
                                                       3, 0, 0, 0, 'h', 'i', 0, 10, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
                    auto* p = reinterpret_cast<const unsigned char*>(a.Data());
                    if (std::vector<unsigned char>(p, p + a.Length()) != want) f.push_back("export bytes");
                })
        .reply(1007, 1, "", exportAnswer)
        .expect('T', 3010)
        .reply(3010, 1, "", versions)
        .expect('T', 111, endArgs(0))
        .reply(111, 1)
        .start();

    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 6), 1);
    ASSERT_NE(h, nullptr);

    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    q.head1 = 1;
    q.head2 = 2;
    q.head3 = 3;
    std::strcpy(q.command, "execsql");
    std::strcpy(q.subject, "S");
    char body[] = "body";
    char text[] = "hi";
    q.document = body;
    q.documentLength = 4;
    q.text = text;
    q.textLength = 2;
    q.rows = 10;
    q.flags = 0;
    q.block = 1;
    EXPECT_EQ(VdbExport(h, &q), 1);
    EXPECT_EQ(q.head1, 11u);
    EXPECT_EQ(q.head2, 12u);
    EXPECT_EQ(q.head3, 13u);
    ASSERT_EQ(q.documentLength, 7);
    EXPECT_NE(q.document, body);
    EXPECT_EQ(std::string(q.document, 7), "<rows/>");
    ASSERT_EQ(q.textLength, 4);  // read as a C string: up to the first zero
    EXPECT_STREQ(q.text, "note");
    EXPECT_EQ(q.block, 3u);
    EXPECT_EQ(q.status, 77u);
    EXPECT_STREQ(q.message, "all fine");
    plat::heapFree(q.document);
    plat::heapFree(q.text);

    char s1[64], s2[4], c[64];
    EXPECT_EQ(VdbXVersion(h, s1, sizeof s1, s2, sizeof s2, c, sizeof c), 1);
    EXPECT_STREQ(s1, "VORN 9.1");
    EXPECT_STREQ(s2, "bui");  // cut to the buffer
    EXPECT_STREQ(c, "2.3-0250");

    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(VdbEndVorn(h, 0), 0);  // the handle is gone
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    EXPECT_EQ(stackTexts(es_), std::vector<std::string>{});
}

TEST_F(KitSession, VersionMismatchRetriesInCompatibilityModeOnce) {
    {
        FakeServer srv;
        srv.expect('T', 110, startArgs("2.3-0250", true, 0))
            .reply(110, -4, "3.0-0001")
            .expect('T', 110, startArgs("2.0-0250", false))
            .reply(110, 1)
            .expect('T', 111, endArgs(2))
            .reply(111, 1)
            .start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = nullptr;
        ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
        char c[16];
        // The session remembers it speaks as the old client.
        CSTRING client = reinterpret_cast<CVDB*>(h)->ClientVersion();
        client.CopyOut(c, sizeof c);
        EXPECT_STREQ(c, "2.0-0250");
        EXPECT_EQ(VdbEndVorn(h, 2), 1);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    }
    {
        // A second -4 ends the start; the broken session sends no end.
        FakeServer srv;
        srv.expect('T', 110, startArgs("2.3-0250", true, 0))
            .reply(110, -4, "3.0-0001")
            .expect('T', 110, startArgs("2.0-0250", false))
            .reply(110, -4, "3.0-0001")
            .start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = reinterpret_cast<HVDB>(1);
        EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), -4);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
        EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"Client and server versions mismatched (Client/Server) : "
                                                            "2.0-0250/3.0-0001\tStartVorn\tvornvdb/Cvdbpriv"});
    }
}

TEST_F(KitSession, StatusThreeShowsTheServerTextInAMessageBox) {
    CPACKET text;
    text.AppendShortItem(CSTRING("Password expires soon"));
    FakeServer srv;
    srv.expect('T', 110).reply(110, 3).expect('T', 104, u32Arg(3)).reply(104, 1, "", text);
    srv.expect('T', 111).reply(111, 1).start();
    KitStartupParams params = paramsFor(srv);
    HVDB h = nullptr;
    EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 3);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, "VORN Information");
    EXPECT_EQ(g_boxes[0].text, "Password expires soon");
    EXPECT_EQ(g_boxes[0].style, plat::kMsgBoxTaskModal | plat::kMsgBoxIconStop);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
}

TEST_F(KitSession, RefusedStartPushesTheServerTextAndStillEnds) {
    CPACKET text;
    text.AppendShortItem(CSTRING("No licence left"));
    FakeServer srv;
    srv.expect('T', 110).reply(110, 16898).expect('T', 104, u32Arg(16898)).reply(104, 1, "", text);
    srv.expect('T', 111).reply(111, 1).start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 16898);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"No licence left\tVORNkernel\t?"});

    // Without a session, 26114 still has its text.
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(VdbMessage(nullptr, 26114, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Too many sessions, try again later.");
    EXPECT_EQ(VdbMessage(nullptr, 26114, buf, 4), 0);
    EXPECT_STREQ(buf, "Too");
}

TEST_F(KitSession, OtherFailuresOfTheStart) {
    // Unknown even status: -2 with the server's message; a server that is
    // not there: no session and the resolver's or connect's text.
    FakeServer srv;
    srv.expect('T', 110).reply(110, 2, "Account locked").expect('T', 111).reply(111, 1).start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), -2);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"Account locked\tStartVorn\tvornvdb/Cvdbpriv"});

    std::uint16_t closedPort;
    {
        FakeServer gone;
        closedPort = gone.port();
    }
    std::snprintf(params.service, sizeof params.service, "%u", unsigned(closedPort));
    EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), -2);
    EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"Connection refused\tconnect\tCom/wsa11/Wsa11com"});

    std::strcpy(params.host, "no-such-host.invalid");
    EXPECT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), -2);
    std::vector<std::string> texts = stackTexts(es_);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("\tgetaddrinfo\tCom/wsa11/Wsa11com"), std::string::npos);
}

namespace {
struct NotifyLog {
    HVDB handle = nullptr;
    std::vector<std::string> texts;
    std::int32_t nested = 0;
};
int notifyHandler(void* data, const char* text, std::uint32_t length, char** reply) {
    auto* log = static_cast<NotifyLog*>(data);
    log->texts.emplace_back(text, length);
    if (log->texts.size() == 1) {
        // A request from inside the loop finds the session busy.
        XmlRequest q;
        std::memset(&q, 0, sizeof q);
        log->nested = VdbExport(log->handle, &q);
        return 1;  // no reply: the kit answers CONTINUE
    }
    const char stop[] = "<NOTIFY_RES OP=\"STOP\"/>";
    *reply = static_cast<char*>(plat::heapAlloc(sizeof stop));
    std::memcpy(*reply, stop, sizeof stop);
    return 1;
}
FakeServer::Check longArg(const std::string& want) {
    return [want](CPACKET& a, std::vector<std::string>& f) {
        CLSTRING l;
        a.TakeLongItem(l);
        if (std::string(l.Data() ? l.Data() : "", l.Length()) != want) f.push_back("long item");
    };
}
}  // namespace

TEST_F(KitSession, NotificationsAreAnsweredAndNestedRequestsFindItBusy) {
    CPACKET n1, n2, answer;
    n1.AppendLongItem(CLSTRING("<NOTIFY n=\"1\"/>"));
    n2.AppendLongItem(CLSTRING("<NOTIFY n=\"2\"/>"));
    answer.AppendLongItem(CLSTRING("<answer/>"));
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1);
    srv.expect('T', 4001, longArg("<ask/>")).reply(4001, 0, "", n1, 'N');
    srv.expect('N', 4001, longArg("<NOTIFY_RES OP=\"CONTINUE\"/>")).reply(4001, 0, "", n2, 'N');
    srv.expect('N', 4001, longArg("<NOTIFY_RES OP=\"STOP\"/>")).reply(4001, 1, "", answer);
    srv.expect('T', 111).reply(111, 1).start();

    KitStartupParams params = paramsFor(srv, es_, 5, 0x02000010);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    NotifyLog log;
    log.handle = h;
    EXPECT_EQ(VdbSetNotifyHandler(h, notifyHandler, &log), 1);
    char* doc = nullptr;
    EXPECT_EQ(VdbXmlApi(h, "<ask/>", &doc), 1);
    ASSERT_NE(doc, nullptr);
    EXPECT_STREQ(doc, "<answer/>");
    plat::heapFree(doc);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"<NOTIFY n=\"1\"/>", "<NOTIFY n=\"2\"/>"}));
    EXPECT_EQ(log.nested, 0x0FFFFFFE);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    // The refused nested request is in the kit log.
    ReleaseKitLog();
}

TEST_F(KitSession, AnswerForAnotherRequestBreaksTheSession) {
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expect('T', 1007).reply(1006, 1).start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    std::strcpy(q.command, "execsql");
    EXPECT_EQ(VdbExport(h, &q), -2);
    EXPECT_EQ(VdbExport(h, &q), -2);  // refused at the gate, nothing sent
    EXPECT_EQ(VdbEndVorn(h, 0), 1);   // no end request on a broken session
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    EXPECT_EQ(stackTexts(es_), (std::vector<std::string>{"Communication Error\tExport\tvornvdb/Cvdbkit1",
                                                         "Communication Error\tExport\tvornvdb/Cvdbkit1"}));
    EXPECT_EQ(srv.received().size(), 2u);
}

TEST_F(KitSession, AnswerOfUnknownKindBreaksTheSession) {
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expect('T', 104).reply(104, 1, "", CPACKET(), 'X').start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    char buf[32];
    EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), -2);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), -2);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
}

TEST_F(KitSession, SilentPeerTimesOutWithBothTextsInOrder) {
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expect('T', 1007).silence().start();
    KitStartupParams params = paramsFor(srv, es_, 1);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    char keep[] = "keep";
    q.document = keep;
    q.documentLength = 4;
    EXPECT_EQ(VdbExport(h, &q), -2);
    // Nothing came back: the caller's block stays, nothing new to free.
    EXPECT_EQ(q.document, keep);
    EXPECT_EQ(q.documentLength, 0);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    EXPECT_EQ(stackTexts(es_), (std::vector<std::string>{
                                   "Communication Error\tExport\tvornvdb/Cvdbkit1",
                                   "Unable to read from communication port\tCallAndListen\tvornvdb/Cvdbpriv",
                                   "unable to read from communication port\tSelectNetCon\tCom/wsa11/Wsa11com",
                                   "Connection timed out\tselect\tCom/wsa11/Wsa11com",
                               }));
}

TEST_F(KitSession, HostileFramesFailTheReceive) {
    struct Case {
        std::vector<unsigned char> bytes;
        bool closeAfter;
        const char* text;  // the comms text under its function
    };
    const Case cases[] = {
        // closes mid-frame
        {{20, 0, 0, 0, 'T', 0xEF}, true, "EOF received from host\trecv\tCom/wsa11/Wsa11com"},
        // a length that cannot describe a frame
        {{3, 0, 0, 0}, false, "Invalid Packet\tReceiveFrame\tCom/wsa11/Wsa11com"},
        // far beyond the cap: refused before anything is allocated
        {{0xF0, 0xFF, 0xFF, 0xFF}, false, "Invalid Packet\tReceiveFrame\tCom/wsa11/Wsa11com"},
        {{0x04, 0x00, 0x00, 0x10}, false, "Invalid Packet\tReceiveFrame\tCom/wsa11/Wsa11com"},
    };
    for (const Case& c : cases) {
        FakeServer srv;
        srv.expect('T', 110).reply(110, 1).expect('T', 104).raw(c.bytes);
        if (c.closeAfter) srv.close();
        srv.start();
        KitStartupParams params = paramsFor(srv, es_, 2);
        HVDB h = nullptr;
        ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
        char buf[16];
        EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), -2);
        EXPECT_EQ(VdbEndVorn(h, 0), 1);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
        std::vector<std::string> texts = stackTexts(es_);
        ASSERT_EQ(texts.size(), 3u) << c.text;
        EXPECT_EQ(texts[0], "Communication Error\tMessage\tvornvdb/Cvdbkit2");
        EXPECT_EQ(texts[1], "Unable to read from communication port\tCallAndListen\tvornvdb/Cvdbpriv");
        EXPECT_EQ(texts[2], c.text);
    }
}

TEST_F(KitSession, FrameOfFourBytesFailsAndShortItemsGiveEmptyText) {
    // An answer whose message item claims more bytes than follow: "".
    CPACKET shortText;
    shortText.AppendU16(200).AppendBytes("abc", 3);
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expect('T', 104).reply(104, 1, "", shortText);
    srv.expect('T', 104).raw({4, 0, 0, 0}).start();
    KitStartupParams params = paramsFor(srv, es_, 2);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), -2);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
}

TEST_F(KitSession, PingAndInvalidHandles) {
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1).expectPing().raw({7, 0, 0, 0, 'P', 0, 0});
    srv.expect('T', 111).reply(111, 1).start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    EXPECT_EQ(VdbPing(h), 1);
    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});

    // A stale or made-up handle does nothing and answers 0.
    XmlRequest q;
    std::memset(&q, 0, sizeof q);
    HVDB bogus = reinterpret_cast<HVDB>(&q);
    EXPECT_EQ(VdbExport(bogus, &q), 0);
    EXPECT_EQ(VdbExport(h, &q), 0);
    EXPECT_EQ(VdbEndVorn(bogus, 0), 0);
    EXPECT_EQ(VdbPing(nullptr), 0);
    EXPECT_EQ(VdbStartVorn(nullptr, &params, "a", "b", 0, 0), 0);
}

TEST_F(KitSession, ErrorStackCalls) {
    EXPECT_EQ(VdbErrStackPush(nullptr, "s", "m", "t"), 0);
    EXPECT_EQ(VdbErrStackClear(nullptr), 0);
    char buf[32];
    EXPECT_EQ(VdbErrStackGetAll(es_, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(VdbErrStackPop(es_, buf, sizeof buf), 0);

    VdbErrStackPush(es_, "src", "m1", "first");
    VdbErrStackPush(es_, "", "m2", "second");
    // Pop one into a buffer exactly as long as the entry: no terminator.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(VdbErrStackPop(es_, buf, 11), 11);
    EXPECT_EQ(std::string(buf, 11), "second\tm2\t?");
    EXPECT_EQ(buf[11], 'x');

    VdbErrStackPush(es_, "src", "m3", "third");
    // Get all, newest first; the last byte copied becomes the terminator.
    EXPECT_EQ(VdbErrStackGetAll(es_, buf, sizeof buf), 28);
    EXPECT_STREQ(buf, "third\tm3\tsrc\r\nfirst\tm1\tsrc\r");
    EXPECT_EQ(VdbErrStackGetAll(es_, buf, sizeof buf), 0);

    VdbErrStackPush(es_, "src", "m", "shown");
    EXPECT_EQ(VdbErrStackShowAndClear(es_), 1);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].caption, "Caption");
    EXPECT_EQ(g_boxes[0].text, "shown\none\ntwo\nthree");
    EXPECT_EQ(VdbErrStackGetAll(es_, buf, sizeof buf), 0);

    EXPECT_EQ(VdbErrStackPushSysErr(es_, "src", "CreateFile", 2), 1);
    char big[256];
    EXPECT_GT(VdbErrStackPop(es_, big, sizeof big - 1), 0);
    EXPECT_EQ(std::string(big).rfind("CreateFile failed (2)", 0), 0u);
}

TEST_F(KitSession, BeginAndXmlStarts) {
    auto beginArgs = [](CPACKET& a, std::vector<std::string>& f) {
        std::uint8_t mode = 0;
        a.TakeU8(mode);
        if (mode != 4) f.push_back("begin mode");
        if (takeShort(a) != "2.0-0250") f.push_back("begin starts as the old client");
        if (takeShort(a) != "start-text" || a.Length() != 0) f.push_back("start text");
    };
    {
        // An old server's begin answer: a version mismatch; the session was
        // not broken, so its end request still goes out.
        FakeServer srv;
        srv.expect('T', 101, beginArgs).reply(101, 5, "VORN V1.0 server").expect('T', 102).reply(102, 1).start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = nullptr;
        EXPECT_EQ(VdbBeginVdbs(&h, &params, 4), -4);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
        EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"Client and server versions mismatched (Client/Server) : "
                                                            "2.0-0250/1.0 server\tBeginVdbs\tvornvdb/Cvdbpriv"});
    }
    {
        FakeServer srv;
        srv.expect('T', 101, beginArgs).reply(101, 1).expect('T', 102, endArgs(3)).reply(102, 1).start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = nullptr;
        EXPECT_EQ(VdbBeginVdbs(&h, &params, 4), 1);
        EXPECT_EQ(VdbEndVorn(h, 3), 1);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    }
    {
        // The XML start: no handshake, the start text goes with XmlInit.
        FakeServer srv;
        srv.expect('T', 4002, [](CPACKET& a, std::vector<std::string>& f) {
               if (takeShort(a) != "start-text") f.push_back("init text");
           })
            .reply(4002, 1)
            .expect('T', 102)
            .reply(102, 1)
            .start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = nullptr;
        EXPECT_EQ(VdbXmlStartup(&h, &params), 1);
        EXPECT_EQ(VdbEndVorn(h, 0), 1);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
    }
    {
        FakeServer srv;
        srv.expect('T', 4002).reply(4002, -8).start();
        KitStartupParams params = paramsFor(srv, es_);
        HVDB h = nullptr;
        EXPECT_EQ(VdbXmlStartup(&h, &params), -8);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(srv.finish(), std::vector<std::string>{});
        std::vector<std::string> texts = stackTexts(es_);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), "Can\xB4t read host initialization file\tXmlInit\tvornvdb/Cvdbkit2");
    }
}

TEST_F(KitSession, PostedRequestsGoOutFirstAndEncryptionIsRefused) {
    CPACKET text;
    text.AppendShortItem(CSTRING("five"));
    FakeServer srv;
    srv.expect('T', 110).reply(110, 1);
    srv.expect('T', 231, u32Arg(7)).reply(231, 1, "ignored").expect('T', 104, u32Arg(5)).reply(104, 1, "", text);
    srv.expect('T', 111).reply(111, 1).start();
    KitStartupParams params = paramsFor(srv, es_);
    HVDB h = nullptr;
    ASSERT_EQ(VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0), 1);
    CVDB* vdb = reinterpret_cast<CVDB*>(h);
    CPACKET posted;
    posted.AppendU32(7);
    EXPECT_EQ(vdb->PostRequest('T', 231, posted), 1);
    EXPECT_EQ(srv.received().size(), 1u);  // queued, not sent
    char buf[16];
    EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "five");

    // The TCP module has no cipher.
    EXPECT_EQ(vdb->SslInit(), -18);
    EXPECT_EQ(stackTexts(es_), std::vector<std::string>{"Encryption initialization error\tSslInit\tvornvdb/Cvdbpriv"});

    // The break poll: a requested break stops once.
    EXPECT_EQ(vdb->BreakPoll(1), 1);
    EXPECT_EQ(VdbRequestBreak(h), 1);
    EXPECT_EQ(vdb->BreakPoll(1), 0);
    EXPECT_EQ(vdb->BreakPoll(1), 1);

    EXPECT_EQ(VdbEndVorn(h, 0), 1);
    EXPECT_EQ(srv.finish(), std::vector<std::string>{});
}
