// Platform layer: the code-page identity on Linux and the UTF-8/UTF-16
// conversions at the edge of the basic plane.
#include "platform/platform.h"

#include <gtest/gtest.h>

TEST(Platform, CodePages) {
    const char u[] = "K\xc3\xb6ping";
    EXPECT_EQ(plat::utf8ToAnsi(u, sizeof u - 1), std::string(u));
    std::u16string w = plat::utf8ToUtf16("a\xe2\x82\xac\xf0\x9f\x98\x80", 8);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[1], u'\x20AC');
    EXPECT_EQ(plat::utf16ToUtf8(w.data(), w.size()), "a\xe2\x82\xac\xf0\x9f\x98\x80");
}
