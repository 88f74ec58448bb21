// Data items: copy-out into caller buffers and appends of an item to itself,
// which no answer from a server reaches. What the packet takes from short or
// malformed answers is checked through the C API against hostile answers.
#include "vornvdb/CData.h"
#include "support/kitreq_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(KitItems, CopyOutAndSelfAppend) {
    CSTRING s("hello");
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ((kitreq::Fields{s.CopyOut(buf, 1), buf, s.CopyOut(buf, 0)}), "0||0|");

    CSTRING copy(s);
    copy.Append(copy);
    EXPECT_EQ(kitreq::Fields(copy.c_str(), s.c_str()), "hellohello|hello|");

    CLSTRING l("xyz");
    EXPECT_EQ(l.CopyOut(buf, 2), 2u);  // bytes, no terminator
    EXPECT_EQ(std::string(buf, 3), "xyX");
    l.Append(l);
    EXPECT_EQ(std::string(l.Data(), l.Length()), "xyzxyz");
}
