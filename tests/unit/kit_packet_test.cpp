// Data items and the packet: the bytes they put on the wire and what they
// give back when an answer is short or malformed.
#include "vornvdb/CData.h"
#include "vornvdb/ScrambleKey.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> bytesOf(const CDATA& d) {
    auto* p = reinterpret_cast<const unsigned char*>(d.Data());
    return std::vector<unsigned char>(p, p + d.Length());
}

}  // namespace

TEST(KitPacket, EncodesIntegersAndItemsLittleEndian) {
    CPACKET p;
    CSTRING ab("ab");
    p.AppendU8(0x54).AppendU16(0x03EF).AppendU32(0x01020304).AppendShortItem(ab).AppendLongItem(CLSTRING(ab));
    p.AppendShortItem(CSTRING("")).AppendLongItem(CLSTRING());
    std::vector<unsigned char> want = {0x54, 0xEF, 0x03, 0x04, 0x03, 0x02, 0x01, 0x02, 0x00, 'a', 'b',
                                       // a long string made from a string keeps the terminator
                                       0x03, 0x00, 0x00, 0x00, 'a', 'b', 0x00,
                                       // empty items: length fields only
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytesOf(p), want);

    std::uint8_t k;
    std::uint16_t n;
    std::uint32_t v;
    CSTRING s;
    CLSTRING l;
    p.TakeU8(k).TakeU16(n).TakeU32(v).TakeShortItem(s).TakeLongItem(l);
    EXPECT_EQ(k, 0x54);
    EXPECT_EQ(n, 0x03EF);
    EXPECT_EQ(v, 0x01020304u);
    EXPECT_STREQ(s.c_str(), "ab");
    ASSERT_EQ(l.Length(), 3u);
    EXPECT_EQ(std::memcmp(l.Data(), "ab\0", 3), 0);
    EXPECT_EQ(p.Length(), 6u);
}

TEST(KitPacket, ShortAnswersYieldZeroAndEmptyText) {
    // One byte left: a u16 take yields 0 and leaves it.
    CPACKET one("\x07", 1);
    std::uint16_t n = 99;
    one.TakeU16(n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(one.Length(), 1u);
    std::uint32_t v = 99;
    one.TakeU32(v);
    EXPECT_EQ(v, 0u);

    // A short item whose length runs past the packet: "" and only the length
    // field consumed, so the next take reads right behind it.
    CPACKET p;
    p.AppendU16(50).AppendU32(0xAABBCCDD);
    CSTRING s("old");
    p.TakeShortItem(s);
    EXPECT_STREQ(s.c_str(), "");
    p.TakeU32(v);
    EXPECT_EQ(v, 0xAABBCCDDu);

    CPACKET q;
    q.AppendU32(0xFFFFFFF0u).AppendU8('x');
    CLSTRING l("old");
    q.TakeLongItem(l);
    EXPECT_EQ(l.Length(), 0u);
    EXPECT_EQ(q.Length(), 1u);

    // Taking from an empty packet.
    CPACKET empty;
    std::uint8_t b = 7;
    empty.TakeU8(b).TakeShortItem(s);
    EXPECT_EQ(b, 0);
    EXPECT_STREQ(s.c_str(), "");
}

TEST(KitPacket, ShortItemOverLimitIsCutConsistently) {
    CPACKET p;
    p.AppendShortItem(CSTRING(std::string(70000, 'z').c_str())).AppendU8(0x42);
    EXPECT_EQ(p.Length(), 2u + 65535u + 1u);
    CSTRING s;
    std::uint8_t tail = 0;
    p.TakeShortItem(s).TakeU8(tail);
    EXPECT_EQ(s.Length(), 65535u);
    EXPECT_EQ(tail, 0x42);
}

// Copy-out into caller buffers (the C API's output texts) and appends of an
// item to itself.
TEST(KitItems, CopyOutAndSelfAppend) {
    CSTRING s("hello");
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(s.CopyOut(buf, 1), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(s.CopyOut(buf, 5), 4u);  // exact length: last character lost
    EXPECT_STREQ(buf, "hell");
    EXPECT_EQ(s.CopyOut(buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(s.CopyOut(buf, 0), 0u);

    CSTRING copy(s);
    copy.Append(copy);
    EXPECT_STREQ(copy.c_str(), "hellohello");
    EXPECT_STREQ(s.c_str(), "hello");

    CLSTRING l("xyz");
    EXPECT_EQ(l.CopyOut(buf, 2), 2u);  // bytes, no terminator
    EXPECT_EQ(std::memcmp(buf, "xy", 2), 0);
    l.Append(l);
    EXPECT_EQ(std::string(l.Data(), l.Length()), "xyzxyz");
}

TEST(KitWire, HeadersAndFrames) {
    CPACKET p;
    p.AppendU32(7);
    EXPECT_EQ(vornwire::AddHeader(p, 'T', 1007), 1);
    EXPECT_EQ(bytesOf(p), (std::vector<unsigned char>{'T', 0xEF, 0x03, 7, 0, 0, 0}));
    CPACKET q;
    EXPECT_EQ(vornwire::AddHeader(q, 'X', 1), -2);
    EXPECT_EQ(bytesOf(q), (std::vector<unsigned char>{'X'}));

    unsigned char h[4];
    vornwire::EncodeFrameHeader(1, h);
    EXPECT_EQ(std::vector<unsigned char>(h, h + 4), (std::vector<unsigned char>{5, 0, 0, 0}));
    std::uint32_t body = 99;
    EXPECT_TRUE(vornwire::DecodeFrameHeader(h, body));
    EXPECT_EQ(body, 1u);
    const unsigned char three[4] = {3, 0, 0, 0};
    EXPECT_FALSE(vornwire::DecodeFrameHeader(three, body));
    const unsigned char huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_FALSE(vornwire::DecodeFrameHeader(huge, body));
    const unsigned char four[4] = {4, 0, 0, 0};
    EXPECT_TRUE(vornwire::DecodeFrameHeader(four, body));
    EXPECT_EQ(body, 0u);
}

TEST(KitWire, ScrambleCutsAndTruncatedScrambles) {
    unsigned char out[33];
    vornwire::ScrambleBytes(std::string(40, 'k').c_str(), out);
    EXPECT_EQ(vornwire::UnscrambleBytes(out, 33), std::string(32, 'k'));
    // A truncated scramble gives what it carries.
    EXPECT_EQ(vornwire::UnscrambleBytes(out, 5), std::string(4, 'k'));
}
