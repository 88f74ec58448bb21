// The request family on the wire: for one member of each field shape, the
// request bytes are written out here by hand and a hand-built answer is fed
// back through the scripted server; every output is checked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/kitreq_bytes.h"
#include "support/kitreq_session.h"
#include "vornvdb/vornkit.h"

using namespace kitreq;

namespace {

std::string Nth(const char* stem, int i) { return stem + std::to_string(i); }

class KitReqWire : public kitreq::KitSession {};

}  // namespace

TEST_F(KitReqWire, IntegersTextsAndScrambledTexts) {
    Step(528, Answer(528, 1).s("info").u32(42));                           // BaseInfo: s u32 | s u32
    Step(509, Answer(509, 1).u8(3).u8(4).s("r").s("w").s("x"));             // GetDbAccess: s | u8 u8 s s s
    Step(510, Answer(510, 1));                                              // PutDbAccess: u8 u8 s s s | -
    Step(715, Answer(715, 1).s("line"));                                    // GetLine: u32 u16 | s
    Step(3008, Answer(3008, 6, "partial").s("data").u16(9).u32(10).u32(11)); // XReadFile: u16 u16 u32 | s u16 u32 u32
    Step(410, Answer(410, 1));                                              // ChangePassword: x x | -
    Step(811, Answer(811, 1));                                              // BaffitMode: - | -
    Step(723, Answer(723, 1).u32(1).u32(2).u32(3).u32(0xFFFFFFFF));         // CheckCursor: u32 | u32*4
    Open();

    char text[32], t1[8], t2[8], t3[2];
    std::uint32_t n = 0, pos = 0, left = 0, c[4] = {};
    std::uint8_t r1 = 0, r2 = 0;
    std::uint16_t got = 0;
    EXPECT_EQ(VdbBaseInfo(h_, "base", 7, text, sizeof text, &n), 1);
    EXPECT_EQ(Fields(text, n), "info|42|");
    // A buffer of one byte holds the terminator only.
    EXPECT_EQ(VdbGetDbAccess(h_, "db", &r1, &r2, t1, sizeof t1, t2, sizeof t2, t3, 1), 1);
    EXPECT_EQ(Fields(r1, r2, t1, t2, t3), "3|4|r|w||");
    EXPECT_EQ(VdbPutDbAccess(h_, 1, 2, "a", nullptr, "c"), 1);
    EXPECT_EQ(VdbGetLine(h_, 5, 6, text, 3), 1);
    EXPECT_STREQ(text, "li");  // cut to the buffer
    // XReadFile takes its outputs on any status that is not fatal.
    EXPECT_EQ(VdbXReadFile(h_, 1, 2, 3, text, sizeof text, &got, &pos, &left), 6);
    EXPECT_EQ(Fields(text, got, pos, left), "data|9|10|11|");
    EXPECT_EQ(VdbChangePassword(h_, "old", "new"), 1);
    EXPECT_EQ(VdbBaffitMode(h_), 1);
    EXPECT_EQ(VdbCheckCursor(h_, 8, &c[0], &c[1], nullptr, &c[3]), 1);
    EXPECT_EQ(Fields(c[0], c[1], c[2], c[3]), "1|2|0|4294967295|");  // no place given: skipped

    EXPECT_TRUE(SameBlocks(Close(), {
        {0x54, 0x10, 0x02, 0x04, 0x00, 'b', 'a', 's', 'e', 0x07, 0x00, 0x00, 0x00},
        {0x54, 0xFD, 0x01, 0x02, 0x00, 'd', 'b'},
        {0x54, 0xFE, 0x01, 0x01, 0x02, 0x01, 0x00, 'a', 0x00, 0x00, 0x01, 0x00, 'c'},
        {0x54, 0xCB, 0x02, 0x05, 0x00, 0x00, 0x00, 0x06, 0x00},
        {0x54, 0xC0, 0x0B, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00},
        Request(410).raw(ScrambledItem("old")).raw(ScrambledItem("new")).bytes(),
        {0x54, 0x2B, 0x03},
        {0x54, 0xD3, 0x02, 0x08, 0x00, 0x00, 0x00},
    }));
}

// The longest row: s x u32*13 | u8 u8 u8 s u32 s, and CheckUser's texts.
TEST_F(KitReqWire, ExtendedStartAndUserCheck) {
    Step(3001, Answer(3001, 1).u8(7).u8(8).u8(9).s("srv").u32(99).s("ok"));
    Step(401, Answer(401, 4, "no such user").s("u").u8(1).u8(2).u8(3));
    Step(401, Answer(401, 0xFFFFFFF0));  // -16
    Open(false);

    std::uint8_t b[3] = {};
    char s1[8], s2[8];
    std::uint32_t n = 0;
    EXPECT_EQ(VdbXStartup(h_, "me", "pw", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, &b[0], &b[1], &b[2], s1, sizeof s1,
                          &n, s2, sizeof s2),
              1);
    EXPECT_EQ(Fields(b[0], b[1], b[2], s1, n, s2), "7|8|9|srv|99|ok|");

    // An even status still gives CheckUser's outputs, and no text.
    char name[8];
    EXPECT_EQ(VdbCheckUser(h_, "bob", "pw", name, sizeof name, &b[0], &b[1], &b[2]), 4);
    EXPECT_EQ(Fields(name, b[2]), "u|3|");
    EXPECT_EQ(Errors(), "");
    // -16 has its own text.
    EXPECT_EQ(VdbCheckUser(h_, "bob", "pw", name, sizeof name, &b[0], &b[1], &b[2]), -16);
    EXPECT_EQ(Errors(), "User already logged in\tCheckUser\tvornvdb/Cvdbkit1");

    Block want = Request(3001).s("me").raw(ScrambledItem("pw"));
    for (std::uint32_t i = 1; i <= 13; ++i) want.u32(i);
    const Bytes check = Request(401).s("bob").raw(ScrambledItem("pw")).bytes();
    EXPECT_TRUE(SameBlocks(Close(), {want.bytes(), check, check}));  // -16 broke the session: no end request
}

// The definition records (s*7 u8 u8 u8 s*10 u32 s s), the field
// record (s s s u32 u8*7 u32*4 s*4 u32) and the separators (u8*4 s*6).
TEST_F(KitReqWire, Records) {
    Block def = Answer(501, 1);
    for (int i = 0; i < 7; ++i) def.s(Nth("a", i));
    def.u8(1).u8(2).u8(3);
    for (int i = 0; i < 10; ++i) def.s(Nth("b", i));
    def.u32(0x01020304).s("c0").s(std::string(300, 'z'));
    Step(501, def);
    Step(516, Answer(516, 1));

    Block field = Answer(505, 1).s("n0").s("n1").s("n2").u32(5);
    for (int i = 0; i < 7; ++i) field.u8(static_cast<std::uint8_t>(10 + i));
    for (int i = 0; i < 4; ++i) field.u32(static_cast<std::uint32_t>(20 + i));
    for (int i = 0; i < 4; ++i) field.s(Nth("m", i));
    field.u32(6);
    Step(505, field);
    Step(506, Answer(506, 1));
    Step(523, Answer(523, 1).u8(',').u8(';').u8('.').u8(' ').s("1").s("2").s("3").s("4").s("5").s("6"));
    Open();

    VDBDEFREC d;
    std::memset(&d, 'Q', sizeof d);
    EXPECT_EQ(VdbGetBaseDef(h_, "base", &d), 1);
    EXPECT_EQ(Fields(d.text1[0], d.text1[6], d.flag[0], d.flag[2], d.text2[9], d.number, d.text3[0]),
              "a0|a6|1|3|b9|16909060|c0|");
    EXPECT_EQ(std::string(d.text3[1]), std::string(VDB_RECORD_TEXT - 1, 'z'));  // cut to the field

    // The same record goes back out, the long text cut to what the field held.
    EXPECT_EQ(VdbPutThesDef(h_, &d), 1);

    VDBFIELDSPEC f{};
    EXPECT_EQ(VdbGetFieldSpec(h_, "field", &f), 1);
    EXPECT_EQ(Fields(f.text1[2], f.number1, f.flag[6], f.value[3], f.text2[3], f.number2), "n2|5|16|23|m3|6|");
    EXPECT_EQ(VdbPutFieldSpec(h_, &f), 1);

    VDBTEXTSEPS t{};
    EXPECT_EQ(VdbGetTextSeparators(h_, &t), 1);
    EXPECT_EQ(Fields(t.separator[1], t.text[5]), "59|6|");

    Block put = Request(516);
    for (int i = 0; i < 7; ++i) put.s(Nth("a", i));
    put.u8(1).u8(2).u8(3);
    for (int i = 0; i < 10; ++i) put.s(Nth("b", i));
    put.u32(0x01020304).s("c0").s(std::string(VDB_RECORD_TEXT - 1, 'z'));
    Bytes fieldArgs(field.bytes().begin() + 9, field.bytes().end());  // the answer's results, sent back as they came
    EXPECT_TRUE(SameBlocks(Close(), {Request(501).s("base").bytes(), put.bytes(), Request(505).s("field").bytes(),
                                     Request(506).raw(fieldArgs).bytes(), Request(523).bytes()}));
}

// Counted lists: the cluster keeps at most 30 items, the profile at most 100
// values; a count larger than what follows does not run past the answer.
TEST_F(KitReqWire, BoundedLists) {
    Step(511, Answer(511, 1).u32(2).s("x1").s("x2").s("tail"));
    Block profile = Answer(416, 1);
    for (int i = 0; i < 7; ++i) profile.s(Nth("p", i));
    profile.u32(70).u32(71).u8(1).u8(2).u8(3).u32(3).u32(100).u32(200).u32(300);
    Step(416, profile);
    Block hostile = Answer(416, 1).s("only");
    for (int i = 1; i < 7; ++i) hostile.s("");
    hostile.u32(0).u32(0).u8(0).u8(0).u8(0).u32(5000).u32(1).u32(2);  // a count far beyond what follows
    Step(416, hostile);
    Step(512, Answer(512, 1));
    Step(417, Answer(417, 1));
    Open();

    VDBDBCLUSTER c;
    std::memset(&c, 'Q', sizeof c);
    EXPECT_EQ(VdbGetDbCluster(h_, "cl", &c), 1);
    EXPECT_EQ(Fields(c.count, c.item[0], c.item[1], c.item[2], c.item[29], c.text), "2|x1|x2|||tail|");

    VDBUSERPROFILE p;
    std::memset(&p, 0x55, sizeof p);
    EXPECT_EQ(VdbGetUserProfile(h_, "bob", &p), 1);
    EXPECT_EQ(Fields(p.text[6], p.number[1], p.flag[2], p.count, p.value[2], p.value[3]), "p6|71|3|3|300|0|");
    // The count is what the record can hold; the missing values are 0.
    EXPECT_EQ(VdbGetUserProfile(h_, "eve", &p), 1);
    EXPECT_EQ(Fields(p.text[0], p.count, p.value[1], p.value[2], p.value[99]), "only|100|2|0|0|");

    // Three items counted, two slots given: two items travel.
    VDBDBCLUSTER out{};
    out.slots = 2;
    out.count = 3;
    std::strcpy(out.item[0], "i0");
    std::strcpy(out.item[1], "i1");
    std::strcpy(out.item[2], "i2");
    std::strcpy(out.text, "t");
    EXPECT_EQ(VdbPutDbCluster(h_, &out), 1);

    VDBUSERPROFILE in{};
    std::strcpy(in.text[0], "who");
    in.number[0] = 1;
    in.number[1] = 2;
    in.flag[0] = 9;
    in.flag[1] = 8;  // not sent
    EXPECT_EQ(VdbPutUserProfile(h_, &in), 1);

    EXPECT_TRUE(SameBlocks(Close(), {Request(511).s("cl").bytes(), Request(416).s("bob").bytes(),
                                     Request(416).s("eve").bytes(),
                                     Request(512).u32(2).u32(3).s("i0").s("i1").s("t").bytes(),
                                     Request(417).s("who").s("").s("").s("").s("").s("").s("").u32(1).u32(2).u8(9).bytes()}));
}

// One member name, two requests: the first form sends the form's name, the
// second (its own wrapper) takes the current one, on any status not fatal.
TEST_F(KitReqWire, TwoFormsOfUseSearchForm) {
    Step(622, Answer(622, 1));
    Step(3003, Answer(3003, 2).s("current"));
    Open();

    EXPECT_EQ(VdbUseSearchForm(h_, "form"), 1);
    char name[16];
    EXPECT_EQ(VdbUseSearchForm2(h_, name, sizeof name), 2);
    EXPECT_STREQ(name, "current");

    EXPECT_TRUE(SameBlocks(Close(), {{0x54, 0x6E, 0x02, 0x04, 0x00, 'f', 'o', 'r', 'm'}, {0x54, 0xBB, 0x0B}}));
}
