// The request family's members with rules of their own: posted requests,
// session-owned arrays, length checks, Export and Import outputs, the symbol
// cache, the progress and notification loops, and requests refused by a
// busy or broken session.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/kitreq_bytes.h"
#include "support/kitreq_session.h"
#include "vornvdb/vornkit.h"

using namespace kitreq;

namespace {

constexpr std::uint32_t kProgress = 0x0FFFFFFC;
constexpr std::int32_t kBusy = 0x0FFFFFFE;

class KitReqSpecial : public kitreq::KitSession {};

}  // namespace

TEST_F(KitReqSpecial, PostedRequestsGoOutWithTheNextExchange) {
    Step(231, Answer(231, 2, "discarded").u32(1234));
    Step(702, Answer(702, 0xFFFFFFF0));  // not read, so not fatal either
    Step(811, Answer(811, 1));
    Open();

    EXPECT_EQ(VdbDeleteWindow(h_, 5), 1);
    EXPECT_EQ(VdbDeleteRecordControl(h_, 6), 1);
    EXPECT_EQ(srv_.received().size(), 1u);  // only the start so far
    EXPECT_EQ(VdbBaffitMode(h_), 1);        // its own answer, after the two discarded ones
    EXPECT_EQ(Errors(), "");

    EXPECT_TRUE(SameBlocks(Close(), {{0x54, 0xE7, 0x00, 0x05, 0x00, 0x00, 0x00},
                                     {0x54, 0xBE, 0x02, 0x06, 0x00, 0x00, 0x00}, {0x54, 0x2B, 0x03}}));
}

TEST_F(KitReqSpecial, SessionArraysAreReplacedAndBounded) {
    Step(226, Answer(226, 1).s("f").u32(2).u32(1).u32(2).u32(3).u32(4).u32(77));
    Step(226, Answer(226, 1).s("g").u32(0).u32(88));
    Step(226, Answer(226, 1).s("h").u32(1000000).u32(5).u32(6).u32(99));  // the count lies
    Step(222, Answer(222, 1).u32(2).u32(1).u32(2).u32(3).u32(4).u32(5).u32(6));
    Open();

    char name[8];
    std::uint32_t count = 0, last = 0;
    const VDBFIELDINFO* pairs = nullptr;
    EXPECT_EQ(VdbGetFieldInfo(h_, 10, 20, name, sizeof name, &count, &pairs, &last), 1);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(Fields(name, pairs[0].first, pairs[1].second, last), "f|1|4|77|");
    // A count of 0 still gives an array, and the trailing number.
    EXPECT_EQ(VdbGetFieldInfo(h_, 10, 20, name, sizeof name, &count, &pairs, &last), 1);
    EXPECT_EQ(Fields(name, count, pairs != nullptr, last), "g|0|1|88|");
    // A count beyond the answer gives only the pairs that came.
    EXPECT_EQ(VdbGetFieldInfo(h_, 10, 20, name, sizeof name, &count, &pairs, &last), 1);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(Fields(pairs[0].second, last), "6|99|");

    const VDBWINDOWHIT* hits = nullptr;
    EXPECT_EQ(VdbGetWindowHits(h_, 3, &count, &hits), 1);
    ASSERT_EQ(count, 2u);
    // The other member's array is left alone.
    EXPECT_EQ(Fields(hits[0].value[2], hits[1].value[0], pairs[0].first), "3|4|5|");

    const Bytes info = Request(226).u32(10).u32(20).bytes();
    EXPECT_TRUE(SameBlocks(Close(), {info, info, info, Request(222).u32(3).bytes()}));
}

TEST_F(KitReqSpecial, InOutTextsAndLengths) {
    Step(619, Answer(619, 1).s("formatted"));
    Step(422, Answer(422, 1).s("ann,bob"));
    Open();

    char text[16] = "in";
    std::uint32_t values[31];
    for (std::uint32_t i = 0; i < 31; ++i) values[i] = i * 3;
    EXPECT_EQ(VdbSFormFD(h_, text, sizeof text, values, 0xABCD), 1);
    EXPECT_STREQ(text, "formatted");

    std::uint32_t size = 500;
    char list[32];
    EXPECT_EQ(VdbGetMembers(h_, &size, list, sizeof list), 1);
    EXPECT_EQ(Fields(list, size), "ann,bob|7|");

    Block form = Request(619).s("in");
    for (std::uint32_t i = 0; i < 31; ++i) form.u32(i * 3);
    form.u32(0xABCD);
    EXPECT_TRUE(SameBlocks(Close(), {form.bytes(), Request(422).u32(500).bytes()}));
}

TEST_F(KitReqSpecial, ExportAndImportTakeOutputsWhateverTheStatus) {
    Step(1007, Answer(1007, 2, "header").u32(11).u32(12).u32(13).l("<doc/>").l(std::string("more\0junk", 9))
                   .u32(21).u32(22).s("why"));
    Step(1006, Answer(1006, 4).u32(31).u32(32).u32(33).u32(34).u32(35).s("imp"));
    Step(1006, Answer(1006, 0xFFFFFFFB).u32(41).u32(42).u32(43).u32(44).u32(45).s("gone"));  // -5
    Open(false);

    char body[] = "select 1";
    char extra[] = "tx";
    XmlRequest q{};
    q.head1 = 1;
    q.head2 = 2;
    q.head3 = 3;
    std::strcpy(q.command, "execsql");
    std::strcpy(q.subject, "subj");
    q.rows = 10;
    auto setBodies = [&] {
        q.document = body;
        q.documentLength = 8;
        q.text = extra;
        q.textLength = 2;
        q.block = 1;
    };
    setBodies();
    // The further text is read as a C string: up to the first zero.
    EXPECT_EQ(VdbExport(h_, &q), 2);
    ASSERT_EQ(Fields(q.documentLength, q.textLength), "6|4|");
    EXPECT_EQ(Fields(q.head1, q.head3, std::string(q.document, 6), q.text, q.block, q.status, q.message),
              "11|13|<doc/>|more|21|22|why|");
    plat::heapFree(q.document);
    plat::heapFree(q.text);

    setBodies();
    EXPECT_EQ(VdbImport(h_, &q), 4);
    EXPECT_EQ(Fields(q.head1, q.head3, q.block, q.status, q.message), "31|33|34|35|imp|");
    EXPECT_EQ(q.document, body);  // Import brings no body back
    EXPECT_EQ(Errors(), "");
    // A fatal answer still hands back what it carries.
    EXPECT_EQ(VdbImport(h_, &q), -5);
    EXPECT_EQ(Fields(q.head2, q.status, q.message), "42|45|gone|");
    EXPECT_EQ(Errors(), "Communication Error\tImport\tvornvdb/Cvdbkit1");

    // The further text travels with its terminating zero.
    Bytes text = {3, 0, 0, 0, 't', 'x', 0};
    const auto sent = [&](std::uint16_t number, std::uint32_t head, std::uint32_t block) {
        return Request(number).u32(head).u32(head + 1).u32(head + 2).s("execsql").s("subj").l("select 1")
            .raw(text).u32(10).u32(0).u32(block).bytes();
    };
    EXPECT_TRUE(SameBlocks(Close(), {sent(1007, 1, 1), sent(1006, 11, 1), sent(1006, 31, 34)}));
}

TEST_F(KitReqSpecial, SymbolCacheAnswersRepeatsWithoutARequest) {
    Step(804, Answer(804, 1).s("a-value-longer-than-sixteen"));
    Step(804, Answer(804, 2));
    Step(804, Answer(804, 1).s("v"));
    Open();

    char value[64];
    EXPECT_EQ(VdbShellSymbol(h_, "sym", value, sizeof value), 1);
    EXPECT_STREQ(value, "a-value-longer-than-sixteen");
    EXPECT_EQ(VdbShellSymbol(h_, "sym", value, sizeof value), 1);
    EXPECT_STREQ(value, "a-value-longer-t");  // the cache holds 16 characters
    // A refusal is not cached.
    EXPECT_EQ(VdbShellSymbol(h_, "other", value, sizeof value), 2);
    EXPECT_EQ(VdbShellSymbol(h_, "other", value, sizeof value), 1);
    EXPECT_STREQ(value, "v");
    EXPECT_EQ(VdbShellSymbol(h_, "other", value, sizeof value), 1);

    const Bytes other = Request(804).s("other").bytes();
    EXPECT_TRUE(SameBlocks(Close(), {Request(804).s("sym").bytes(), other, other}));
}

namespace {

// The break test installed with the interval: notes the progress values,
// answers with `verdicts` (1 once they run out), and tries two requests,
// which find the session busy.
struct BreakState {
    HVDB h = nullptr;
    std::vector<std::uint16_t> seen;
    std::vector<int> verdicts;
    std::int32_t partName = 0, addMember = 0;
    char text[8] = "keep";
    std::uint32_t number = 42;
};

int TestBreak(std::uint16_t value, void* data) {
    auto* state = static_cast<BreakState*>(data);
    std::size_t i = state->seen.size();
    state->seen.push_back(value);
    state->partName = VdbCheckPartName(state->h, 1, 2, "p", &state->number, state->text, sizeof state->text);
    state->addMember = VdbAddMember(state->h, "g", "u");
    return i < state->verdicts.size() ? state->verdicts[i] : 1;
}

}  // namespace

// The progress loop, with breaks requested and from the break test; the
// sent blocks (nine in all) show that the busy session sent nothing for the
// nested requests.
TEST_F(KitReqSpecial, ProgressLoopAsksTheBreakTestAndTheSessionIsBusy) {
    Step(233, Answer(233, kProgress).u16(5));
    Step(233, Answer(233, kProgress).u16(6));
    Step(233, Answer(233, 1).u32(77));
    Step(233, Answer(233, kProgress).u16(7));
    Step(233, Answer(233, 3).u32(0));
    Step(908, Answer(908, 1));
    Step(3011, Answer(3011, kProgress).u16(9));
    Step(3011, Answer(3011, kProgress).u16(10));
    Step(3011, Answer(3011, 1).u32(5).s("t1").s("t2"));
    Open();

    std::uint32_t result = 0;
    EXPECT_EQ(VdbExecuteCcl(h_, "find x", &result), 1);
    EXPECT_EQ(result, 77u);

    // A requested break makes the next progress answer a stop.
    EXPECT_EQ(VdbRequestBreak(h_), 1);
    EXPECT_EQ(VdbExecuteCcl(h_, "q", &result), 3);

    // The callback installed with the interval decides from now on.
    BreakState state;
    state.h = h_;
    state.verdicts = {1, 0};
    EXPECT_EQ(VdbSetBreakData(h_, &state), 1);
    EXPECT_EQ(VdbSetComforterInterval(h_, 2, TestBreak), 1);
    char t1[8], t2[8];
    EXPECT_EQ(VdbCommandBreak(h_, "cmd", &result, t1, sizeof t1, t2, sizeof t2), 1);
    EXPECT_EQ(Fields(result, t1, t2), "5|t1|t2|");
    EXPECT_EQ(state.seen, (std::vector<std::uint16_t>{9, 10}));
    // Nothing taken from a request never sent; an output text is always copied out.
    EXPECT_EQ(Fields(state.partName == kBusy, state.addMember == kBusy, state.number, state.text), "1|1|42||");
    EXPECT_EQ(Errors(), "");

    const Bytes goOn = Request(233).u16(1).bytes(), stop = Request(233).u16(0).bytes();
    EXPECT_TRUE(SameBlocks(Close(), {Request(233).s("find x").bytes(), goOn, goOn, Request(233).s("q").bytes(), stop,
                                     Request(908).u32(2).bytes(), Request(3011).s("cmd").bytes(),
                                     Request(3011).u16(1).bytes(), Request(3011).u16(0).bytes()}));
}

namespace {

// Replies to the first notification itself and leaves the rest to the kit.
int TestNotify(void* data, const char* text, std::uint32_t length, char** reply) {
    auto* seen = static_cast<std::vector<std::string>*>(data);
    seen->emplace_back(text, length);
    if (seen->size() == 1) {
        *reply = static_cast<char*>(plat::heapAlloc(16));
        std::strcpy(*reply, "<mine/>");
    }
    return 1;
}

}  // namespace

TEST_F(KitReqSpecial, NotificationLoopWithOwnAndDefaultHandler) {
    const std::string kContinue = "<NOTIFY_RES OP=\"CONTINUE\"/>";
    Step(4001, Answer(4001, 0, "", 'N').l("note1"));
    Step('N', 4001, Answer(4001, 0, "", 'N').l("note2"));
    Step('N', 4001, Answer(4001, 1).l("<answer/>"));
    Step(4001, Answer(4001, 0, "", 'N').l("note3"));
    Step('N', 4001, Answer(4001, 1).l("<done/>"));
    Open();

    std::vector<std::string> seen;
    EXPECT_EQ(VdbSetNotifyHandler(h_, TestNotify, &seen), 1);
    const auto xmlApi = [&](const char* request) {
        char* answer = nullptr;
        EXPECT_EQ(VdbXmlApi(h_, request, &answer), 1);
        const std::string got = answer ? answer : "<none>";
        plat::heapFree(answer);
        return got;
    };
    EXPECT_EQ(xmlApi("<req/>"), "<answer/>");
    EXPECT_EQ(seen, (std::vector<std::string>{"note1", "note2"}));
    EXPECT_EQ(VdbSetNotifyHandler(h_, nullptr, nullptr), 1);  // back to the kit's own
    EXPECT_EQ(xmlApi("<again/>"), "<done/>");

    const Bytes goOn = Block().u8('N').u16(4001).l(kContinue).bytes();
    EXPECT_TRUE(SameBlocks(Close(), {Request(4001).l("<req/>").bytes(), Block().u8('N').u16(4001).l("<mine/>").bytes(),
                                     goOn, Request(4001).l("<again/>").bytes(), goOn}));
}

TEST_F(KitReqSpecial, BrokenSessionRefusesWithoutSending) {
    Step(528, Answer(999, 1));  // an answer to another request breaks the session
    Open(false);

    char text[8] = "keep";
    std::uint32_t n = 42;
    EXPECT_EQ(VdbBaseInfo(h_, "b", 1, text, sizeof text, &n), -2);
    EXPECT_EQ(VdbAddMember(h_, "g", "u"), -2);
    EXPECT_EQ(VdbCheckPartName(h_, 1, 2, "p", &n, text, sizeof text), -2);
    EXPECT_EQ(n, 42u);
    EXPECT_EQ(VdbDeleteWindow(h_, 5), -2);  // not even queued
    EXPECT_EQ(Errors(),
              "Communication Error\tDeleteWindow\tvornvdb/Cvdbkit1\r\n"
              "Communication Error\tCheckPartName\tvornvdb/Cvdbkit1\r\n"
              "Communication Error\tAddMember\tvornvdb/Cvdbkit1\r\n"
              "Communication Error\tBaseInfo\tvornvdb/Cvdbkit1");

    EXPECT_TRUE(SameBlocks(Close(), {Request(528).s("b").u32(1).bytes()}));
}

TEST_F(KitReqSpecial, StatusRulesOfSingleMembers) {
    Step(803, Answer(803, 1).s("V2.3"));
    Step(803, Answer(803, 1).u8('V'));  // three bytes short
    Step(714, Answer(714, 3).s("item"));
    Step(714, Answer(714, 5).s("nope"));  // odd, but not 1 or 3
    Step(757, Answer(757, 8).u32(6));     // even: taken all the same
    Step(4002, Answer(4002, 0xFFFFFFF8));
    Open(false);

    char text[16];
    EXPECT_EQ(VdbVersion(h_, text, sizeof text), 1);
    EXPECT_STREQ(text, "V2.3");
    EXPECT_EQ(VdbVersion(h_, text, sizeof text), -2);
    EXPECT_EQ(Errors(), "Invalid message block recieved\tVersion\tvornvdb/Cvdbkit2");
    VdbErrStackClear(errs_);

    std::uint32_t part = 0;
    EXPECT_EQ(VdbGetItem(h_, 1, 2, text, sizeof text), 3);
    EXPECT_STREQ(text, "item");
    EXPECT_EQ(VdbGetItem(h_, 1, 2, text, sizeof text), 5);
    EXPECT_EQ(VdbGetHitPart(h_, 1, 2, &part), 8);
    EXPECT_EQ(Fields(text, part), "|6|");
    EXPECT_EQ(Errors(), "");
    EXPECT_EQ(VdbXmlInit(h_, "host"), -8);
    EXPECT_EQ(Errors(), "Can\xB4t read host initialization file\tXmlInit\tvornvdb/Cvdbkit2");
    Close();
}

TEST(KitReqHandle, InvalidHandleDoesNothing) {
    int notASession = 0;
    HVDB bogus = reinterpret_cast<HVDB>(&notASession);
    char text[8] = "keep";
    std::uint32_t n = 42;
    XmlRequest q{};
    EXPECT_EQ(VdbBaseInfo(bogus, "b", 1, text, sizeof text, &n), 0);
    EXPECT_EQ(VdbBaseInfo(nullptr, "b", 1, text, sizeof text, &n), 0);
    EXPECT_EQ(VdbShellSymbol(bogus, "s", text, sizeof text), 0);
    EXPECT_EQ(VdbXmlApi(bogus, "<r/>", nullptr), 0);
    EXPECT_EQ(VdbExport(bogus, &q), 0);
    EXPECT_EQ(VdbEndVorn(bogus, 0), 0);
    EXPECT_EQ(VdbPing(nullptr), 0);
    EXPECT_EQ(Fields(text, n), "keep|42|");
    KitStartupParams params{};
    EXPECT_EQ(VdbStartVorn(nullptr, &params, "a", "b", 0, 0), 0);
}
