#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "foundation/errors/ramalloc.h"
#include "foundation/text/strcomp.h"
#include "tests/foundation/text/kodbcs_test.h"

namespace {

using kotest::u;

uint32_t len(const char* s) {
    return static_cast<uint32_t>(strlen(s));
}

int16_t ci(const char* a, const char* b) {
    return strCompareCi(u(a), len(a), u(b), len(b));
}

const unsigned char* dbl(double d, unsigned char* buf) {
    memcpy(buf, &d, 8); // the machine is little-endian, as the stored form
    return buf;
}

int16_t fc(double a, double b) {
    unsigned char x[8], y[8];
    return floatCompare(dbl(a, x), dbl(b, y));
}

} // namespace

TEST(StringCompare, ExactComparisonThenLength) {
    EXPECT_EQ(strCompare(u("ab"), 2, u("abc"), 3), -1);
    EXPECT_EQ(strCompare(u("abc"), 3, u("ab"), 2), 1);
    EXPECT_EQ(strCompare(u("abc"), 3, u("abd"), 3), -1);
    EXPECT_EQ(strCompare(u("a\0c"), 3, u("a\0b"), 3), 1) << "counted texts hold zero bytes";
    EXPECT_EQ(strCompare(u("\xe9"), 1, u("z"), 1), 1) << "unsigned bytes";
    EXPECT_EQ(strCompare(u(""), 0, u(""), 0), 0);
    EXPECT_EQ(strCompare(u("zz"), 1, u("z"), 1), 0);
}

TEST_F(Sbcs, CaseInsensitiveComparison) {
    EXPECT_EQ(ci("Hello", "hELLO"), 0);
    EXPECT_EQ(ci("\xe9t\xe9", "\xc9T\xc9"), 0) << "the code page's letters fold";
    EXPECT_EQ(ci("abc", "ABD"), -1);
    EXPECT_EQ(ci("ab", "AB "), -1) << "shorter first";
    EXPECT_EQ(ci("abc", "AB"), 1);
    // Differing bytes are compared upper-cased: "_" (0x5F) lies between "Z" (0x5A) and "a" (0x61).
    EXPECT_EQ(ci("a", "_"), -1);
    EXPECT_EQ(ci("_", "A"), 1);
    EXPECT_EQ(strCompareCi(u("abc"), u("ABC")), 0);
    EXPECT_EQ(strCompareCi(u("abc"), u("ABCD")), -1);
    EXPECT_EQ(strCompareCi(u("b"), u("ABCD")), 1);
    EXPECT_EQ(strEqualCi(u("Key"), u("KEY")), 1);
    EXPECT_EQ(strEqualCi(u("Key"), u("KEYS")), 0);
    EXPECT_EQ(strEqualCi(u("Key"), 3, u("KEY"), 3), 1);
    EXPECT_EQ(strEqualCi(u("Key"), 2, u("KEY"), 3), 0) << "different lengths are never equal";
    EXPECT_EQ(strEqualCi(u(""), 0, u(""), 0), 1);
}

TEST_F(Dbcs, CaseInsensitiveComparisonComparesDoubleByteCharactersExactly) {
    // 0x82 0x60 and 0x82 0x81 are full-width A and a: different characters, even ignoring case.
    EXPECT_NE(ci("\x82\x60", "\x82\x81"), 0);
    // The trail bytes "a" and "A" are not folded.
    EXPECT_EQ(ci("\x83\x61", "\x83\x41"), 1);
    EXPECT_EQ(ci("\x83\x61x", "\x83\x61X"), 0);
    EXPECT_EQ(ci("x\x83\x61", "X\x83\x61"), 0);
    // A lead byte cut off by the common length is compared alone; then the length decides.
    EXPECT_EQ(strCompareCi(u("a\x83\x61"), 2, u("A\x83"), 2), 0);
    EXPECT_EQ(strCompareCi(u("\x83"), 1, u("\x83\x61"), 2), -1);
}

TEST(StringCompare, PaddedComparisonIgnoresTrailingSpaces) {
    EXPECT_EQ(strComparePad(u("abc"), u("abc  ")), 0);
    EXPECT_EQ(strComparePad(u("abc  "), u("abc")), 0);
    EXPECT_EQ(strComparePad(u("abc"), u("abcd")), -1);
    EXPECT_EQ(strComparePad(u("abcd"), u("abc")), 1);
    EXPECT_EQ(strComparePad(u("abc"), u("abc \t")), -1) << "only spaces pad";
    EXPECT_EQ(strComparePad(u("abc"), u("abc \x01")), -1) << "a byte below the space still makes it greater";
    EXPECT_EQ(strComparePad(u("abd"), u("abc  ")), 1);
    EXPECT_EQ(strComparePad(u(""), u("   ")), 0);
}

TEST_F(Sbcs, InternationalComparisonUsesTheLocaleOrder) {
    EXPECT_EQ(strCompareIntl(u("apple"), u("Banana")), -1);
    EXPECT_EQ(strCompare(u("apple"), 5, u("Banana"), 6), 1);
    EXPECT_EQ(strCompareCiIntl(u("ABC"), u("abc")), 0);
    EXPECT_NE(strCompareIntl(u("ABC"), u("abc")), 0);
    // Counted: only the counted bytes take part, on the stack and on the heap.
    EXPECT_EQ(strCompareIntl(u("apple pie"), 5, u("apple"), 5), 0);
    EXPECT_EQ(strCompareCiIntl(u("APPLEx"), 5, u("apple"), 5), 0);
    std::string a(512, 'q'), b(512, 'q');
    b[511] = 'r';
    EXPECT_EQ(strCompareIntl(u(a.c_str()), 512, u(b.c_str()), 512), -1);
    std::string c(5000, 'q'), d(5000, 'Q');
    EXPECT_EQ(strCompareCiIntl(u(c.c_str()), 5000, u(d.c_str()), 5000), 0);
    EXPECT_EQ(strCompareIntl(u(c.c_str()), 4999, u(c.c_str()), 5000), -1);
}

TEST_F(Sbcs, InternationalComparisonWithoutMemoryFallsBackToBytes) {
    std::string a(600, 'b'), b(600, 'B');
    a[599] = 'a';
    // Exhausted heap: the exact case-insensitive order still answers.
    ramFailAt(1, true);
    int16_t r = strCompareCiIntl(u(a.c_str()), 600, u(b.c_str()), 600);
    bool hit = ramFailureHit();
    ramFailAt(0);
    EXPECT_TRUE(hit);
    EXPECT_EQ(r, -1);
    // Short operands need no heap at all.
    ramFailAt(1, true);
    EXPECT_EQ(strCompareIntl(u("x"), 1, u("y"), 1), -1);
    hit = ramFailureHit();
    ramFailAt(0);
    EXPECT_FALSE(hit);
}

TEST(StringCompare, MaxLengthComparison) {
    EXPECT_EQ(strCompareWithMaxLength(u("abcd"), u("abce"), 3), 0);
    EXPECT_EQ(strCompareWithMaxLength(u("abcd"), u("abce"), 4), -1);
    EXPECT_EQ(strCompareWithMaxLength(u("ab"), u("abc"), 10), -1);
    EXPECT_EQ(strCompareWithMaxLength(u("\x90"), u("a"), 1), 1);
    EXPECT_EQ(strCompareWithMaxLength(u("x"), u("y"), 0), 0);
}

TEST(StringCompare, FloatBytesOrderLikeTheirValues) {
    EXPECT_EQ(fc(-0.0, 0.0), -1);
    EXPECT_EQ(fc(0.0, -0.0), 1);
    EXPECT_EQ(fc(-1.0, -2.0), 1);
    EXPECT_EQ(fc(-2.0, -1.0), -1);
    EXPECT_EQ(fc(1.5, 1.5), 0);
    EXPECT_EQ(fc(-1.5, -1.5), 0);
    EXPECT_EQ(fc(1.0, 2.0), -1);
    EXPECT_EQ(fc(-1e300, 1e-300), -1);
    EXPECT_EQ(fc(1e-310, 0.0), 1) << "subnormals";
    EXPECT_EQ(fc(1.0, 1.0000000000000002), -1) << "the lowest byte decides";
    const double values[] = {-1e308, -3.5, -1.0, -1e-300, -0.0, 0.0, 1e-300, 1.0, 3.5, 1e308};
    for (double x : values)
        for (double y : values) {
            int expected = (x < y || (x == 0 && y == 0 && std::signbit(x) && !std::signbit(y)))   ? -1
                           : (x > y || (x == 0 && y == 0 && !std::signbit(x) && std::signbit(y))) ? 1
                                                                                                  : 0;
            EXPECT_EQ(fc(x, y), expected) << x << " vs " << y;
        }
}

TEST(WideCompare, ExactAndCaseInsensitive) {
    const uint16_t ab[] = {'a', 'b', 0};
    const uint16_t abc[] = {'a', 'b', 'c', 0};
    const uint16_t AB[] = {'A', 'B', 0};
    const uint16_t eAcute[] = {0xE9, 0};
    const uint16_t EAcute[] = {0xC9, 0};
    EXPECT_LT(wcsCompare(ab, abc), 0);
    EXPECT_GT(wcsCompare(abc, ab), 0);
    EXPECT_EQ(wcsCompare(ab, ab), 0);
    EXPECT_GT(wcsCompare(ab, AB), 0);
    EXPECT_EQ(wcsCompareCi(ab, AB), 0);
    EXPECT_EQ(wcsCompareCi(eAcute, EAcute), 0);
    EXPECT_EQ(wcsCompare(ab, 2, abc, 3), 0) << "bounded to the shorter length";
    EXPECT_LT(wcsCompare(ab, 3, abc, 3), 0);
    EXPECT_EQ(wcsCompareCi(AB, 2, abc, 3), 0);
    EXPECT_EQ(wcsEqual(ab, 2, abc, 3), 1);
    EXPECT_EQ(wcsEqual(ab, abc), 0);
    EXPECT_EQ(wcsEqualCi(ab, AB), 1);
    EXPECT_EQ(wcsEqualCi(ab, 2, AB, 2), 1);
    const uint16_t high[] = {0xFFFF, 0};
    EXPECT_GT(wcsCompare(high, ab), 0) << "units compare unsigned";
}
