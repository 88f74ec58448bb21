// Data items and the packet: what they give back when an answer is short or
// malformed, and copy-out into caller buffers. The encoding itself is checked
// against hand-written bytes in the request family's wire tests.
#include "vornvdb/CData.h"
#include "vornvdb/ScrambleKey.h"
#include "support/kitreq_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
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
    std::uint32_t v = 99;
    one.TakeU16(n);
    EXPECT_EQ(kitreq::Fields(n, one.Length()), "0|1|");
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
    EXPECT_EQ(kitreq::Fields(l.Length(), q.Length()), "0|1|");

    // Taking from an empty packet.
    CPACKET empty;
    std::uint8_t b = 7;
    empty.TakeU8(b).TakeShortItem(s);
    EXPECT_EQ(kitreq::Fields(b, s.c_str()), "0||");
}

TEST(KitPacket, ShortItemOverLimitIsCutConsistently) {
    CPACKET p;
    p.AppendShortItem(CSTRING(std::string(70000, 'z').c_str())).AppendU8(0x42);
    EXPECT_EQ(p.Length(), 2u + 65535u + 1u);
    CSTRING s;
    std::uint8_t tail = 0;
    p.TakeShortItem(s).TakeU8(tail);
    EXPECT_EQ(kitreq::Fields(s.Length(), tail), "65535|66|");
}

// Copy-out into caller buffers (the C API's output texts) and appends of an
// item to itself.
TEST(KitItems, CopyOutAndSelfAppend) {
    CSTRING s("hello");
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    // Exact length: the last character is lost.
    for (const auto& [size, copied, text] : {std::tuple<std::size_t, std::size_t, std::string>{1, 0, ""},
                                            {5, 4, "hell"}, {sizeof buf, 5, "hello"}}) {
        EXPECT_EQ(s.CopyOut(buf, size), copied);
        EXPECT_EQ(buf, text);
    }
    EXPECT_EQ(s.CopyOut(buf, 0), 0u);

    CSTRING copy(s);
    copy.Append(copy);
    EXPECT_EQ(kitreq::Fields(copy.c_str(), s.c_str()), "hellohello|hello|");

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
