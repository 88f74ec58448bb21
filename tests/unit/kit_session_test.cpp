// The kit through its C API against the scripted fake server: the start
// handshakes and their corners, time-outs, hostile frames, and the error
// stack's texts.
#include "support/fake_server.h"
#include "support/kitreq_bytes.h"
#include "support/message_boxes.h"

#include "log/VCLogger.h"
#include "platform/msgbox.h"
#include "platform/platform.h"
#include "vornvdb/Cvdb.h"
#include "vornvdb/vornkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace kitreq;
using namespace vorntest;
using Texts = std::vector<std::string>;

namespace {

class KitSession : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseKitLog();
        fds_ = vorntest::OpenDescriptorCount();
        es_ = VdbErrStackCreate("Caption", "one", "two", "three");
    }
    void TearDown() override {
        VdbErrStackDestroy(es_);
        ReleaseKitLog();
        SetKitTraceFlags(0);
        // No socket or file left behind by the kit.
        EXPECT_EQ(vorntest::OpenDescriptorCount(), fds_);
    }
    // Runs srv's script and starts a session as "alice" against it.
    std::int32_t start(FakeServer& srv, HVDB& h, std::uint32_t timeout = 5) {
        srv.start();
        KitStartupParams params = vorntest::ParamsFor(srv, es_, timeout);
        return VdbStartVorn(&h, &params, "alice", "s3cret", 42, 0);
    }
    // Ends the session and checks that the script ran through.
    void end(FakeServer& srv, HVDB h) {
        EXPECT_EQ(VdbEndVorn(h, 0), 1);
        EXPECT_EQ(srv.finish(), Texts{});
    }
    int fds_ = 0;
    HERRSTACK es_ = nullptr;
    vorntest::RecordedMessageBoxes shown_;
};

}  // namespace

// Status 3 keeps the session and shows the server's text in a box, asked
// for with the status. (A refused start: tests/unit/connect_test.cpp.) A
// requested break stops the poll once; the TCP module has no cipher.
TEST_F(KitSession, StartStatusesWithServerTextsBreakPollAndEncryption) {
    FakeServer srv;
    srv.expect('T', 110).reply(110, 3).expect('T', 104).raw(Answer(104, 1).s("Expires soon").frame());
    srv.expect('T', 111).reply(111, 1);
    HVDB h = nullptr;
    EXPECT_EQ(start(srv, h), 3);
    EXPECT_EQ(ErrorTexts(es_), "");
    CVDB* vdb = reinterpret_cast<CVDB*>(h);
    EXPECT_EQ((Fields{vdb->BreakPoll(1), VdbRequestBreak(h), vdb->BreakPoll(1), vdb->BreakPoll(1), vdb->SslInit(),
                      ErrorTexts(es_)}),
              "1|1|0|1|-18|Encryption initialization error\tSslInit\tvornvdb/Cvdbpriv|");
    end(srv, h);
    ASSERT_EQ(srv.received().size(), 3u);
    EXPECT_EQ(Hex(srv.received()[1]), Hex(Request(104).u32(3).bytes()));
    ASSERT_EQ(shown_.boxes().size(), 1u);
    const vorntest::MessageBoxShown& box = shown_.boxes()[0];
    EXPECT_EQ(Fields(box.caption, box.text, box.style == (plat::kMsgBoxTaskModal | plat::kMsgBoxIconStop)),
              "VORN Information|Expires soon|1|");

    // Without a session, 26114 still has its text.
    char buf[64], cut[4];
    EXPECT_EQ((Fields{VdbMessage(nullptr, 26114, buf, sizeof buf), buf, VdbMessage(nullptr, 26114, cut, 4), cut}),
              "0|Too many sessions, try again later.|0|Too|");
}

// A silent peer, and one that sends a whole answer a byte every 300 ms: the
// receive limit of 1 s bounds the answer, not each wait for a byte.
TEST_F(KitSession, SilentOrDribblingPeerTimesOutWithAllTextsInOrder) {
    for (bool dribble : {false, true}) {
        SCOPED_TRACE(dribble ? "dribbling" : "silent");
        FakeServer srv;
        srv.expect('T', 110).reply(110, 1).expect('T', 1007);
        if (dribble)
            srv.drip({13, 0, 0, 0, 'T', 0xEF, 3, 1, 0, 0, 0, 0, 0}, 300);
        else
            srv.silence();
        HVDB h = nullptr;
        ASSERT_EQ(start(srv, h, 1), 1);
        XmlRequest q{};
        char keep[] = "keep";
        q.document = keep;
        q.documentLength = 4;
        EXPECT_EQ(VdbExport(h, &q), -2);
        // Nothing came back: the caller's block stays, nothing new to free.
        EXPECT_EQ(Fields(q.document == keep, q.documentLength), "1|0|");
        end(srv, h);
        EXPECT_EQ(ErrorTexts(es_), "Communication Error\tExport\tvornvdb/Cvdbkit1\r\n"
                                   "Unable to read from communication port\tCallAndListen\tvornvdb/Cvdbpriv\r\n"
                                   "unable to read from communication port\tSelectNetCon\tCom/wsa11/Wsa11com\r\n"
                                   "Connection timed out\tselect\tCom/wsa11/Wsa11com");
        VdbErrStackClear(es_);
    }
}

// Each answer breaks the session: the call fails, the next is refused
// unsent, and the end sends no end request.
TEST_F(KitSession, HostileAnswersBreakTheSession) {
    const std::string comms = "\tCom/wsa11/Wsa11com", invalid = "Invalid Packet\tReceiveFrame" + comms;
    // The bytes, whether the peer then hangs up, and the lowest text on the stack.
    const std::tuple<Bytes, bool, std::string> cases[] = {
        {{20, 0, 0, 0, 'T', 0xEF}, true, "EOF received from host\trecv" + comms},
        // lengths that cannot describe a frame
        {{3, 0, 0, 0}, false, invalid},
        {{4, 0, 0, 0}, false, ""},
        // far beyond the cap: refused before anything is allocated
        {{0xF0, 0xFF, 0xFF, 0xFF}, false, invalid},
        {{0x04, 0x00, 0x00, 0x10}, false, invalid},
        // an answer of unknown kind, and a notification, which only the XML
        // request may receive
        {{13, 0, 0, 0, 'X', 104, 0, 1, 0, 0, 0, 0, 0}, false, ""},
        {{13, 0, 0, 0, 'N', 104, 0, 1, 0, 0, 0, 0, 0}, false, ""},
    };
    for (const auto& [bytes, hangUp, text] : cases) {
        FakeServer srv;
        srv.expect('T', 110).reply(110, 1).expect('T', 104).raw(bytes);
        if (hangUp) srv.close();
        HVDB h = nullptr;
        ASSERT_EQ(start(srv, h, 2), 1);
        char buf[16];
        EXPECT_EQ((Fields{VdbMessage(h, 5, buf, sizeof buf), buf}), "-2||");
        EXPECT_EQ(VdbMessage(h, 5, buf, sizeof buf), -2);
        end(srv, h);
        EXPECT_EQ(srv.received().size(), 2u);
        std::string texts = ErrorTexts(es_);
        EXPECT_EQ(texts.rfind("Communication Error\tMessage\tvornvdb/Cvdbkit2\r\n", 0), 0u) << texts;
        EXPECT_EQ(texts.substr(texts.size() - text.size()), text);
    }
}

TEST_F(KitSession, ErrorStackCalls) {
    char buf[32], big[256];
    EXPECT_EQ((Fields{VdbErrStackPush(nullptr, "s", "m", "t"), VdbErrStackPop(es_, buf, sizeof buf)}), "0|0|");
    VdbErrStackPush(es_, "src", "m1", "first");
    VdbErrStackPush(es_, "", "m2", "second");  // a caller's empty source stays empty
    // Pop one into a buffer exactly as long as the entry: no terminator.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(VdbErrStackPop(es_, buf, 10), 10);
    EXPECT_EQ(std::string(buf, 11), "second\tm2\tx");

    VdbErrStackPush(es_, "src", "m3", "third");
    // Get all, newest first; the last byte copied becomes the terminator.
    EXPECT_EQ((Fields{VdbErrStackGetAll(es_, buf, sizeof buf), buf}), "28|third\tm3\tsrc\r\nfirst\tm1\tsrc\r|");
    EXPECT_EQ(VdbErrStackGetAll(es_, buf, sizeof buf), 0);

    VdbErrStackPush(es_, "src", "m", "shown");
    EXPECT_EQ((Fields{VdbErrStackShowAndClear(es_), VdbErrStackGetAll(es_, buf, sizeof buf)}), "1|0|");
    ASSERT_EQ(shown_.boxes().size(), 1u);
    EXPECT_EQ(Fields(shown_.boxes()[0].caption, shown_.boxes()[0].text), "Caption|shown\none\ntwo\nthree|");

    EXPECT_EQ(VdbErrStackPushSysErr(es_, "src", "CreateFile", 2), 1);
    EXPECT_GT(VdbErrStackPop(es_, big, sizeof big - 1), 0);
    EXPECT_EQ(std::string(big).rfind("CreateFile failed (2)", 0), 0u);
}

// An old server's begin answer is a version mismatch; the session was not
// broken, so its end request still goes out. Begin always speaks as the old
// client. The XML start sends the start text with XmlInit; a refusal leaves
// no session.
TEST_F(KitSession, BeginAndXmlStarts) {
    FakeServer begin, xml;
    begin.expect('T', 101).reply(101, 5, "VORN V1.0 server").expect('T', 102).reply(102, 1).start();
    xml.expect('T', 4002).reply(4002, -8).start();
    KitStartupParams params = vorntest::ParamsFor(begin, es_), xmlParams = vorntest::ParamsFor(xml, es_);
    HVDB h = nullptr, hx = nullptr;
    EXPECT_EQ((Fields{VdbBeginVdbs(&h, &params, 4), h == nullptr, ErrorTexts(es_)}),
              "-4|1|Client and server versions mismatched (Client/Server) : "
              "2.0-0250/1.0 server\tBeginVdbs\tvornvdb/Cvdbpriv|");
    VdbErrStackClear(es_);
    EXPECT_EQ(Fields(VdbXmlStartup(&hx, &xmlParams), hx == nullptr), "-8|1|");
    const std::string texts = ErrorTexts(es_);
    EXPECT_EQ(texts.substr(texts.rfind('\n') + 1), "Can\xB4t read host initialization file\tXmlInit\tvornvdb/Cvdbkit2");
    EXPECT_EQ(begin.finish(), Texts{});
    EXPECT_EQ(xml.finish(), Texts{});
    ASSERT_EQ(begin.received().size(), 2u);
    EXPECT_EQ(Hex(begin.received()[0]), Hex(Request(101).u8(4).s("2.0-0250").s("start-text").bytes()));
    EXPECT_EQ(kitreq::HexBlocks(xml.received()), kitreq::HexBlocks({Request(4002).s("start-text").bytes()}));
}
