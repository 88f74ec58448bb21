// Data items and the packet: what they give back when an answer is short or
// malformed, and copy-out into caller buffers. The encoding itself is checked
// against hand-written bytes in the request family's wire tests.
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

    // A text field carries one terminator, also when the caller's length
    // already counted it.
    for (const CSTRING& text : {CSTRING("ab"), CSTRING("ab", 3)}) {
        CPACKET p;
        p.AppendLongItem(CLSTRING(text));
        EXPECT_EQ(bytesOf(p), (std::vector<unsigned char>{3, 0, 0, 0, 'a', 'b', 0}));
    }
}

// Frame lengths are checked through the C API against hostile peers; here
// the request header's kind check.
TEST(KitWire, RequestHeaderNeedsAKnownKind) {
    CPACKET p;
    p.AppendU32(7);
    EXPECT_EQ(vornwire::AddHeader(p, 'T', 1007), 1);
    EXPECT_EQ(bytesOf(p), (std::vector<unsigned char>{'T', 0xEF, 0x03, 7, 0, 0, 0}));
    CPACKET q;
    EXPECT_EQ(vornwire::AddHeader(q, 'X', 1), -2);
    EXPECT_EQ(bytesOf(q), (std::vector<unsigned char>{'X'}));
}

TEST(KitWire, ScrambleCutsAndTruncatedScrambles) {
    unsigned char out[33];
    vornwire::ScrambleBytes(std::string(40, 'k').c_str(), out);
    EXPECT_EQ(vornwire::UnscrambleBytes(out, 33), std::string(32, 'k'));
    // A truncated scramble gives what it carries.
    EXPECT_EQ(vornwire::UnscrambleBytes(out, 5), std::string(4, 'k'));
}
