#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/text/strcopy.h"
#include "foundation/text/strtrim.h"
#include "tests/foundation/text/kodbcs_test.h"

namespace {

using kotest::u;

} // namespace

TEST_F(Sbcs, RightTrimRemovesTrailingWhiteSpace) {
    EXPECT_EQ(strRightTrim(u("ab \t\r\n "), 7), 2u);
    EXPECT_EQ(strRightTrim(u("ab \t\r\n "), 3), 2u);
    EXPECT_EQ(strRightTrim(u("a b"), 3), 3u);
    EXPECT_EQ(strRightTrim(u("   "), 3), 0u);
    EXPECT_EQ(strRightTrim(u(""), 0), 0u);
    EXPECT_EQ(strRightTrim(u("x\xa0"), 2), 2u) << "a no-break space is text";
    unsigned char s[16];
    strCopy(s, u("name  \t"), 7);
    EXPECT_EQ(strRightTrim(s), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(s), "name");
    strCopy(s, u(" \t "), 3);
    EXPECT_EQ(strRightTrim(s), 0u);
    EXPECT_EQ(s[0], 0);
}

TEST_F(Sbcs, RightTrimBlanksOnlySpaces) {
    EXPECT_EQ(strRightTrimBlanks(u("ab \t "), 5), 4u);
    EXPECT_EQ(strRightTrimBlanks(u("ab  "), 4), 2u);
    unsigned char s[16];
    strCopy(s, u("ab\t  "), 5);
    EXPECT_EQ(strRightTrimBlanks(s), 3u);
    EXPECT_STREQ(reinterpret_cast<char*>(s), "ab\t");
}

TEST_F(Dbcs, TrimmingNeverSplitsACharacter) {
    // 0x81 0x40 is the ideographic space; 0x88 0x20 is not a character but its second byte is a space.
    EXPECT_EQ(strRightTrim(u("a\x81\x40 "), 4), 1u);
    EXPECT_EQ(strRightTrim(u("a\x81\x40"), 3), 1u);
    EXPECT_EQ(strRightTrimBlanks(u("a\x81\x40 "), 4), 3u) << "blanks are spaces only";
    EXPECT_EQ(strRightTrim(u("\x88\x20"), 2), 2u) << "a trail byte is never a blank";
    EXPECT_EQ(strRightTrimBlanks(u("\x88\x20  "), 4), 2u);
    EXPECT_EQ(strRightTrim(u("a\x81"), 2), 2u) << "a lead byte cut off by the length stays";
    unsigned char s[16];
    strCopy(s, u("x\x81\x40\x81\x40"), 5);
    EXPECT_EQ(strRightTrim(s), 1u);
    EXPECT_STREQ(reinterpret_cast<char*>(s), "x");
    // In UTF-8 stepping, the bytes are single characters and 0x40 ends the text.
    EXPECT_EQ(strRightTrim(u("\x88\x20"), 2, koCPUtf8), 1u);
}
