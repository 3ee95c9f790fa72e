#include <gtest/gtest.h>
#include <cstring>
#include "foundation/errors/ramalloc.h"
#include "foundation/containers/koobject.h"
#include "tests/support/support.h"

TEST(Ram, ZeroByteRequestGivesUsableBlock) {
    auto* p = static_cast<unsigned char*>(ramAlloc(0));
    ASSERT_NE(p, nullptr);
    p[0] = 7;
    ramFree(p);
    ramFree(nullptr);
}

TEST(Ram, ResizeOfNullAllocatesAndFailedResizeKeepsBlock) {
    void* p = nullptr;
    ASSERT_EQ(ramResize(&p, 4), koSuccess);
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abc", 4);
    ramFailAt(1);
    void* before = p;
    EXPECT_EQ(ramResize(&p, 1 << 20), koFailure);
    EXPECT_TRUE(ramFailureHit());
    ramFailAt(0);
    EXPECT_EQ(p, before);
    EXPECT_STREQ(static_cast<char*>(p), "abc");
    ramFree(p);
}

TEST(Ram, InjectionFailsExactlyTheNthOrEveryFromTheNth) {
    ramFailAt(2);
    void* a = ramAlloc(1);
    void* b = ramAlloc(1);
    void* c = ramAllocZ(1);
    ramFailAt(0);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr);
    ramFree(a);
    ramFree(c);

    ramFailAt(2, true);
    a = ramAlloc(1);
    b = ramAllocStr(reinterpret_cast<const unsigned char*>("x"));
    c = ramAlloc(1);
    ramFailAt(0);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(c, nullptr);
    ramFree(a);
}

TEST(Ram, StringCopies) {
    unsigned char* s = ramAllocStr(reinterpret_cast<const unsigned char*>("hello"), 3);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(s), "hel");
    ramFree(s);
}

TEST(Ram, ObjectNewYieldsNullWhenHeapIsExhausted) {
    struct Probe : KoObject {
        int built = 1;
    };
    ramFailAt(1);
    Probe* p = new Probe;
    ramFailAt(0);
    EXPECT_EQ(p, nullptr);
    p = new Probe;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->built, 1);
    EXPECT_EQ(p->compare(p), 0);
    delete p;
}

// A 32-bit size leaves no room for a terminator after 4 GiB - 1 bytes: the copy is refused rather
// than allocated one byte long and overrun.
TEST(RamSizes, ACopyWhoseTerminatorWouldWrapTheSizeIsRefused) {
    const unsigned char text[] = "abc";
    EXPECT_EQ(ramAllocStr(text, UINT32_MAX), nullptr);
    unsigned char* p = ramAllocStr(text, 2);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p)), "ab");
    ramFree(p);
}
