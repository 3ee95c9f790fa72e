#include <gtest/gtest.h>

#include <cstring>

#include "foundation/text/kodbcs.h"
#include "tests/foundation/text/kodbcs_test.h"

namespace {

using kotest::u;

// "a", the ideographic character 0x88 0x9F, the katakana 0x83 0x5C (trail byte "\"), "b".
const char kMixed[] = "a\x88\x9f\x83\x5c"
                      "b";

} // namespace

TEST_F(Sbcs, Utf8CharacterSizesFollowTheLeadByte) {
    EXPECT_EQ(koCharSize(u("A"), koCPUtf8), 1u);
    EXPECT_EQ(koCharSize(u("\xc3\xa9"), koCPUtf8), 2u);
    EXPECT_EQ(koCharSize(u("\xdf\xbf"), koCPUtf8), 2u);
    EXPECT_EQ(koCharSize(u("\xe2\x82\xac"), koCPUtf8), 3u);
    EXPECT_EQ(koCharSize(u("\xef\xbf\xbf"), koCPUtf8), 3u);
    EXPECT_EQ(koCharSize(u("\xf0\x9f\x98\x80"), koCPUtf8), 1u) << "four-byte sequences step byte by byte";
    EXPECT_EQ(koCharSize(u("\x80"), koCPUtf8), 1u);
    EXPECT_EQ(koCharSize(u("\xbf"), koCPUtf8), 1u);
    EXPECT_EQ(koCharSizeOfByte(0xE2, koCPUtf8), 3u);
    EXPECT_EQ(koCharSizeOfByte(0xE2, koCPAnsi), 1u);
    EXPECT_EQ(koCharSize(u("\xc3\xa9"), static_cast<koCPType>(7)), 1u) << "unknown kinds are ANSI";
}

TEST_F(Sbcs, SteppingNeverRunsPastTheTerminator) {
    // A multi-byte lead byte cut off by the end of a zero-terminated text.
    const unsigned char cut2[] = {'x', 0xC3, 0, 'Z', 'Z', 0};
    const unsigned char cut3[] = {0xE2, 0x82, 0, 'Z', 0};
    EXPECT_EQ(koCharNext(cut2 + 1, koCPUtf8), cut2 + 2);
    EXPECT_EQ(koCharNext(cut3, koCPUtf8), cut3 + 2);
    EXPECT_EQ(koCharLen(cut2, koCPUtf8), 2u);
    EXPECT_EQ(koCharLast(cut3, koCPUtf8), cut3);
}

TEST_F(Sbcs, Utf8PreviousCharacterLooksBackAtMostThreeBytes) {
    const unsigned char euro[] = "a\xe2\x82\xac";
    EXPECT_EQ(koCharPrev(euro, euro + 4, koCPUtf8), euro + 1);
    EXPECT_EQ(koCharPrev(euro, 4, koCPUtf8), 1u);
    const unsigned char e[] = "\xc3\xa9";
    EXPECT_EQ(koCharPrev(e, 2, koCPUtf8), 0u);
    EXPECT_EQ(koCharPrev(euro, 1, koCPUtf8), 0u) << "the byte at start is taken as it is";
    EXPECT_EQ(koCharPrev(euro, 0u, koCPUtf8), 0u);
    // Four continuation bytes: no lead byte within reach, so the byte before p stands alone.
    const unsigned char orphan[] = "a\x80\x80\x80\x80";
    EXPECT_EQ(koCharPrev(orphan, 5, koCPUtf8), 4u);
    // A lead byte three back is not looked for before start.
    const unsigned char shortText[] = "\x80\x80";
    EXPECT_EQ(koCharPrev(shortText + 1, shortText + 2, koCPUtf8), shortText + 1);
    const unsigned char ascii[] = "abc";
    EXPECT_EQ(koCharPrev(ascii, 3, koCPAnsi), 2u);
}

TEST_F(Dbcs, AnsiSteppingKeepsDoubleByteCharactersWhole) {
    const unsigned char* s = u(kMixed);
    EXPECT_EQ(koCharSize(s + 1), 2u);
    EXPECT_EQ(koCharNext(s, 1u), 3u);
    EXPECT_EQ(koCharNext(s + 3), s + 5);
    EXPECT_EQ(koCharPrev(s, 5u), 3u) << "never the trail byte 0x5C";
    EXPECT_EQ(koCharPrev(s, s + 3), s + 1);
    EXPECT_EQ(koCharLen(s), 4u);
    EXPECT_EQ(koCharLen(s, 6u), 4u);
    EXPECT_EQ(koCharLen(s, 4u), 3u) << "a character cut by the length still counts";
    EXPECT_EQ(koCharLast(s), s + 5);
    EXPECT_EQ(koCharLast(s, 5u), 3u);
    EXPECT_EQ(koCharLast(s, 4u), 3u);
    EXPECT_EQ(koCharLast(u(""), 0u), 0u);
    EXPECT_EQ(koCharLast(u("")), u("")) << "empty text: the text itself";
    // The same bytes in UTF-8 stepping: every byte below 0xC0 is a character.
    EXPECT_EQ(koCharLen(s, koCPUtf8), 6u);
    // UCS-2 is stepped like ANSI text except by the counts.
    EXPECT_EQ(koCharSize(s + 1, koCPUcs2), 2u);
}

TEST_F(Sbcs, Ucs2CountsUnits) {
    const unsigned char ab[] = {'a', 0, 'b', 0, 0, 0};
    EXPECT_EQ(koCharLen(ab, 4u, koCPUcs2), 2u);
    EXPECT_EQ(koCharLen(ab, 5u, koCPUcs2), 2u);
    EXPECT_EQ(koCharLen(ab, koCPUcs2), 2u);
    const unsigned char highZero[] = {0, 'a', 0, 0};
    EXPECT_EQ(koCharLen(highZero, koCPUcs2), 1u) << "a zero byte is not a zero unit";
    EXPECT_EQ(koCharLen(ab, koCPAnsi), 1u);
}

TEST_F(Dbcs, CharacterEqualityNeedsSameSizeAndBytes) {
    const unsigned char* s = u(kMixed);
    EXPECT_EQ(koCharEqual(s + 1, u("\x88\x9f")), 1);
    EXPECT_EQ(koCharEqual(s + 1, u("\x88\x9e")), 0);
    EXPECT_EQ(koCharEqual(s, 0u, u("ab"), 0u), 1);
    EXPECT_EQ(koCharEqual(s, 3u, s, 1u), 0);
    EXPECT_EQ(koCharEqual(u("\xc3\xa9"), u("\xc3\xa8"), koCPUtf8), 0);
    EXPECT_EQ(koCharEqual(u("\xc3\xa9"), u("\xc3\xa8"), koCPAnsi), 1) << "0xC3 alone is a character in ANSI";
}

TEST_F(Dbcs, ClassificationOfDoubleByteText) {
    const unsigned char* s = u(kMixed);
    EXPECT_EQ(koIsLeadByte(s + 1), 1);
    EXPECT_EQ(koIsLeadByte(s, 2u), 1) << "0x9F has the value of a lead byte; context is not looked at";
    EXPECT_EQ(koIsLeadByte(s, 4u), 0);
    EXPECT_EQ(koIsAlpha(s, 1u), 1) << "every double-byte character is a letter";
    EXPECT_EQ(koIsAlpha(s), 1);
    EXPECT_EQ(koIsAlpha(u("1")), 0);
    EXPECT_EQ(koIsAlphaNumeric(u("1")), 1);
    EXPECT_EQ(koIsAlphaNumeric(u("-")), 0);
    EXPECT_EQ(koIsAlpha(u("\xc3\xa9"), koCPUtf8), 1);
    EXPECT_EQ(koIsWhiteSpace(u("\x81\x40")), 1) << "ideographic space";
    EXPECT_EQ(koIsWhiteSpace(u("\x81\x41")), 0);
    EXPECT_EQ(koIsWhiteSpace(u("x\t"), 1u), 1);
    EXPECT_EQ(koSkipBlanks(u(" \x81\x40\tz")), u(" \x81\x40\tz") + 4);
}

TEST_F(Sbcs, ClassificationOfSingleByteText) {
    EXPECT_EQ(koIsWhiteSpace(u("\x81\x40")), 0) << "0x81 is no lead byte here";
    EXPECT_EQ(koIsAlpha(u("\xe9")), 1);
    EXPECT_EQ(koIsAlpha(u("\xd7")), 0);
    EXPECT_EQ(koIsAlphaNumeric(u("\xe9"), 0u), 1);
    const unsigned char text[] = " \t\r\n x";
    EXPECT_EQ(koSkipBlanks(text), text + 5);
    EXPECT_EQ(koSkipBlanks(u("   ")), u("   ") + 3);
    EXPECT_EQ(koSkipBlanks(nullptr), nullptr);
}

TEST_F(Dbcs, SecondByteIsFoundFromTheStart) {
    const unsigned char* s = u(kMixed);
    EXPECT_EQ(koIs2ndByte(s, s + 2), 1);
    EXPECT_EQ(koIs2ndByte(s, s + 4), 1);
    EXPECT_EQ(koIs2ndByte(s, s + 3), 0);
    EXPECT_EQ(koIs2ndByte(s, s), 0);
    // A trail byte that is itself a lead byte value: 0x88 0x88 then 0x41.
    const unsigned char* t = u("\x88\x88\x41");
    EXPECT_EQ(koIs2ndByte(t, t + 1), 1);
    EXPECT_EQ(koIs2ndByte(t, t + 2), 0);
    EXPECT_EQ(koStrSBCSChar(s, s + 4, '\\'), 0) << "0x5C as a trail byte is no backslash";
    EXPECT_EQ(koStrSBCSChar(s, s + 5, 'b'), 1);
    EXPECT_EQ(koStrSBCSChar(s, s + 5, 'c'), 0);
}

TEST(WideText, LengthCaseAndStepping) {
    uint16_t s[] = {'a', 'B', 0xE9, 0x3B1, 0x4E00, 0xD800, 0};
    EXPECT_EQ(wcsLen(s), 6u);
    EXPECT_EQ(wcsUpper(s), s);
    EXPECT_EQ(s[0], 'A');
    EXPECT_EQ(s[1], 'B');
    EXPECT_EQ(s[2], 0xC9);
    EXPECT_EQ(s[3], 0x391) << "Greek alpha";
    EXPECT_EQ(s[4], 0x4E00);
    EXPECT_EQ(s[5], 0xD800) << "a lone surrogate is left as it is";
    wcsLower(s);
    EXPECT_EQ(s[1], 'b');
    EXPECT_EQ(s[2], 0xE9);
    uint16_t sharp[] = {0xDF, 0};
    wcsUpper(sharp);
    EXPECT_EQ(sharp[0], 0xDF) << "no one-unit capital";
    EXPECT_EQ(wcsCharNext(s), s + 1);
    EXPECT_EQ(wcsCharNext(s, 4), s + 4);
    const uint16_t empty[] = {0};
    EXPECT_EQ(wcsLen(empty), 0u);
}
