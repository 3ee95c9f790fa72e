// Views, owned and adopted strings, quoting and the line operations.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "foundation/containers/koarray.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "foundation/text/kostring.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::string str(const KoSubString& s) {
    return s.text ? std::string(reinterpret_cast<const char*>(s.text), s.length) : std::string();
}

// A string holding the given bytes (embedded zeros allowed).
void fill(KoString& s, const std::string& bytes) {
    ASSERT_EQ(koSuccess, s.initialize(U(bytes.data()), static_cast<uint32_t>(bytes.size())));
}

class StringTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koSuccess, koLibraryLoad());
        kotest::useBuildResources();
    }
    void SetUp() override { KoErrorKeeper::setErrorList(&errors_); }
    void TearDown() override {
        KoErrorKeeper::giveUpErrorList();
        koSetAnsiCodePage(1252);
    }
    KoErrorList errors_;
};

using SubStringTest = StringTest;

TEST_F(SubStringTest, HashIgnoresCaseAndEverythingAfterTheFifthByte) {
    KoSubString a(U("Abcdefgh")), b(U("ABCDE")), c(U("abcde")), empty;
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(b.hash(), c.hash());
    EXPECT_EQ(uint32_t('A' + 'B' + 'C' + 'D' + 'E'), c.hash());
    EXPECT_EQ(0u, empty.hash());
    EXPECT_EQ(0u, KoSubString(U("")).hash());
    // Only the viewed bytes count, not what follows them in the buffer.
    EXPECT_EQ(uint32_t('A' + 'B'), KoSubString(U("abcdef"), 2).hash());
}

TEST_F(SubStringTest, CompareOrdersIgnoringCaseThenByLength) {
    KoSubString abc(U("abc")), ABD(U("ABD")), ab(U("ab")), ABC(U("ABC")), empty;
    EXPECT_EQ(-1, abc.compare(&ABD));
    EXPECT_EQ(1, ABD.compare(&abc));
    EXPECT_EQ(-1, ab.compare(&abc));
    EXPECT_EQ(1, abc.compare(&ab));
    EXPECT_EQ(0, ABC.compare(&abc));
    EXPECT_EQ(-1, empty.compare(&ab));
    EXPECT_EQ(0, empty.compare(&empty));
    // Letters of the code page beyond ASCII pair up as well (1252: e acute, E acute).
    KoSubString lower(U("caf\xE9")), upper(U("CAF\xC9"));
    EXPECT_EQ(0, lower.compare(&upper));
    // Through the base class, as the sorted containers call it.
    const KoObject& base = abc;
    EXPECT_EQ(-1, base.compare(&ABD));
}

TEST_F(SubStringTest, FindSubStringSearchesFromStartAndAnswersLengthWhenAbsent) {
    KoSubString s(U("abcb"));
    EXPECT_EQ(1u, s.findSubString(U("b"), 0));
    EXPECT_EQ(3u, s.findSubString(U("b"), 2));
    EXPECT_EQ(4u, s.findSubString(U("b"), 4));
    EXPECT_EQ(4u, s.findSubString(U("b"), 9));
    EXPECT_EQ(2u, s.findSubString(U("cb"), 0));
    EXPECT_EQ(4u, s.findSubString(U("cbx"), 0));
    EXPECT_EQ(4u, s.findSubString(U("abcbx"), 0));
    // An empty pattern finds nothing (a replacement loop over it would never end).
    EXPECT_EQ(4u, s.findSubString(U(""), 0));
    // A match running past the end of the view is no match.
    KoSubString view(U("abcd"), 3);
    EXPECT_EQ(3u, view.findSubString(U("cd"), 0));
    EXPECT_EQ(0u, KoSubString().findSubString(U("a"), 0));
}

TEST_F(SubStringTest, FindAndCountCharacters) {
    KoSubString s(U("a,b,,c"));
    EXPECT_EQ(1u, s.findChar(',', 0));
    EXPECT_EQ(3u, s.findChar(',', 2));
    EXPECT_EQ(6u, s.findChar(';', 0));
    EXPECT_EQ(6u, s.findChar(',', 6));
    EXPECT_EQ(3u, s.countChar(','));
    // Counting stops at a zero byte.
    KoSubString zero(U("a,\0,b"), 5);
    EXPECT_EQ(1u, zero.countChar(','));
    EXPECT_EQ(3u, zero.findChar(',', 2));
    // More than 65535 hits are counted in full.
    std::string many(70000, ',');
    EXPECT_EQ(70000u, KoSubString(U(many.c_str()), 70000).countChar(','));
}

TEST_F(SubStringTest, IndexInSetMatchesWholeViewsOnly) {
    const unsigned char* set[] = {U("ab"), U("abc"), U("ABCD"), nullptr, U("")};
    EXPECT_EQ(1, KoSubString(U("abc")).indexInSet(set, 5));
    EXPECT_EQ(0, KoSubString(U("abc"), 2).indexInSet(set, 5));
    EXPECT_EQ(5, KoSubString(U("ABC")).indexInSet(set, 5));
    EXPECT_EQ(1, KoSubString(U("ABC")).indexInSetCi(set, 5));
    EXPECT_EQ(2, KoSubString(U("abcd")).indexInSetCi(set, 5));
    EXPECT_EQ(5, KoSubString(U("abcde")).indexInSetCi(set, 5));
    EXPECT_EQ(4, KoSubString(U("")).indexInSet(set, 5));
    EXPECT_EQ(2, KoSubString(U("x")).indexInSet(set, 2));
}

TEST_F(SubStringTest, RightBlankTrimShortensTheViewOnly) {
    char buffer[] = "ab \t\r\n";
    KoSubString s(U(buffer));
    s.rightBlankTrim();
    EXPECT_EQ("ab", str(s));
    EXPECT_STREQ("ab \t\r\n", buffer);
    KoSubString blanks(U("   "));
    blanks.rightBlankTrim();
    EXPECT_EQ(0u, blanks.length);
    KoSubString inner(U(" a b"));
    inner.rightBlankTrim();
    EXPECT_EQ(" a b", str(inner));
}

TEST_F(SubStringTest, QuotedAndUnquotedCopies) {
    unsigned char out[32];
    KoSubString plain(U("it's"));
    EXPECT_EQ(out, plain.getCopyQuoted(out, '\''));
    EXPECT_STREQ("'it''s'", reinterpret_cast<char*>(out));
    KoSubString quoted(U("'it''s'"));
    EXPECT_EQ(out, quoted.getCopyUnquoted(out));
    EXPECT_STREQ("it's", reinterpret_cast<char*>(out));
    KoSubString empty;
    empty.getCopyQuoted(out, '"');
    EXPECT_STREQ("\"\"", reinterpret_cast<char*>(out));
    empty.getCopyUnquoted(out);
    EXPECT_STREQ("", reinterpret_cast<char*>(out));
}

TEST_F(SubStringTest, CopyQuotedStrAppendsTheContentOfALiteral) {
    KoString out;
    ASSERT_EQ(koSuccess, out.initialize(U("x:")));
    KoSubString literal(U("'it''s' tail"), 7);
    EXPECT_EQ(koSuccess, literal.copyQuotedStr(&out));
    EXPECT_EQ("x:it's", str(out));
    // Room is made once, for everything the literal could yield.
    EXPECT_EQ(2u + 7u + 1u, out.capacity);

    KoString open;
    EXPECT_EQ(koSuccess, KoSubString(U("\"abc")).copyQuotedStr(&open));
    EXPECT_EQ("abc", str(open));
    KoString empty;
    EXPECT_EQ(koSuccess, KoSubString(U("''")).copyQuotedStr(&empty));
    EXPECT_EQ(0u, empty.length);

    // The literal may be part of the output string itself.
    KoString self;
    ASSERT_EQ(koSuccess, self.initialize(U("'a''b'")));
    KoSubString own(self.text, self.length);
    ASSERT_EQ(koSuccess, own.copyQuotedStr(&self));
    EXPECT_EQ("'a''b'a'b", str(self));
}

TEST_F(SubStringTest, GetLinesSplitsAtLineEndsAndSkipsEmptyLines) {
    KoArray lines;
    lines.flags |= KoArray::ownsElements;
    char buffer[] = "a\r\n\r\nb\r\n";
    KoSubString s(U(buffer), 8, koCPUtf8);
    ASSERT_EQ(koSuccess, s.getLines(&lines));
    ASSERT_EQ(2u, lines.count);
    EXPECT_EQ("a", str(*static_cast<KoString*>(lines.getAt(0))));
    EXPECT_EQ("b", str(*static_cast<KoString*>(lines.getAt(1))));
    EXPECT_EQ(koCPUtf8, static_cast<KoString*>(lines.getAt(1))->cpType);

    // A last stretch without a line end is a line; the byte after the view becomes a terminator.
    char tail[] = "one\r\ntwoXYZ";
    KoSubString t(U(tail), 8);
    ASSERT_EQ(koSuccess, t.getLines(&lines));
    ASSERT_EQ(4u, lines.count);
    EXPECT_EQ("one", str(*static_cast<KoString*>(lines.getAt(2))));
    EXPECT_EQ("two", str(*static_cast<KoString*>(lines.getAt(3))));
    EXPECT_EQ(0, tail[8]);
    // A lone line feed is no line end.
    char lf[] = "x\ny";
    KoSubString l(U(lf));
    ASSERT_EQ(koSuccess, l.getLines(&lines));
    EXPECT_EQ("x\ny", str(*static_cast<KoString*>(lines.getAt(4))));
}

using KoStringTest = StringTest;

TEST_F(KoStringTest, InitializeAllocatesExactlyTheTextAndATerminator) {
    KoString s;
    EXPECT_EQ(nullptr, s.text);
    EXPECT_EQ(1, s.ownsBuffer);
    ASSERT_EQ(koSuccess, s.initialize(U("hello")));
    EXPECT_EQ(5u, s.length);
    EXPECT_EQ(5u, s.origLength);
    EXPECT_EQ(6u, s.capacity);
    EXPECT_EQ(0, s.text[5]);
    EXPECT_EQ(koCPAnsi, s.cpType);

    KoString r(koCPUtf8);
    ASSERT_EQ(koSuccess, r.initialize(10));
    EXPECT_EQ(0u, r.length);
    EXPECT_EQ(11u, r.capacity);
    ASSERT_EQ(koSuccess, r.initialize(U("abcdef"), 3, koCPUtf8));
    EXPECT_EQ("abc", str(r));
    EXPECT_EQ(4u, r.capacity);
    EXPECT_EQ(koCPUtf8, r.cpType);
    // Re-initializing from its own bytes is safe.
    ASSERT_EQ(koSuccess, r.initialize(r.text + 1, 2));
    EXPECT_EQ("bc", str(r));

    r.unInitialize();
    EXPECT_EQ(nullptr, r.text);
    EXPECT_EQ(0u, r.length);
    EXPECT_EQ(0u, r.capacity);
}

TEST_F(KoStringTest, AppendsGrowToExactlyWhatIsNeeded) {
    KoString s;
    ASSERT_EQ(koSuccess, s.concat(static_cast<unsigned char>('a')));
    EXPECT_EQ(2u, s.capacity);
    ASSERT_EQ(koSuccess, s.concat(U("bc")));
    EXPECT_EQ(4u, s.capacity);
    ASSERT_EQ(koSuccess, s.concat(U("d"), 1));
    EXPECT_EQ(5u, s.capacity);
    ASSERT_EQ(koSuccess, s.concat(uint32_t(7)));
    EXPECT_EQ(4u + 16u, s.capacity);
    EXPECT_EQ("abcd7", str(s));
    // Room already there: no growth.
    ASSERT_EQ(koSuccess, s.concat('e'));
    EXPECT_EQ(20u, s.capacity);
    EXPECT_EQ("abcd7e", str(s));
    // An empty append on a new string still gives it a buffer for the terminator.
    KoString e;
    ASSERT_EQ(koSuccess, e.concat(U(""), 0));
    ASSERT_NE(nullptr, e.text);
    EXPECT_EQ(1u, e.capacity);
}

TEST_F(KoStringTest, NumbersAppendInDecimal) {
    struct Case {
        int32_t value;
        const char* text;
    } cases[] = {{-42, "-42"}, {0, "0"}, {7, "7"}, {INT32_MIN, "-2147483648"}, {INT32_MAX, "2147483647"}};
    for (const Case& c : cases) {
        KoString s;
        ASSERT_EQ(koSuccess, s.concat(c.value));
        EXPECT_EQ(c.text, str(s)) << c.value;
    }
    KoString u;
    ASSERT_EQ(koSuccess, u.concat(U("n=")));
    ASSERT_EQ(koSuccess, u.concat(UINT32_MAX));
    ASSERT_EQ(koSuccess, u.concat(uint32_t(0)));
    EXPECT_EQ("n=42949672950", str(u));
}

TEST_F(KoStringTest, AppendingItsOwnBytesSurvivesTheGrowth) {
    KoString s;
    ASSERT_EQ(koSuccess, s.initialize(U("abcdef")));
    ASSERT_EQ(koSuccess, s.concat(s.text + 1, 3));
    EXPECT_EQ("abcdefbcd", str(s));
    ASSERT_EQ(koSuccess, s.concat(s.text, s.length));
    EXPECT_EQ("abcdefbcdabcdefbcd", str(s));
}

TEST_F(KoStringTest, AnAdoptedBufferIsEditedInPlaceButNeverGrows) {
    unsigned char buffer[10] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', '!', '!'};
    KoString s;
    s.initializeWithBuffer(buffer, 10, 8);
    EXPECT_EQ(0, s.ownsBuffer);
    EXPECT_EQ(8u, s.length);
    ASSERT_EQ(koSuccess, s.concat(static_cast<unsigned char>('i'))); // 8 + 2 <= 10
    EXPECT_EQ(0u, KoErrorKeeper::getLastErrorNumber());
    EXPECT_EQ(koFailure, s.concat(U("jk"), 2));
    EXPECT_EQ(2716, KoErrorKeeper::getLastErrorNumber());
    EXPECT_EQ("abcdefghi", str(s));
    EXPECT_EQ('!', buffer[9]);
    EXPECT_EQ(buffer, s.text);

    // Edits within the size work in place.
    ASSERT_EQ(koSuccess, s.changeBytes(0, 3, U("X"), 1));
    EXPECT_EQ("Xdefghi", str(s));
    EXPECT_EQ(0, buffer[7]);
    EXPECT_EQ(koFailure, s.addQuotedBytes(KoSubString(U("zz")), '"')); // 7 + 2 + 3 > 10
    EXPECT_EQ("Xdefghi", str(s));

    // A full adopted buffer gets no terminator written past its end.
    unsigned char full[4] = {'w', 'x', 'y', 'z'};
    KoString f;
    f.initializeWithBuffer(full, 4, koCPUtf8, 4);
    EXPECT_EQ(koCPUtf8, f.cpType);
    ASSERT_EQ(koSuccess, f.changeBytes(1, 1, U("X"), 1));
    EXPECT_EQ("wXyz", str(f));

    // Given up, the string may allocate its own buffer again; the adopted one is never freed.
    s.unInitialize();
    ASSERT_EQ(koSuccess, s.concat(U("new")));
    EXPECT_EQ("new", str(s));
}

TEST_F(KoStringTest, ChangeBytesReplacesGrowsShrinksAndOpensGaps) {
    KoString s;
    fill(s, "abcde");
    ASSERT_EQ(koSuccess, s.changeBytes(2, 1, U("XYZ"), 0));
    EXPECT_EQ("abXYZde", str(s));
    EXPECT_EQ(0, s.text[s.length]);
    EXPECT_EQ(8u, s.capacity);

    fill(s, "abcdef");
    ASSERT_EQ(koSuccess, s.changeBytes(1, 3, U("X"), 1));
    EXPECT_EQ("aXef", str(s));
    EXPECT_EQ(0, s.text[4]);
    ASSERT_EQ(koSuccess, s.changeBytes(1, 2, nullptr, 0));
    EXPECT_EQ("af", str(s));
    ASSERT_EQ(koSuccess, s.changeBytes(2, 0, U("gh"), 2));
    EXPECT_EQ("afgh", str(s));

    fill(s, "abcde");
    ASSERT_EQ(koSuccess, s.changeBytes(0, 0, nullptr, 2));
    EXPECT_EQ(7u, s.length);
    EXPECT_EQ("abcde", str(s).substr(2));

    // A range beyond the text is refused and changes nothing.
    fill(s, "abc");
    EXPECT_EQ(koFailure, s.changeBytes(4, 0, U("x"), 1));
    EXPECT_EQ(koFailure, s.changeBytes(2, 2, U("x"), 1));
    EXPECT_EQ("abc", str(s));
}

TEST_F(KoStringTest, ChangeBytesTakesItsSourceFromItsOwnText) {
    KoString s;
    fill(s, "abcdef");
    ASSERT_EQ(koSuccess, s.changeBytes(0, 1, s.text + 3, 3)); // from the tail
    EXPECT_EQ("defbcdef", str(s));
    fill(s, "abcdef");
    ASSERT_EQ(koSuccess, s.changeBytes(4, 1, s.text, 2)); // from before the range
    EXPECT_EQ("abcdabf", str(s));
    fill(s, "abcdef");
    ASSERT_EQ(koSuccess, s.changeBytes(1, 3, s.text + 2, 4)); // overlapping the range
    EXPECT_EQ("acdefef", str(s));
    fill(s, "abcdef");
    ASSERT_EQ(koSuccess, s.changeBytes(0, 4, s.text + 4, 2)); // tail, shrinking
    EXPECT_EQ("efef", str(s));
}

TEST_F(KoStringTest, ReplaceSubStringNeverSearchesWhatItInserted) {
    KoString s;
    fill(s, "aaa");
    ASSERT_EQ(koSuccess, s.replaceSubString(U("a"), U("aa")));
    EXPECT_EQ("aaaaaa", str(s));

    fill(s, "a-b--c-");
    ASSERT_EQ(koSuccess, s.replaceSubString(U("-"), nullptr));
    EXPECT_EQ("abc", str(s));

    fill(s, "one two one");
    ASSERT_EQ(koSuccess, s.replaceSubString(U("one"), 3, U("1"), 1));
    EXPECT_EQ("1 two 1", str(s));

    // A replacement given without its length is inserted whole and skipped all the same.
    fill(s, "xx");
    ASSERT_EQ(koSuccess, s.replaceSubString(U("x"), 1, U("xx"), 0));
    EXPECT_EQ("xxxx", str(s));

    fill(s, "abc");
    ASSERT_EQ(koSuccess, s.replaceSubString(U("zz"), U("y")));
    EXPECT_EQ("abc", str(s));
}

TEST_F(KoStringTest, ReplaceSubStringOfAViewReplacesExactlyThoseBytes) {
    KoString s;
    fill(s, "abcdbc");
    KoSubString part(s.text + 4, 2);
    ASSERT_EQ(koSuccess, s.replaceSubString(&part, U("XYZ"), 3));
    EXPECT_EQ("abcdXYZ", str(s));
    KoSubString foreign(U("bc"));
    EXPECT_EQ(koFailure, s.replaceSubString(&foreign, U("Q"), 1));
    KoSubString tooLong(s.text + 5, 4);
    EXPECT_EQ(koFailure, s.replaceSubString(&tooLong, U("Q"), 1));
    EXPECT_EQ("abcdXYZ", str(s));
}

TEST_F(KoStringTest, QuotesAreAddedAndRemoved) {
    KoString s;
    fill(s, "it's");
    ASSERT_EQ(koSuccess, s.addQuotes('\''));
    EXPECT_EQ("'it''s'", str(s));
    EXPECT_EQ(0, s.text[s.length]);
    EXPECT_EQ(4u + 1u + 3u, s.capacity);
    s.removeQuotes();
    EXPECT_EQ("it's", str(s));
    EXPECT_EQ(0, s.text[s.length]);

    KoString empty;
    ASSERT_EQ(koSuccess, empty.addQuotes('"'));
    EXPECT_EQ("\"\"", str(empty));
    empty.removeQuotes();
    EXPECT_EQ("", str(empty));

    fill(s, "x");
    s.removeQuotes();
    EXPECT_EQ("x", str(s));
    // The first byte decides the quote; a single inner quote stays.
    fill(s, "\"a\"\"b'c\"");
    s.removeQuotes();
    EXPECT_EQ("a\"b'c", str(s));

    // Quotes after a zero byte are doubled too, and room is made for them.
    fill(s, std::string("a\0'b'", 5));
    ASSERT_EQ(koSuccess, s.addQuotes('\''));
    EXPECT_EQ(std::string("'a\0''b'''", 9), str(s));
}

TEST_F(KoStringTest, AddQuotedBytesAppendsAQuotedLiteral) {
    KoString s;
    fill(s, "name=");
    KoSubString part(U("O'Neil"));
    ASSERT_EQ(koSuccess, s.addQuotedBytes(part, '\''));
    EXPECT_EQ("name='O''Neil'", str(s));
    EXPECT_EQ(0, s.text[s.length]);
    EXPECT_EQ(5u + 1u + 6u + 3u, s.capacity);

    // The part may be this string's own text.
    fill(s, "ab'c");
    KoSubString self(s.text, s.length);
    ASSERT_EQ(koSuccess, s.addQuotedBytes(self, '\''));
    EXPECT_EQ("ab'c'ab''c'", str(s));
}

TEST_F(KoStringTest, ForceEolAddsLineEndsUpToTheCount) {
    KoString s;
    fill(s, "x\r\n");
    ASSERT_EQ(koSuccess, s.forceEol(2));
    EXPECT_EQ("x\r\n\r\n", str(s));
    EXPECT_EQ(6u, s.capacity);
    fill(s, "x\r\n\r\n\r\n");
    ASSERT_EQ(koSuccess, s.forceEol(2));
    EXPECT_EQ("x\r\n\r\n\r\n", str(s));
    fill(s, "x");
    ASSERT_EQ(koSuccess, s.forceEol(0));
    ASSERT_EQ(koSuccess, s.forceEol(-3));
    EXPECT_EQ("x", str(s));
    fill(s, "a\n");
    ASSERT_EQ(koSuccess, s.forceEol(1));
    EXPECT_EQ("a\n\r\n", str(s));
    KoString empty;
    ASSERT_EQ(koSuccess, empty.forceEol(1));
    EXPECT_EQ("\r\n", str(empty));
}

TEST_F(KoStringTest, InsertLineBreaksWrapsAtSpacesOutsideQuotes) {
    KoString s;
    fill(s, "the quick brown fox");
    ASSERT_EQ(koSuccess, s.insertLineBreaks(10, 0, 0, 0));
    EXPECT_EQ("the quick\r\nbrown fox", str(s));
    EXPECT_EQ(0, s.text[s.length]);

    fill(s, "say 'a b c d' now");
    ASSERT_EQ(koSuccess, s.insertLineBreaks(5, '\'', 0, 0));
    EXPECT_EQ("say\r\n'a b c d'\r\nnow", str(s));
    fill(s, "say 'a b c d' now");
    ASSERT_EQ(koSuccess, s.insertLineBreaks(5, 0, '\'', 0)); // tracking needs q1
    EXPECT_EQ("say\r\n'a b\r\nc d'\r\nnow", str(s));
    fill(s, "x \"a b\" 'c d' e");
    ASSERT_EQ(koSuccess, s.insertLineBreaks(3, '\'', '"', 0));
    EXPECT_EQ("x\r\n\"a b\"\r\n'c d'\r\ne", str(s));

    // A word longer than the width stays whole.
    fill(s, "a verylongword b");
    ASSERT_EQ(koSuccess, s.insertLineBreaks(4, 0, 0, 0));
    EXPECT_EQ("a\r\nverylongword\r\nb", str(s));

    // Not longer than the width: left alone.
    fill(s, "short text");
    uint32_t capacity = s.capacity;
    ASSERT_EQ(koSuccess, s.insertLineBreaks(10, 0, 0, 0));
    EXPECT_EQ("short text", str(s));
    EXPECT_EQ(capacity, s.capacity);
}

TEST_F(KoStringTest, InsertLineBreaksMakesMoreThanItReservedForManyLines) {
    std::string words, expected;
    for (int i = 0; i < 300; ++i) {
        words += (i ? " " : "") + std::string("ab");
        expected += (i ? "\r\n" : "") + std::string("ab");
    }
    KoString s;
    fill(s, words);
    ASSERT_EQ(koSuccess, s.insertLineBreaks(2, 0, 0, 0));
    EXPECT_EQ(expected, str(s));
}

TEST_F(KoStringTest, RunsOfSeparatorsBecomeOneSpace) {
    enum Op { lineBreaks, tabs, lineFeeds };
    struct Case {
        Op op;
        const char* text;
        unsigned char q1, q3;
        const char* expected;
    } cases[] = {
        {lineBreaks, "a\r\n\r\nb\r\n", 0, 0, "a b"},
        {lineBreaks, "'x\r\ny'\r\nz\r\n", '\'', 0, "'x\r\ny' z"},
        {lineBreaks, "a\rb\nc", 0, 0, "a\rb\nc"},
        {tabs, "a\t\tb\t", 0, 0, "a b"},
        {tabs, "\ta\"\t\"\tb", '"', 0, " a\"\t\" b"},
        {tabs, "\t", 0, 0, ""},
        {lineFeeds, "a\r\rb\n", 0, 0, "a b"},
        {lineFeeds, "a\n\r\nb", 0, 0, "a b"},
        {lineFeeds, "\"\n\"\n'\r'\n", '"', '\'', "\"\n\" '\r'"},
    };
    for (const Case& c : cases) {
        KoString s;
        fill(s, c.text);
        KoStatus st = c.op == lineBreaks ? s.removeLineBreaks(c.q1, 0, c.q3)
                      : c.op == tabs     ? s.removeTabs(c.q1, 0, c.q3)
                                         : s.removeLineFeeds(c.q1, 0, c.q3);
        EXPECT_EQ(koSuccess, st) << c.text;
        EXPECT_EQ(c.expected, str(s)) << c.text;
        EXPECT_EQ(0, s.text[s.length]) << c.text;
    }
}

} // namespace
