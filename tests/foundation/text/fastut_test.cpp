#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "foundation/text/fastut.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

} // namespace

TEST(ByteUtilities, LengthAtEveryAlignment) {
    // Word-at-a-time scans must find the terminator wherever text and terminator fall.
    alignas(16) unsigned char buf[160];
    for (unsigned start = 0; start < 16; ++start)
        for (unsigned len = 0; len < 130; ++len) {
            memset(buf, 'x', sizeof buf);
            buf[start + len] = 0;
            ASSERT_EQ(BUTSTLEN(buf + start), len) << start << "/" << len;
        }
    EXPECT_EQ(BUTSTLEN(u("\xff\x80\x01")), 3u) << "high bytes are not terminators";
}

TEST(ByteUtilities, CopyAndAppendReturnTheTerminator) {
    unsigned char buf[32];
    memset(buf, 'Z', sizeof buf);
    unsigned char* end = BUTSTCPY(buf, u("abc"));
    EXPECT_EQ(end, buf + 3);
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(buf[4], 'Z');
    end = BUTSTCAT(buf, u("de"));
    EXPECT_EQ(end, buf + 5);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "abcde");
    EXPECT_EQ(BUTSTCPY(buf, u("")), buf);
    EXPECT_EQ(BUTSTCAT(buf, u("")), buf);
}

TEST(ByteUtilities, ComparisonsAreUnsignedAndNormalised) {
    EXPECT_EQ(BUTSTCMP(u("abc"), u("abc")), 0);
    EXPECT_EQ(BUTSTCMP(u("ab"), u("abc")), -1);
    EXPECT_EQ(BUTSTCMP(u("abd"), u("abc")), 1);
    EXPECT_EQ(BUTSTCMP(u("\x80"), u("\x7f")), 1) << "0x80 is above 0x7F as unsigned";
    EXPECT_EQ(BUTSTCMP(u("a"), u("z")), -1) << "exactly -1, not a difference";
    EXPECT_EQ(BUTMMCMP("a\0b", "a\0c", 3), -1) << "zero bytes do not stop a memory comparison";
    EXPECT_EQ(BUTMMCMP("\xff", "\x01", 1), 1);
    EXPECT_EQ(BUTMMCMP("x", "y", 0), 0);
    EXPECT_EQ(memCompareHuge("abcz", "abca", 4), 1);
    EXPECT_EQ(memCompareHuge("abc", "abc", 3), 0);
    EXPECT_EQ(memCompareHuge(nullptr, nullptr, 0), 0);
}

TEST(ByteUtilities, DownwardCopyMovesUpOverItself) {
    unsigned char buf[16] = "abcdefgh";
    BUTMMCPD(buf + 2, buf, 8);
    EXPECT_EQ(memcmp(buf, "ababcdefgh", 10), 0);
    unsigned char down[16] = "abcdefgh";
    BUTMMCPD(down, down + 2, 6);
    EXPECT_EQ(memcmp(down, "cdefghgh", 8), 0) << "a move down keeps the data too";
}

TEST(ByteUtilities, SwapGoesInPiecesOf512) {
    std::vector<unsigned char> a(1300), b(1300);
    std::iota(a.begin(), a.end(), 0);
    std::iota(b.begin(), b.end(), 100);
    auto a0 = a, b0 = b;
    EXPECT_EQ(BUTMMSWP(a.data(), b.data(), 1300), 276u) << "512 + 512 + 276";
    EXPECT_EQ(a, b0);
    EXPECT_EQ(b, a0);
    EXPECT_EQ(BUTMMSWP(a.data(), b.data(), 1024), 512u);
    EXPECT_EQ(BUTMMSWP(a.data(), b.data(), 1), 1u);
    EXPECT_EQ(BUTMMSWP(a.data(), b.data(), 0), 0u);
}

TEST(MemoryFunctions, FillClearAndCopy) {
    unsigned char buf[40];
    BUTU8FIL(buf, 0xAB, sizeof buf);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(buf[39], 0xAB);
    memZero(buf + 1, 3);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(buf[3], 0);
    EXPECT_EQ(buf[4], 0xAB);
    memZero4Byte(buf + 8, 2);
    EXPECT_EQ(buf[15], 0);
    EXPECT_EQ(buf[16], 0xAB) << "n counts four-byte words";
    unsigned char dst[40] = {};
    fastMemCopy(dst, buf, 40);
    EXPECT_EQ(memcmp(dst, buf, 40), 0);
    memset(dst, 0, sizeof dst);
    memCopyAligned(dst + 1, buf + 3, 17);
    EXPECT_EQ(memcmp(dst + 1, buf + 3, 17), 0);
    EXPECT_EQ(dst[0], 0);
    EXPECT_EQ(dst[18], 0);
    BUTU8FIL(buf, 1, 0);
    memZero(buf, 0);
    fastMemCopy(nullptr, nullptr, 0);
}

TEST(MemoryFunctions, EqualityAtEveryAlignment) {
    alignas(16) unsigned char a[64], b[64];
    for (unsigned i = 0; i < 64; ++i)
        a[i] = b[i] = static_cast<unsigned char>(i * 7);
    for (unsigned off = 0; off < 4; ++off)
        for (unsigned n = 0; n < 20; ++n) {
            EXPECT_EQ(memEqual(a + off, b + off, n), 1);
            if (n) {
                b[off + n - 1] ^= 1; // the last byte differs
                EXPECT_EQ(memEqual(a + off, b + off, n), 0) << off << "/" << n;
                b[off + n - 1] ^= 1;
            }
        }
    EXPECT_EQ(memEqual(a, a + 1, 0), 1);
}

TEST(MemoryFunctions, ComparisonsAgreeWithMemcmpAtEveryLengthAndPosition) {
    // Short operands are compared word-wise: every length and every position of the first difference,
    // with differences that only unsigned byte order gets right.
    unsigned char a[48], b[48];
    for (unsigned n = 0; n <= 40; ++n)
        for (unsigned pos = 0; pos <= n; ++pos)
            for (unsigned char hi : {0x01, 0x80, 0xFF}) {
                for (unsigned i = 0; i < sizeof a; ++i)
                    a[i] = b[i] = static_cast<unsigned char>(0x41 + i);
                if (pos < n) {
                    a[pos] = hi;
                    b[pos] = 0x7F;
                    if (pos + 1 < n) b[pos + 1] = 0xFF; // a later, larger difference must not decide
                }
                int expected = memcmp(a, b, n);
                expected = expected < 0 ? -1 : expected > 0;
                ASSERT_EQ(BUTMMCMP(a, b, n), expected) << n << "/" << pos;
                ASSERT_EQ(memCompareHuge(b, a, n), -expected) << n << "/" << pos;
                ASSERT_EQ(memEqual(a, b, n), expected == 0) << n << "/" << pos;
            }
}
