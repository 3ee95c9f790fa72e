#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/errors/ramalloc.h"
#include "foundation/text/strfind.h"
#include "tests/foundation/text/kodbcs_test.h"
#include "tests/support/support.h"

namespace {

using kotest::u;

uint32_t len(const unsigned char* s) {
    return static_cast<uint32_t>(strlen(reinterpret_cast<const char*>(s)));
}

// "\" as a trail byte (0x83 0x5C), then a real backslash.
const unsigned char kSjis[] = "x\x83\x5c\\y";

} // namespace

TEST_F(Sbcs, SingleCharacterSearches) {
    const unsigned char* s = u("a,b,c");
    EXPECT_EQ(strFind(s, ','), s + 1);
    EXPECT_EQ(strFindReverse(s, ','), s + 3);
    EXPECT_EQ(strFind(s, ';'), nullptr);
    EXPECT_EQ(strFindReverse(s, ';'), nullptr);
    EXPECT_EQ(strFind(s, '\0'), s + 5) << "the terminator is found like any byte";
    EXPECT_EQ(strFindAnsi(s, 'c'), s + 4);
    EXPECT_EQ(strFind(u(""), 'a'), nullptr);
}

TEST_F(Dbcs, SingleCharacterSearchesNeverMatchATrailByte) {
    EXPECT_EQ(strFind(kSjis, '\\'), kSjis + 3);
    EXPECT_EQ(strFindAnsi(kSjis, '\\'), kSjis + 3);
    EXPECT_EQ(strFindReverse(kSjis, '\\'), kSjis + 3);
    EXPECT_EQ(strFind(u("\x83\x5c"), '\\'), nullptr);
    EXPECT_EQ(strFindReverse(u("\x83\x5c"), '\\'), nullptr);
    // UTF-8 stepping sees the same bytes as single characters.
    EXPECT_EQ(strFind(kSjis, '\\', koCPUtf8), kSjis + 2);
    // A lead byte cut off by the terminator does not hide it.
    EXPECT_EQ(strFind(u("a\x83"), '\0'), u("a\x83") + 2);
}

TEST_F(Sbcs, SearchOutsideQuotes) {
    const unsigned char* s = u("a'b'b");
    EXPECT_EQ(strFind(s, 'b', '\'', 0, 0), s + 4);
    EXPECT_EQ(strFind(s, 'b', 0, 0, 0), s + 2) << "0 disables a quote";
    const unsigned char* t = u("x=\"a;b\";[c;d];e");
    EXPECT_EQ(strFind(t, ';', '"', '[', 0), t + 7);
    // A stretch closes only with its own quote byte: "[" opens, "]" is not "[".
    const unsigned char* v = u("[a;b];c");
    EXPECT_EQ(strFind(v, ';', '[', 0, 0), nullptr) << "\"[\" is closed by the next \"[\" only";
    EXPECT_EQ(strFind(u("'a;b"), ';', '\'', 0, 0), nullptr) << "an open stretch hides the rest";
    EXPECT_EQ(strFind(u("a'b"), '\'', '\'', 0, 0), u("a'b") + 1) << "c is tested before the quotes";
    EXPECT_EQ(strFind(u("\"a\"\"b;\";c"), ';', '"', '\'', 0), u("\"a\"\"b;\";c") + 7);
}

TEST_F(Dbcs, SearchOutsideQuotesSkipsTrailBytes) {
    // The trail byte 0x5C must neither match nor open a stretch.
    const unsigned char* s = u("\x83\x5c;x");
    EXPECT_EQ(strFind(s, ';', '\\', 0, 0), s + 2);
    const unsigned char* t = u("\x83\x60;`;`;");
    EXPECT_EQ(strFind(t, ';', '`', 0, 0), t + 2);
    EXPECT_EQ(strFind(t + 3, ';', '`', 0, 0), t + 6);
}

TEST_F(Sbcs, PatternSearch) {
    const unsigned char* s = u("abcabcd");
    EXPECT_EQ(strFind(s, u("bcd")), s + 4);
    EXPECT_EQ(strFind(s, u("abc")), s);
    EXPECT_EQ(strFind(s, u("")), nullptr) << "empty pattern";
    EXPECT_EQ(strFind(s, u("abcabcde")), nullptr) << "longer than the text";
    EXPECT_EQ(strFind(s, u("abcabcd")), s);
    EXPECT_EQ(strFind(s, 6, u("bcd"), 3), nullptr) << "the match must lie inside the n bytes";
    EXPECT_EQ(strFind(s, 7, u("bcd"), 3), s + 4);
    EXPECT_EQ(strFind(u("a\0bc"), 4, u("bc"), 2), u("a\0bc") + 2) << "counted texts hold zero bytes";
    EXPECT_EQ(strFind(s, 3, u("abc"), 0), nullptr);
}

TEST_F(Dbcs, PatternSearchStartsOnlyAtCharacters) {
    // Pattern "\y" appears at offset 2 across a character boundary, and really at offset 3.
    const unsigned char* s = u("x\x83\x5c\\y");
    EXPECT_EQ(strFind(s, u("\\")), s + 3);
    const unsigned char* t = u("\x83\x5c"
                               "a");
    EXPECT_EQ(strFind(t, u("\\a")), nullptr);
    EXPECT_EQ(strFind(t, u("\\a"), koCPUtf8), t + 1);
    EXPECT_EQ(strFind(t, u("\x83\x5c")), t);
}

TEST_F(Sbcs, CaseInsensitivePatternSearch) {
    const unsigned char* s = u("Data Source=\xc9t\xe9");
    EXPECT_EQ(strFindCi(s, u("SOURCE")), s + 5);
    EXPECT_EQ(strFindCi(s, u("\xe9T\xc9")), s + 12);
    EXPECT_EQ(strFindCi(s, u("sourcex")), nullptr);
    EXPECT_EQ(strFindCi(s, 10, u("source")), nullptr) << "cut by n";
    EXPECT_EQ(strFindCi(s, 11, u("source")), s + 5);
    EXPECT_EQ(strFindCi(s, len(s), u("dATAx"), 4), s);
    EXPECT_EQ(strFindCi(s, u("")), nullptr);
    EXPECT_EQ(strcmp(reinterpret_cast<const char*>(s), "Data Source=\xc9t\xe9"), 0)
        << "the text is not changed";
}

TEST_F(Dbcs, CaseInsensitiveSearchKeepsDoubleByteCharacters) {
    // 0x83 0x61 and 0x83 0x41 differ only in a trail byte that looks like a letter.
    const unsigned char* s = u("\x83\x61"
                               "A");
    EXPECT_EQ(strFindCi(s, u("\x83\x41")), nullptr);
    EXPECT_EQ(strFindCi(s, u("a")), s + 2);
    EXPECT_EQ(strFindCi(s, u("\x83\x61")), s);
}

TEST_F(Sbcs, CaseInsensitiveUtf8SearchFoldsOnlyAscii) {
    // In the Western code page, 0xE9 and 0xC9 are a case pair; in UTF-8 they are different lead bytes.
    const unsigned char* s = u("x\xc3\xa9y");
    EXPECT_EQ(strFindCi(s, u("\xc3\xa9Y"), koCPUtf8), s + 1);
    EXPECT_EQ(strFindCi(s, u("X"), koCPUtf8), s);
    const unsigned char* t = u("\xe3\x80\x81");
    EXPECT_EQ(strFindCi(t, u("\xc3\x80"), koCPUtf8), nullptr);
}

TEST_F(Sbcs, CaseInsensitiveSearchFailsCleanlyWithoutMemory) {
    const unsigned char* s = u("Hello World");
    unsigned char* hit = nullptr;
    unsigned runs = kotest::forEachAllocationFailure([&] { hit = strFindCi(s, u("WORLD")); },
                                                     [&](unsigned, bool failed) {
                                                         if (failed)
                                                             EXPECT_EQ(hit, nullptr);
                                                         else
                                                             EXPECT_EQ(hit, s + 6);
                                                     });
    EXPECT_EQ(runs, 3u) << "two copies";
}

TEST_F(Sbcs, ContainsAndDoesNotContain) {
    EXPECT_EQ(strContains(u("abc1"), 4, nullptr, strLowerCase | strDigits), 1);
    EXPECT_EQ(strContains(u("abc1"), 4, nullptr, strLowerCase), 0);
    EXPECT_EQ(strContains(u("ab_1"), 4, u("_"), strLowerCase | strDigits), 1);
    EXPECT_EQ(strContains(u("AZ"), 2, nullptr, strUpperCase), 1);
    EXPECT_EQ(strContains(u("\xe9"), 1, nullptr, strLowerCase | strUpperCase), 0) << "ASCII letters only";
    EXPECT_EQ(strContains(u("a\0b"), 3, u("ab"), 0), 0) << "a zero byte is never in the set";
    EXPECT_EQ(strContains(u(""), 0, nullptr, 0), 1);
    EXPECT_EQ(strDoesNotContain(u("abc"), 3, u("[]"), 0), 1);
    EXPECT_EQ(strDoesNotContain(u("a[c"), 3, u("[]"), 0), 0);
    EXPECT_EQ(strDoesNotContain(u("abc"), 3, nullptr, strDigits), 1);
    EXPECT_EQ(strDoesNotContain(u("ab9"), 3, nullptr, strDigits), 0);
    EXPECT_EQ(strDoesNotContain(u("ab9"), 2, nullptr, strDigits), 1);
}

TEST_F(Dbcs, ContainsLooksAtFirstBytesOnly) {
    // The trail byte "\" of 0x83 0x5C is not tested against the set.
    EXPECT_EQ(strDoesNotContain(u("\x83\x5c"), 2, u("\\"), 0), 1);
    EXPECT_EQ(strContains(u("\x83\x61"), 2, u("\x83"), 0), 1);
    EXPECT_EQ(strContains(u("a\x83\x61"), 3, nullptr, strLowerCase), 0);
}

TEST(WideFind, UnitsAndPatterns) {
    uint16_t s[] = {'a', 'b', 'c', 'a', 0};
    const uint16_t copy[] = {'a', 'b', 'c', 'a', 0};
    EXPECT_EQ(wcsFind(s, 'a'), s);
    EXPECT_EQ(wcsFind(s, 'a', strFindLast), s + 3);
    EXPECT_EQ(wcsFind(s, 'a', static_cast<strFindOptions>(7)), s + 3) << "any non-zero option";
    EXPECT_EQ(wcsFind(s, 'a', strFindFirst), s);
    EXPECT_EQ(memcmp(s, copy, sizeof s), 0) << "the text is not changed";
    EXPECT_EQ(wcsFind(s, 'z'), nullptr);
    EXPECT_EQ(wcsFind(s, 'z', strFindLast), nullptr);
    EXPECT_EQ(wcsFind(s, '\0'), s + 4);
    const uint16_t wide[] = {0x161, 'a', 0};
    EXPECT_EQ(wcsFind(wide, 0x61), wide + 1) << "0x161 is not the byte 0x61";
    const uint16_t ca[] = {'c', 'a', 0};
    const uint16_t cb[] = {'c', 'b', 0};
    const uint16_t empty[] = {0};
    EXPECT_EQ(wcsFind(s, ca), s + 2);
    EXPECT_EQ(wcsFind(s, cb), nullptr);
    EXPECT_EQ(wcsFind(s, empty), s);
    EXPECT_EQ(wcsFind(empty, ca), nullptr);
}
