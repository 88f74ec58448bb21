// Platform layer: the critical section's re-entry and try-mode, the heap's
// zero-filling reallocation, and the code-page identity on Linux.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

TEST(Platform, SectionIsReentrantForOwnerAndBusyForOthers) {
    plat::CriticalSection cs(4000);
    auto otherThreadEnters = [&] {
        std::atomic<bool> got{false};
        std::thread([&] {
            got = cs.tryEnter();
            if (got) cs.leave();
        }).join();
        return bool(got);
    };
    cs.enter();
    EXPECT_TRUE(cs.tryEnter());  // owner enters again
    EXPECT_FALSE(otherThreadEnters());
    cs.leave();
    EXPECT_FALSE(otherThreadEnters());  // still held once
    cs.leave();
    EXPECT_TRUE(otherThreadEnters());
}

TEST(Platform, HeapBlocksAreZeroFilledAndGrowZeroed) {
    auto* p = static_cast<unsigned char*>(plat::heapAlloc(16));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
    std::memset(p, 0xAB, 16);
    p = static_cast<unsigned char*>(plat::heapRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[15], 0xAB);
    for (int i = 16; i < 4096; ++i) ASSERT_EQ(p[i], 0) << i;
    EXPECT_TRUE(plat::heapFree(p));
    EXPECT_TRUE(plat::heapFree(nullptr));
}

TEST(Platform, CodePages) {
    const char u[] = "K\xc3\xb6ping";
    EXPECT_EQ(plat::utf8ToAnsi(u, sizeof u - 1), std::string(u));
    std::u16string w = plat::utf8ToUtf16("a\xe2\x82\xac\xf0\x9f\x98\x80", 8);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[1], u'\x20AC');
    EXPECT_EQ(plat::utf16ToUtf8(w.data(), w.size()), "a\xe2\x82\xac\xf0\x9f\x98\x80");
}
