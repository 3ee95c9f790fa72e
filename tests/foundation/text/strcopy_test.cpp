#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/text/strcopy.h"
#include "tests/foundation/text/kodbcs_test.h"

namespace {

using kotest::u;

std::string str(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}
std::string str(const unsigned char* s, size_t n) {
    return std::string(reinterpret_cast<const char*>(s), n);
}

// The quoted form of a zero-terminated text, and its length check.
std::string quoted(const char* text, koCPType cp, unsigned char q) {
    unsigned char buf[256];
    unsigned char* end = strCopyQuoted(buf, u(text), cp, q);
    EXPECT_EQ(*end, 0);
    return str(buf, end - buf);
}

} // namespace

TEST(StringCopy, BoundedCopyCutsAndTerminates) {
    unsigned char buf[8];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(strCopy(buf, 4, u("abcdef")), buf);
    EXPECT_EQ(str(buf, 5), std::string("abc\0Z", 5));
    memset(buf, 'Z', sizeof buf);
    strCopy(buf, 8, u("ab"));
    EXPECT_EQ(str(buf, 8), std::string("ab\0ZZZZ\0", 8)) << "stops after the terminator; the last byte is 0";
    memset(buf, 'Z', sizeof buf);
    strCopy(buf, 1, u("ab"));
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'Z');
    strCopy(buf, 0, u("ab"));
    EXPECT_EQ(buf[0], 0) << "size 0 writes nothing";
    memset(buf, 'Z', sizeof buf);
    strCopy(buf, 4, u("abc"));
    EXPECT_EQ(str(buf), "abc") << "exactly full";
}

TEST(StringCopy, CountedCopyTerminatesAndReturnsTheEnd) {
    unsigned char buf[8];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(strCopy(buf, u("abcdef"), 3), buf + 3);
    EXPECT_EQ(str(buf), "abc");
    EXPECT_EQ(strCopy(buf, u("a\0b"), 3), buf + 3);
    EXPECT_EQ(str(buf, 4), std::string("a\0b\0", 4));
    EXPECT_EQ(strCopy(buf, u(""), 0), buf);
    EXPECT_EQ(buf[0], 0);
}

TEST_F(Sbcs, QuotingDoublesTheQuote) {
    EXPECT_EQ(quoted("it's", koCPAnsi, '\''), "'it''s'");
    EXPECT_EQ(quoted("", koCPAnsi, '"'), "\"\"");
    EXPECT_EQ(quoted("\"\"", koCPAnsi, '"'), "\"\"\"\"\"\"");
    EXPECT_EQ(quoted("a'", koCPAnsi, '\''), "'a'''");
    unsigned char buf[32];
    // Counted: a UTF-8 character cut off by the count is dropped.
    unsigned char* end = strCopyQuoted(buf, u("x\xe2\x82\xac"), 3, koCPUtf8, '"');
    EXPECT_EQ(str(buf, end - buf), "\"x\"");
    end = strCopyQuoted(buf, u("x\xe2\x82\xac"), 4, koCPUtf8, '"');
    EXPECT_EQ(str(buf, end - buf), "\"x\xe2\x82\xac\"");
    strCopy(buf, u("pre"), 3);
    end = strCatQuoted(buf, u("a'b"), koCPAnsi, '\'');
    EXPECT_EQ(str(buf, end - buf), "pre'a''b'");
}

TEST_F(Dbcs, QuotingNeverDoublesATrailByte) {
    // 0x83 0x60 has the backquote as its trail byte; 0x83 0x27 does not exist, so use "`" as the quote.
    EXPECT_EQ(quoted("\x83\x60`", koCPAnsi, '`'), "`\x83\x60``"
                                                  "`");
    // A lead byte cut off by the end of the text is dropped, not left dangling before the closing quote.
    EXPECT_EQ(quoted("a\x83", koCPAnsi, '`'), "`a`");
    // In UTF-8 stepping the same bytes are single characters, and the trail byte doubles.
    EXPECT_EQ(quoted("\x83\x60", koCPUtf8, '`'), "`\x83``"
                                                 "`");
}

TEST_F(Sbcs, UnquotingCollapsesDoubledQuotes) {
    unsigned char buf[32];
    unsigned char* end = strCopyUnquoted(buf, u("'it''s'"));
    EXPECT_EQ(str(buf, end - buf), "it's");
    end = strCopyUnquoted(buf, u("''"));
    EXPECT_EQ(end, buf) << "an empty literal gives the empty text";
    EXPECT_EQ(buf[0], 0);
    end = strCopyUnquoted(buf, u("'ab'c'"));
    EXPECT_EQ(str(buf, end - buf), "ab") << "an undoubled inner quote ends the copy";
    end = strCopyUnquoted(buf, u("'a'''"));
    EXPECT_EQ(str(buf, end - buf), "a'");
    end = strCopyUnquoted(buf, u("\"x\"tail"), 3);
    EXPECT_EQ(str(buf, end - buf), "x");
    end = strCopyUnquoted(buf, u("'"), 1);
    EXPECT_EQ(end, buf);
    EXPECT_EQ(buf[0], 0);
}

TEST_F(Dbcs, UnquotingKeepsDoubleByteCharactersWhole) {
    unsigned char buf[32];
    // The trail byte "`" is not taken for a quote.
    unsigned char* end = strCopyUnquoted(buf, u("`\x83\x60x`"));
    EXPECT_EQ(str(buf, end - buf), "\x83\x60x");
    // A lead byte as the last inner byte would take the closing quote as its trail byte: dropped.
    end = strCopyUnquoted(buf, u("`x\x83`"));
    EXPECT_EQ(str(buf, end - buf), "x");
}

TEST_F(Sbcs, RemovingQuotesOnlyFromWellFormedLiterals) {
    unsigned char s[32];
    strCopy(s, u("'it''s'"), 7);
    EXPECT_EQ(strRemoveQuotes(s, 7, '\''), 4u);
    EXPECT_EQ(str(s, 4), "it's");
    const char* unchanged[] = {"'it's'", "'abc", "abc'", "'", "x", "", "'a''", "\"a\""};
    for (const char* t : unchanged) {
        uint32_t n = static_cast<uint32_t>(strlen(t));
        strCopy(s, u(t), n);
        EXPECT_EQ(strRemoveQuotes(s, n, '\''), n) << t;
        EXPECT_EQ(str(s), t) << t;
    }
    // A doubled quote just before the closing one belongs to the text.
    strCopy(s, u("'a'''"), 5);
    EXPECT_EQ(strRemoveQuotes(s, '\''), 2u);
    EXPECT_EQ(str(s), "a'");
    strCopy(s, u("''"), 2);
    EXPECT_EQ(strRemoveQuotes(s, '\''), 0u);
    EXPECT_EQ(s[0], 0);
    strCopy(s, u("''''"), 4);
    EXPECT_EQ(strRemoveQuotes(s, 4, '\''), 1u);
    EXPECT_EQ(s[0], '\'');
}

TEST_F(Sbcs, QuoteRoundTripForEveryTextOfQuotesAndLetters) {
    // Every text of up to 6 characters over {', a}: quoting then removing gives it back.
    for (unsigned len = 0; len <= 6; ++len)
        for (unsigned bits = 0; bits < (1u << len); ++bits) {
            std::string text;
            for (unsigned i = 0; i < len; ++i)
                text += (bits >> i & 1) ? '\'' : 'a';
            unsigned char buf[32];
            unsigned char* end = strCopyQuoted(buf, u(text.c_str()), koCPAnsi, '\'');
            uint32_t n = static_cast<uint32_t>(end - buf);
            uint32_t m = strRemoveQuotes(buf, n, '\'');
            ASSERT_EQ(str(buf, m), text);
            strCopyQuoted(buf, u(text.c_str()), koCPAnsi, '\'');
            unsigned char out[32];
            end = strCopyUnquoted(out, buf);
            ASSERT_EQ(str(out, end - out), text);
        }
}

TEST_F(Dbcs, RemovingQuotesAroundDoubleByteText) {
    unsigned char s[32];
    strCopy(s, u("`\x83\x60``x`"), 7);
    EXPECT_EQ(strRemoveQuotes(s, 7, '`'), 4u);
    EXPECT_EQ(str(s, 4), "\x83\x60`x");
    // The last character is 0x83 0x60, whose trail byte is the quote: not a literal.
    strCopy(s, u("`a\x83\x60"), 4);
    EXPECT_EQ(strRemoveQuotes(s, 4, '`'), 4u);
    EXPECT_EQ(str(s), "`a\x83\x60");
}

TEST(WideCopy, CopyBoundedCopyAndAppend) {
    const uint16_t ab[] = {'a', 'b', 0};
    const uint16_t c[] = {'c', 0};
    uint16_t buf[8];
    std::fill(buf, buf + 8, 0xFFFF);
    EXPECT_EQ(wcsCopy(buf, ab), buf);
    EXPECT_EQ(buf[2], 0);
    EXPECT_EQ(buf[3], 0xFFFF);
    EXPECT_EQ(wcsCat(buf, c), buf);
    EXPECT_EQ(buf[2], 'c');
    EXPECT_EQ(buf[3], 0);
    std::fill(buf, buf + 8, 0xFFFF);
    wcsCopy(buf, ab, 5);
    EXPECT_EQ(buf[1], 'b');
    EXPECT_EQ(buf[4], 0) << "padded with zero units";
    EXPECT_EQ(buf[5], 0xFFFF);
    std::fill(buf, buf + 8, 0xFFFF);
    wcsCopy(buf, ab, 1);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(buf[1], 0xFFFF) << "not terminated when the source is as long as n";
}
