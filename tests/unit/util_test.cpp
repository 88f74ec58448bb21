// Pointer list and stack, base64 and the string buffer.
#include "platform/platform.h"
#include "util/Base64.h"
#include "util/CStringBuffer.h"
#include "util/PtrList.h"
#include "util/PtrStack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {
int slot[40];
void* P(int i) { return &slot[i]; }

std::string encode(const std::string& bytes) {
    char* out = nullptr;
    int n = Base64Encode(bytes.data(), int(bytes.size()), &out);
    EXPECT_NE(out, nullptr);
    std::string s(out, std::size_t(n));
    EXPECT_EQ(std::strlen(out), std::size_t(n));
    plat::heapFree(out);
    return s;
}

std::string decode(const std::string& text, int length = -1) {
    unsigned char* out = nullptr;
    int n = Base64Decode(text.c_str(), length < 0 ? int(text.size()) : length, &out);
    EXPECT_NE(out, nullptr);
    std::string s(reinterpret_cast<char*>(out), std::size_t(n));
    EXPECT_EQ(out[n], 0) << "decoded block ends with a zero byte";
    plat::heapFree(out);
    return s;
}
}  // namespace

TEST(PtrList, KeepsOrderOnRemoveAndTheStackReleasesWhenEmpty) {
    PtrList list{};
    EXPECT_EQ(list.getAt(0), nullptr);
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(list.append(P(i)));
    list.removeAt(0);  // first
    list.removeAt(5);  // middle
    list.removeAt(9);  // last
    list.removeAt(9);  // out of range: nothing happens
    list.removeAt(-1);
    EXPECT_EQ((std::vector<void*>{P(1), P(5), P(7), P(10), nullptr}),
              (std::vector<void*>{list.getAt(0), list.getAt(4), list.getAt(5), list.at<void>(8), list.getAt(-1)}));
    EXPECT_EQ(list.items[9], nullptr);
    list.release();

    PtrStack stack{};
    EXPECT_EQ(stack.pop(), nullptr);
    EXPECT_EQ(stack.top(), nullptr);
    for (int i = 0; i < 2; ++i) stack.push(P(i));
    EXPECT_EQ(stack.pop(), P(1));
    EXPECT_EQ(stack.pop(), P(0));
    EXPECT_EQ(stack.items, nullptr);  // the last pop releases the block
    stack.push(P(4));
    EXPECT_EQ(stack.getAt(0), P(4));
    stack.release();
}

TEST(Base64, VectorsRoundTripsAndForeignBytes) {
    const char* const vectors[][2] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                                      {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xfb\xff\xbf", "+/+/"}};
    for (const auto& v : vectors) {
        EXPECT_EQ(encode(v[0]), v[1]);
        EXPECT_EQ(decode(v[1]), v[0]);
    }
    std::mt19937 rng(7);
    for (int len = 0; len < 70; ++len) {
        std::string bytes;
        for (int i = 0; i < len; ++i) bytes += char(rng() & 0xFF);
        EXPECT_EQ(decode(encode(bytes)), bytes) << len;
    }
    // Decoding skips bytes outside the alphabet and stops at padding.
    EXPECT_EQ(decode("Zm9v\r\nYm Fy\xc3\xa9"), "foobar");
    EXPECT_EQ(decode("Zg==Zm9v"), "f");
    EXPECT_EQ(decode("Zm9vY"), "foo");  // a single value left over is dropped
    EXPECT_EQ(decode(std::string("Zm9v\0YmFy", 9), 9), "foo");
}

TEST(CStringBuffer, GrowsInWholeStepsAndAppendsItself) {
    CStringBuffer b;
    EXPECT_EQ(b.GetCapacity(), 4092);
    char* first = b.GetData();
    b.Assign(std::string(4091, 'x').c_str());
    EXPECT_EQ(b.GetData(), first);
    b.Assign(std::string(4092, 'y').c_str());
    EXPECT_EQ(b.GetCapacity(), 8184);
    EXPECT_EQ(b.GetData()[4092], '\0');

    CStringBuffer small(10);
    std::string expect;
    for (int i = 0; i < 50; ++i) {
        small.Append("abc");
        expect += "abc";
        ASSERT_EQ(std::string(small.GetData()), expect);
        EXPECT_EQ(small.GetCapacity() % 10, 0);
    }
    CStringBuffer c("hello");
    c.Append(nullptr);
    c.Append("\0x", 2);  // explicit counts may carry NUL bytes
    EXPECT_EQ(std::memcmp(c.GetData(), "hello\0x", 8), 0);

    CStringBuffer self("ab");
    self.Append(self);
    self.Append(self.GetData() + 1, 2);  // a range of itself
    EXPECT_STREQ(self.GetData(), "ababba");
    CStringBuffer copy(self);
    EXPECT_TRUE(copy.Equals(self));
    self.Insert("<", 0);
    self.Insert(">", 100);  // beyond the end: appended
    EXPECT_STREQ(self.GetData(), "<ababba>");
}

TEST(CStringBuffer, CopyRangeCopyOutFindAndDetach) {
    CStringBuffer b("hello, world!...");
    CStringBuffer part("xx");
    part.CopyRange(b, 7, 5, false);
    EXPECT_STREQ(part.GetData(), "world");
    part.CopyRange(b, 14, 50, false);
    EXPECT_STREQ(part.GetData(), "..");
    part.CopyRange(b, 99, 1, false);
    EXPECT_STREQ(part.GetData(), "");
    part.Assign("abcdef");
    part.CopyRange(part, 2, 2, false);
    EXPECT_STREQ(part.GetData(), "cd");

    char dest[8];
    std::memset(dest, '#', sizeof dest);
    EXPECT_EQ(b.CopyOut(dest, 5), 4);
    EXPECT_STREQ(dest, "hell");
    EXPECT_EQ(dest[5], '#');
    EXPECT_EQ(b.CopyOut(dest, 0), 0);

    CStringBuffer sql("update t set object (x) = ? where k = 1");
    EXPECT_EQ(sql.Find("SET OBJECT", 0, true), 9);
    EXPECT_EQ(sql.Find("SET OBJECT", 0, false), -1);
    EXPECT_EQ(sql.Find("1", sql.GetLength(), false), -1);
    EXPECT_EQ(sql.Find("1", sql.GetLength() - 1, false), sql.GetLength() - 1);

    char* block = sql.Detach();
    EXPECT_STREQ(sql.GetData(), "");
    sql.Attach(block, 0, 0);
    EXPECT_EQ(sql.GetData(), block);
    sql.Append(" and more");  // grows out of the attached block
    EXPECT_STREQ(sql.GetData(), "update t set object (x) = ? where k = 1 and more");
}
