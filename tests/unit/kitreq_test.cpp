// The request family through the kit's C API against the scripted server.
// Each exchange is one call with the outputs the caller must see, the request
// blocks it must send (written out by hand, apart from the kit's packet code)
// and the server's answer to each. A table runs in one session opened with
// the XML start and closed with the end request, unless a call breaks it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fake_server.h"
#include "support/kitreq_bytes.h"
#include "vornvdb/CData.h"
#include "vornvdb/vornkit.h"

using namespace kitreq;

namespace {

constexpr std::uint32_t kProgress = 0x0FFFFFFC;
constexpr std::int32_t kBusy = 0x0FFFFFFE;

struct Exchange {
    std::function<std::string(HVDB)> call;  // makes the call, gives its outputs joined
    std::string outputs;
    std::vector<Bytes> sent = {};     // none when the call must send nothing
    std::vector<Block> answers = {};  // one per block sent
};

class KitReq : public ::testing::Test {
protected:
    void SetUp() override { errs_ = VdbErrStackCreate("Kit", "one", "two", "three"); }
    void TearDown() override { VdbErrStackDestroy(errs_); }

    void Run(const std::vector<Exchange>& table, bool ends = true) {
        std::vector<Bytes> want;
        srv_.expect('T', 4002).raw(Answer(4002, 1).frame());
        for (const Exchange& x : table) {
            ASSERT_EQ(x.sent.size(), x.answers.size());
            for (std::size_t i = 0; i < x.sent.size(); ++i) {
                srv_.expect(x.sent[i][0], std::uint16_t(x.sent[i][1] | x.sent[i][2] << 8)).raw(x.answers[i].frame());
                want.push_back(x.sent[i]);
            }
        }
        if (ends) srv_.expect('T', 102).raw(Answer(102, 1).frame());
        srv_.start();
        KitStartupParams p = vorntest::ParamsFor(srv_, errs_, 10);
        HVDB h = nullptr;
        ASSERT_EQ(VdbXmlStartup(&h, &p), 1);
        for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].call(h), table[i].outputs) << "row " << i;
        EXPECT_EQ(VdbEndVorn(h, 0), 1);
        for (const std::string& f : srv_.finish()) ADD_FAILURE() << "server: " << f;
        std::vector<Bytes> got = srv_.received();
        if (!got.empty()) got.erase(got.begin());  // the start
        if (ends && !got.empty()) got.pop_back();
        EXPECT_EQ(HexBlocks(got), HexBlocks(want));
    }

    // The error stack's texts, newest first; the stack is emptied.
    std::string Errors() {
        const std::string all = vorntest::ErrorTexts(errs_);
        VdbErrStackClear(errs_);
        return all;
    }

    vorntest::FakeServer srv_;
    HERRSTACK errs_ = nullptr;
};

std::string Nth(const char* stem, int i) { return stem + std::to_string(i); }

}  // namespace

// One member of each field shape, and the status policies.
TEST_F(KitReq, FieldShapesAndStatusPolicies) {
    char text[32], t1[8], t2[8], t3[2];
    std::uint32_t n = 0, pos = 0, left = 0, c[4] = {};
    std::uint8_t b[3] = {};
    std::uint16_t got = 0;
    Block xstart = Request(3001).s("me").raw(ScrambledItem("pw"));
    for (std::uint32_t i = 1; i <= 13; ++i) xstart.u32(i);
    const Bytes check = Request(401).s("bob").raw(ScrambledItem("pw")).bytes();
    const std::string broken = "Communication Error\t";
    Run({
        {[&](HVDB h) { return Fields{VdbBaseInfo(h, "base", 7, text, sizeof text, &n), text, n}; }, "1|info|42|",
         {{0x54, 0x10, 0x02, 0x04, 0x00, 'b', 'a', 's', 'e', 0x07, 0x00, 0x00, 0x00}},
         {Answer(528, 1).s("info").u32(42)}},
        // A buffer of one byte holds the terminator only.
        {[&](HVDB h) {
             return Fields{VdbGetDbAccess(h, "db", &b[0], &b[1], t1, sizeof t1, t2, sizeof t2, t3, 1), b[0], b[1], t1,
                           t2, t3};
         },
         "1|3|4|r|w||", {{0x54, 0xFD, 0x01, 0x02, 0x00, 'd', 'b'}}, {Answer(509, 1).u8(3).u8(4).s("r").s("w").s("x")}},
        {[&](HVDB h) { return Fields{VdbPutDbAccess(h, 1, 2, "a", nullptr, "c")}; }, "1|",
         {{0x54, 0xFE, 0x01, 0x01, 0x02, 0x01, 0x00, 'a', 0x00, 0x00, 0x01, 0x00, 'c'}}, {Answer(510, 1)}},
        // Cut to the buffer.
        {[&](HVDB h) { return Fields{VdbGetLine(h, 5, 6, text, 3), text}; }, "1|li|",
         {{0x54, 0xCB, 0x02, 0x05, 0x00, 0x00, 0x00, 0x06, 0x00}}, {Answer(715, 1).s("line")}},
        // Outputs on any status that is not fatal.
        {[&](HVDB h) {
             return Fields{VdbXReadFile(h, 1, 2, 3, text, sizeof text, &got, &pos, &left), text, got, pos, left};
         },
         "6|data|9|10|11|", {{0x54, 0xC0, 0x0B, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00}},
         {Answer(3008, 6, "partial").s("data").u16(9).u32(10).u32(11)}},
        // A scrambled text carries its length and 32 characters at most.
        {[&](HVDB h) { return Fields{VdbChangePassword(h, std::string(40, 'k').c_str(), "new")}; }, "1|",
         {Request(410).raw(ScrambledItem(std::string(40, 'k'))).raw(ScrambledItem("new")).bytes()}, {Answer(410, 1)}},
        // A short item holds 65535 bytes: a longer input is cut, what follows intact.
        {[&](HVDB h) { return Fields{VdbAddMember(h, std::string(70000, 'z').c_str(), "u")}; }, "1|",
         {Request(405).s(std::string(65535, 'z')).s("u").bytes()}, {Answer(405, 1)}},
        // No place given for the third: skipped.
        {[&](HVDB h) { return Fields{VdbCheckCursor(h, 8, &c[0], &c[1], nullptr, &c[3]), c[0], c[1], c[2], c[3]}; },
         "1|1|2|0|4294967295|", {{0x54, 0xD3, 0x02, 0x08, 0x00, 0x00, 0x00}},
         {Answer(723, 1).u32(1).u32(2).u32(3).u32(0xFFFFFFFF)}},
        // The two forms of one member: the second takes the current name.
        {[&](HVDB h) { return Fields{VdbUseSearchForm(h, "form")}; }, "1|",
         {{0x54, 0x6E, 0x02, 0x04, 0x00, 'f', 'o', 'r', 'm'}}, {Answer(622, 1)}},
        {[&](HVDB h) { return Fields{VdbUseSearchForm2(h, text, sizeof text), text}; }, "2|current|",
         {{0x54, 0xBB, 0x0B}}, {Answer(3003, 2).s("current")}},
        // The longest row.
        {[&](HVDB h) {
             return Fields{VdbXStartup(h, "me", "pw", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, &b[0], &b[1], &b[2],
                                       t1, sizeof t1, &n, t2, sizeof t2),
                           b[0], b[1], b[2], t1, n, t2};
         },
         "1|7|8|9|srv|99|ok|", {xstart.bytes()}, {Answer(3001, 1).u8(7).u8(8).u8(9).s("srv").u32(99).s("ok")}},
        // An even status still gives CheckUser's outputs, and no text.
        {[&](HVDB h) {
             return Fields{VdbCheckUser(h, "bob", "pw", t1, sizeof t1, &b[0], &b[1], &b[2]), t1, b[2], Errors()};
         },
         "4|u|3||", {check}, {Answer(401, 4, "no such user").s("u").u8(1).u8(2).u8(3)}},
        {[&](HVDB h) { return Fields{VdbVersion(h, text, sizeof text), text}; }, "1|V2.3|", {Request(803).bytes()},
         {Answer(803, 1).s("V2.3")}},
        {[&](HVDB h) { return Fields{VdbVersion(h, text, sizeof text), Errors()}; },
         "-2|Invalid message block recieved\tVersion\tvornvdb/Cvdbkit2|", {Request(803).bytes()},
         {Answer(803, 1).u8('V')}},  // three bytes short
        {[&](HVDB h) { return Fields{VdbGetItem(h, 1, 2, text, sizeof text), text}; }, "3|item|",
         {Request(714).u32(1).u16(2).bytes()}, {Answer(714, 3).s("item")}},
        // Odd, but not 1 or 3: no output; even: taken all the same.
        {[&](HVDB h) { return Fields{VdbGetItem(h, 1, 2, text, sizeof text), VdbGetHitPart(h, 1, 2, &n), text, n}; },
         "5|8||6|", {Request(714).u32(1).u16(2).bytes(), Request(757).u32(1).u32(2).bytes()},
         {Answer(714, 5).s("nope"), Answer(757, 8).u32(6)}},
        // A fatal status breaks the session: the login texts for -16; then
        // calls are refused unsent, nothing taken, posted ones not even queued.
        {[&](HVDB h) { return Fields{VdbCheckUser(h, "bob", "pw", t1, sizeof t1, &b[0], &b[1], &b[2]), Errors()}; },
         "-16|User already logged in\tCheckUser\tvornvdb/Cvdbkit1|", {check}, {Answer(401, 0xFFFFFFF0)}},
        {[&](HVDB h) {
             return Fields{VdbBaseInfo(h, "b", 1, t1, sizeof t1, &n), VdbXmlInit(h, "host"),
                           VdbCheckPartName(h, 1, 2, "p", &n, t1, sizeof t1), VdbDeleteWindow(h, 5), n, Errors()};
         },
         "-2|-2|-2|-2|6|" + broken + "DeleteWindow\tvornvdb/Cvdbkit1\r\n" + broken +
             "CheckPartName\tvornvdb/Cvdbkit1\r\n" + broken + "XmlInit\tvornvdb/Cvdbkit2\r\n" + broken +
             "BaseInfo\tvornvdb/Cvdbkit1|"},
    }, false);
}

// The definition records (s*7 u8 u8 u8 s*10 u32 s s), the field record
// (s s s u32 u8*7 u32*4 s*4 u32), the separators (u8*4 s*6), and the
// counted lists: the cluster keeps at most 30 items, the profile at most 100
// values, and a count larger than what follows does not run past the answer.
TEST_F(KitReq, RecordsAndBoundedLists) {
    Block def = Answer(501, 1), put = Request(516);
    for (Block* b : {&def, &put}) {
        for (int i = 0; i < 7; ++i) b->s(Nth("a", i));
        b->u8(1).u8(2).u8(3);
        for (int i = 0; i < 10; ++i) b->s(Nth("b", i));
        b->u32(0x01020304).s("c0");
    }
    def.s(std::string(300, 'z'));
    put.s(std::string(VDB_RECORD_TEXT - 1, 'z'));  // the same record back, cut to what the field held
    Block field = Answer(505, 1).s("n0").s("n1").s("n2").u32(5);
    for (int i = 0; i < 7; ++i) field.u8(static_cast<std::uint8_t>(10 + i));
    for (int i = 0; i < 4; ++i) field.u32(static_cast<std::uint32_t>(20 + i));
    for (int i = 0; i < 4; ++i) field.s(Nth("m", i));
    field.u32(6);
    // The answer's results, sent back as they came.
    const Bytes fieldArgs(field.bytes().begin() + 9, field.bytes().end());
    Block profile = Answer(416, 1);
    for (int i = 0; i < 7; ++i) profile.s(Nth("p", i));
    profile.u32(70).u32(71).u8(1).u8(2).u8(3).u32(3).u32(100).u32(200).u32(300);
    Block hostile = Answer(416, 1).s("only");
    for (int i = 1; i < 7; ++i) hostile.s("");
    hostile.u32(0).u32(0).u8(0).u8(0).u8(0).u32(5000).u32(1).u32(2);  // a count far beyond what follows

    VDBDEFREC d;
    std::memset(&d, 'Q', sizeof d);
    VDBFIELDSPEC f{};
    VDBTEXTSEPS t{};
    VDBDBCLUSTER c, out{};
    std::memset(&c, 'Q', sizeof c);
    VDBUSERPROFILE p, in{};
    std::memset(&p, 0x55, sizeof p);
    // Three items counted, two slots given: two items travel.
    out.slots = 2;
    out.count = 3;
    for (int i = 0; i < 3; ++i) std::strcpy(out.item[i], Nth("i", i).c_str());
    std::strcpy(out.text, "t");
    std::strcpy(in.text[0], "who");
    in.number[0] = 1;
    in.number[1] = 2;
    in.flag[0] = 9;
    in.flag[1] = 8;  // not sent
    Run({
        {[&](HVDB h) {
             return Fields{VdbGetBaseDef(h, "base", &d), d.text1[0], d.text1[6], d.flag[0], d.flag[2], d.text2[9],
                           d.number, d.text3[0], d.text3[1] == std::string(VDB_RECORD_TEXT - 1, 'z')};
         },
         "1|a0|a6|1|3|b9|16909060|c0|1|", {Request(501).s("base").bytes()}, {def}},
        {[&](HVDB h) { return Fields{VdbPutThesDef(h, &d)}; }, "1|", {put.bytes()}, {Answer(516, 1)}},
        {[&](HVDB h) {
             return Fields{VdbGetFieldSpec(h, "field", &f), f.text1[2], f.number1, f.flag[6], f.value[3], f.text2[3],
                           f.number2};
         },
         "1|n2|5|16|23|m3|6|", {Request(505).s("field").bytes()}, {field}},
        {[&](HVDB h) { return Fields{VdbPutFieldSpec(h, &f)}; }, "1|", {Request(506).raw(fieldArgs).bytes()},
         {Answer(506, 1)}},
        {[&](HVDB h) { return Fields{VdbGetTextSeparators(h, &t), t.separator[1], t.text[5]}; }, "1|59|6|",
         {Request(523).bytes()},
         {Answer(523, 1).u8(',').u8(';').u8('.').u8(' ').s("1").s("2").s("3").s("4").s("5").s("6")}},
        {[&](HVDB h) {
             return Fields{VdbGetDbCluster(h, "cl", &c), c.count, c.item[0], c.item[1], c.item[2], c.item[29], c.text};
         },
         "1|2|x1|x2|||tail|", {Request(511).s("cl").bytes()}, {Answer(511, 1).u32(2).s("x1").s("x2").s("tail")}},
        {[&](HVDB h) {
             return Fields{VdbGetUserProfile(h, "bob", &p), p.text[6], p.number[1], p.flag[2], p.count, p.value[2],
                           p.value[3]};
         },
         "1|p6|71|3|3|300|0|", {Request(416).s("bob").bytes()}, {profile}},
        // The count is what the record can hold; the missing values are 0.
        {[&](HVDB h) {
             return Fields{VdbGetUserProfile(h, "eve", &p), p.text[0], p.count, p.value[1], p.value[2], p.value[99]};
         },
         "1|only|100|2|0|0|", {Request(416).s("eve").bytes()}, {hostile}},
        {[&](HVDB h) { return Fields{VdbPutDbCluster(h, &out)}; }, "1|",
         {Request(512).u32(2).u32(3).s("i0").s("i1").s("t").bytes()}, {Answer(512, 1)}},
        {[&](HVDB h) { return Fields{VdbPutUserProfile(h, &in)}; }, "1|",
         {Request(417).s("who").s("").s("").s("").s("").s("").s("").u32(1).u32(2).u8(9).bytes()}, {Answer(417, 1)}},
    });
}

// Posted requests go out with the next exchange, their answers read and
// discarded unread (so a fatal one is not fatal); the session's arrays are
// replaced per member and bounded by the answer; in/out texts; the symbol
// cache, which holds 16 characters and no refusal.
TEST_F(KitReq, PostedArraysInOutTextsAndSymbolCache) {
    char name[8], text[16] = "in", list[32], value[64];
    std::uint32_t count = 0, last = 0, size = 500, values[31];
    for (std::uint32_t i = 0; i < 31; ++i) values[i] = i * 3;
    const VDBFIELDINFO* pairs = nullptr;
    const VDBWINDOWHIT* hits = nullptr;
    const Bytes info = Request(226).u32(10).u32(20).bytes(), other = Request(804).s("other").bytes();
    Block form = Request(619).s("in");
    for (std::uint32_t i = 0; i < 31; ++i) form.u32(i * 3);
    form.u32(0xABCD);
    const auto fieldInfo = [&](HVDB h) { return VdbGetFieldInfo(h, 10, 20, name, sizeof name, &count, &pairs, &last); };
    const auto symbol = [&](HVDB h, const char* s) { return Fields{VdbShellSymbol(h, s, value, sizeof value), value}; };
    Run({
        {[&](HVDB h) { return Fields{VdbDeleteWindow(h, 5), VdbDeleteRecordControl(h, 6), srv_.received().size()}; },
         "1|1|1|", {}, {}},
        {[&](HVDB h) { return Fields{VdbBaffitMode(h), Errors()}; }, "1||",
         {{0x54, 0xE7, 0x00, 0x05, 0x00, 0x00, 0x00}, {0x54, 0xBE, 0x02, 0x06, 0x00, 0x00, 0x00}, {0x54, 0x2B, 0x03}},
         {Answer(231, 2, "discarded").u32(1234), Answer(702, 0xFFFFFFF0), Answer(811, 1)}},
        {[&](HVDB h) { return Fields{fieldInfo(h), name, count, pairs[0].first, pairs[1].second, last}; },
         "1|f|2|1|4|77|", {info}, {Answer(226, 1).s("f").u32(2).u32(1).u32(2).u32(3).u32(4).u32(77)}},
        // A count of 0 still gives an array, and the trailing number.
        {[&](HVDB h) { return Fields{fieldInfo(h), name, count, pairs != nullptr, last}; }, "1|g|0|1|88|", {info},
         {Answer(226, 1).s("g").u32(0).u32(88)}},
        // A count beyond the answer gives only the pairs that came.
        {[&](HVDB h) { return Fields{fieldInfo(h), count, pairs[0].second, last}; }, "1|1|6|99|", {info},
         {Answer(226, 1).s("h").u32(1000000).u32(5).u32(6).u32(99)}},
        // The other member's array is left alone.
        {[&](HVDB h) {
             return Fields{VdbGetWindowHits(h, 3, &count, &hits), count, hits[0].value[2], hits[1].value[0],
                           pairs[0].first};
         },
         "1|2|3|4|5|", {Request(222).u32(3).bytes()},
         {Answer(222, 1).u32(2).u32(1).u32(2).u32(3).u32(4).u32(5).u32(6)}},
        {[&](HVDB h) { return Fields{VdbSFormFD(h, text, sizeof text, values, 0xABCD), text}; }, "1|formatted|",
         {form.bytes()}, {Answer(619, 1).s("formatted")}},
        {[&](HVDB h) { return Fields{VdbGetMembers(h, &size, list, sizeof list), list, size}; }, "1|ann,bob|7|",
         {Request(422).u32(500).bytes()}, {Answer(422, 1).s("ann,bob")}},
        {[&](HVDB h) { return symbol(h, "sym"); }, "1|a-value-longer-than-sixteen|", {Request(804).s("sym").bytes()},
         {Answer(804, 1).s("a-value-longer-than-sixteen")}},
        {[&](HVDB h) { return symbol(h, "sym"); }, "1|a-value-longer-t|"},
        {[&](HVDB h) { return symbol(h, "other"); }, "2||", {other}, {Answer(804, 2)}},
        {[&](HVDB h) { return symbol(h, "other"); }, "1|v|", {other}, {Answer(804, 1).s("v")}},
        {[&](HVDB h) { return symbol(h, "other"); }, "1|v|"},
    });
}

// Export and Import take their outputs whatever the status; a fatal answer
// still hands back what it carries. The further text is read as a C string
// and travels with its terminating zero.
TEST_F(KitReq, ExportAndImportOutputs) {
    char body[] = "select 1", extra[] = "tx";
    XmlRequest q{};
    q.head1 = 1;
    q.head2 = 2;
    q.head3 = 3;
    std::strcpy(q.command, "execsql");
    std::strcpy(q.subject, "subj");
    q.rows = 10;
    const auto call = [&](HVDB h, std::int32_t (*member)(HVDB, XmlRequest*)) {
        q.document = body;
        q.documentLength = 8;
        q.text = extra;
        q.textLength = 2;
        q.block = 1;
        const std::int32_t rc = member(h, &q);
        std::string out = Fields{rc, q.head1, q.head2, q.head3, q.block, q.status, q.message};
        if (q.document != body) {
            out += Fields{q.documentLength, std::string(q.document, std::size_t(q.documentLength)), q.text};
            plat::heapFree(q.document);
            plat::heapFree(q.text);
        }
        return out + Errors();
    };
    const Bytes text = {3, 0, 0, 0, 't', 'x', 0};
    const auto sent = [&](std::uint16_t number, std::uint32_t head) {
        return Request(number).u32(head).u32(head + 1).u32(head + 2).s("execsql").s("subj").l("select 1").raw(text)
            .u32(10).u32(0).u32(1).bytes();
    };
    Run({
        {[&](HVDB h) { return call(h, VdbExport); }, "2|11|12|13|21|22|why|6|<doc/>|more|", {sent(1007, 1)},
         {Answer(1007, 2, "header").u32(11).u32(12).u32(13).l("<doc/>").l(std::string("more\0junk", 9)).u32(21).u32(22)
              .s("why")}},
        {[&](HVDB h) { return call(h, VdbImport); }, "4|31|32|33|34|35|imp|", {sent(1006, 11)},
         {Answer(1006, 4).u32(31).u32(32).u32(33).u32(34).u32(35).s("imp")}},
        {[&](HVDB h) { return call(h, VdbImport); },
         "-5|41|42|43|44|45|gone|Communication Error\tImport\tvornvdb/Cvdbkit1",
         {sent(1006, 31)}, {Answer(1006, 0xFFFFFFFB).u32(41).u32(42).u32(43).u32(44).u32(45).s("gone")}},
    }, false);
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

// The progress loop, with a requested break and the break test; the busy
// session sends nothing for the nested requests, and the notification loop
// with its own and the kit's default handler.
TEST_F(KitReq, ProgressAndNotificationLoops) {
    std::uint32_t result = 0;
    char t1[8], t2[8];
    BreakState state;
    state.verdicts = {1, 0};
    std::vector<std::string> seen;
    const Bytes goOn = Request(233).u16(1).bytes(), stop = Request(233).u16(0).bytes();
    const Bytes notifyOn = Block().u8('N').u16(4001).l("<NOTIFY_RES OP=\"CONTINUE\"/>").bytes();
    const auto xmlApi = [&](HVDB h, const char* request) {
        char* answer = nullptr;
        const std::int32_t rc = VdbXmlApi(h, request, &answer);
        const std::string got = Fields{rc, answer ? answer : "<none>"};
        plat::heapFree(answer);
        return got;
    };
    Run({
        {[&](HVDB h) { return Fields{VdbExecuteCcl(h, "find x", &result), result}; }, "1|77|",
         {Request(233).s("find x").bytes(), goOn, goOn},
         {Answer(233, kProgress).u16(5), Answer(233, kProgress).u16(6), Answer(233, 1).u32(77)}},
        // A requested break makes the next progress answer a stop.
        {[&](HVDB h) { return Fields{VdbRequestBreak(h), VdbExecuteCcl(h, "q", &result)}; }, "1|3|",
         {Request(233).s("q").bytes(), stop}, {Answer(233, kProgress).u16(7), Answer(233, 3).u32(0)}},
        // The callback installed with the interval decides from now on.
        {[&](HVDB h) {
             state.h = h;
             return Fields{VdbSetBreakData(h, &state), VdbSetComforterInterval(h, 2, TestBreak)};
         },
         "1|1|", {Request(908).u32(2).bytes()}, {Answer(908, 1)}},
        // Nothing taken from a request never sent; an output text is always copied out.
        {[&](HVDB h) {
             return Fields{VdbCommandBreak(h, "cmd", &result, t1, sizeof t1, t2, sizeof t2), result, t1, t2,
                           state.seen.size(), state.seen[0], state.seen[1], state.partName == kBusy,
                           state.addMember == kBusy, state.number, state.text, Errors()};
         },
         "1|5|t1|t2|2|9|10|1|1|42|||",
         {Request(3011).s("cmd").bytes(), Request(3011).u16(1).bytes(), Request(3011).u16(0).bytes()},
         {Answer(3011, kProgress).u16(9), Answer(3011, kProgress).u16(10), Answer(3011, 1).u32(5).s("t1").s("t2")}},
        {[&](HVDB h) { return Fields{VdbSetNotifyHandler(h, TestNotify, &seen), xmlApi(h, "<req/>"), seen.size(),
                                     seen[0], seen[1]}; },
         "1|1|<answer/>||2|note1|note2|",
         {Request(4001).l("<req/>").bytes(), Block().u8('N').u16(4001).l("<mine/>").bytes(), notifyOn},
         {Answer(4001, 0, "", 'N').l("note1"), Answer(4001, 0, "", 'N').l("note2"), Answer(4001, 1).l("<answer/>")}},
        // Back to the kit's own handler.
        {[&](HVDB h) { return Fields{VdbSetNotifyHandler(h, nullptr, nullptr), xmlApi(h, "<again/>")}; },
         "1|1|<done/>||", {Request(4001).l("<again/>").bytes(), notifyOn},
         {Answer(4001, 0, "", 'N').l("note3"), Answer(4001, 1).l("<done/>")}},
    });
}

// Copy-out into caller buffers and appends of an item to itself, which no
// answer from a server reaches.
TEST(KitItems, CopyOutAndSelfAppend) {
    CSTRING s("hello");
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ((Fields{s.CopyOut(buf, 1), buf, s.CopyOut(buf, 0)}), "0||0|");

    CSTRING copy(s);
    copy.Append(copy);
    EXPECT_EQ(Fields(copy.c_str(), s.c_str()), "hellohello|hello|");

    CLSTRING l("xyz");
    EXPECT_EQ(l.CopyOut(buf, 2), 2u);  // bytes, no terminator
    EXPECT_EQ(std::string(buf, 3), "xyX");
    l.Append(l);
    EXPECT_EQ(std::string(l.Data(), l.Length()), "xyzxyz");
}
