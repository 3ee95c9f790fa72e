// Views and owned or adopted strings: results, exact growth, and every allocation failing in turn.
#include <gtest/gtest.h>
#include <functional>
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

class StringTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koSuccess, koLibraryLoad());
        kotest::useBuildResources();
    }
    void SetUp() override { KoErrorKeeper::setErrorList(&errors_); }
    void TearDown() override { KoErrorKeeper::giveUpErrorList(); }
    KoErrorList errors_;
};

TEST_F(StringTest, HashAndCompareIgnoreCase) {
    KoSubString a(U("Abcdefgh")), b(U("ABCDE")), c(U("abcde")), empty;
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(uint32_t('A' + 'B' + 'C' + 'D' + 'E'), c.hash());
    EXPECT_EQ(0u, empty.hash());
    EXPECT_EQ(uint32_t('A' + 'B'), KoSubString(U("abcdef"), 2).hash()); // only the viewed bytes

    KoSubString abc(U("abc")), ABD(U("ABD")), ab(U("ab")), ABC(U("ABC")), e1(U("caf\xE9")), E1(U("CAF\xC9"));
    const KoObject& base = abc; // as the sorted containers call it
    EXPECT_EQ(-1, base.compare(&ABD));
    EXPECT_EQ(1, ABD.compare(&abc));
    EXPECT_EQ(-1, ab.compare(&abc));
    EXPECT_EQ(0, ABC.compare(&abc));
    EXPECT_EQ(0, e1.compare(&E1)); // code-page letters beyond ASCII
    EXPECT_EQ(-1, empty.compare(&ab));
}

TEST_F(StringTest, SearchesAnswerTheLengthWhenNothingMatches) {
    KoSubString s(U("abcb"));
    EXPECT_EQ(1u, s.findSubString(U("b"), 0));
    EXPECT_EQ(3u, s.findSubString(U("b"), 2));
    EXPECT_EQ(4u, s.findSubString(U("b"), 4));
    EXPECT_EQ(2u, s.findSubString(U("cb"), 0));
    EXPECT_EQ(4u, s.findSubString(U("abcbx"), 0));
    EXPECT_EQ(4u, s.findSubString(U(""), 0)); // never matches, so replacing it cannot loop
    EXPECT_EQ(3u, KoSubString(U("abcd"), 3).findSubString(U("cd"), 0));
    EXPECT_EQ(3u, s.findChar('b', 2));
    EXPECT_EQ(4u, s.findChar('x', 0));
    EXPECT_EQ(4u, s.findChar('a', 4));

    EXPECT_EQ(1u, KoSubString(U("a,\0,b"), 5).countChar(',')); // counting stops at a zero byte
    std::string many(70000, ',');
    EXPECT_EQ(70000u, KoSubString(U(many.c_str())).countChar(',')); // no 16-bit wrap

    const unsigned char* set[] = {U("ab"), U("abc"), U("ABCD"), nullptr, U("")};
    EXPECT_EQ(1, KoSubString(U("abc")).indexInSet(set, 5));
    EXPECT_EQ(0, KoSubString(U("abc"), 2).indexInSet(set, 5));
    EXPECT_EQ(5, KoSubString(U("ABC")).indexInSet(set, 5));
    EXPECT_EQ(1, KoSubString(U("ABC")).indexInSetCi(set, 5));
    EXPECT_EQ(2, KoSubString(U("abcd")).indexInSetCi(set, 5));
    EXPECT_EQ(4, KoSubString(U("")).indexInSet(set, 5));

    char blanks[] = "ab \t\r\n";
    KoSubString t(U(blanks));
    t.rightBlankTrim();
    EXPECT_EQ("ab", str(t));
    EXPECT_STREQ("ab \t\r\n", blanks);
}

TEST_F(StringTest, GetLinesSkipsEmptyLinesAndKeepsALastOneWithoutLineEnd) {
    KoArray lines;
    lines.flags |= KoArray::ownsElements;
    char buffer[] = "a\r\n\r\nb\r\nc\nd|rest";
    KoSubString s(U(buffer), 11, koCPUtf8);
    ASSERT_EQ(koSuccess, s.getLines(&lines));
    ASSERT_EQ(3u, lines.count);
    EXPECT_EQ("a", str(*static_cast<KoString*>(lines.getAt(0))));
    EXPECT_EQ("b", str(*static_cast<KoString*>(lines.getAt(1))));
    EXPECT_EQ("c\nd", str(*static_cast<KoString*>(lines.getAt(2))));
    EXPECT_EQ(koCPUtf8, static_cast<KoString*>(lines.getAt(2))->cpType);
    EXPECT_EQ(0, buffer[11]);
}

TEST_F(StringTest, InitializeAllocatesExactlyAndMayCopyFromItsOwnText) {
    KoString s(koCPUtf8);
    ASSERT_EQ(koSuccess, s.initialize(10));
    EXPECT_EQ(0u, s.length);
    EXPECT_EQ(11u, s.capacity);
    ASSERT_EQ(koSuccess, s.initialize(U("hello")));
    EXPECT_EQ(6u, s.capacity);
    EXPECT_EQ(koCPAnsi, s.cpType);
    ASSERT_EQ(koSuccess, s.initialize(s.text + 1, 3, koCPUtf8));
    EXPECT_EQ("ell", str(s));
    EXPECT_EQ(4u, s.capacity);
    EXPECT_EQ(koCPUtf8, s.cpType);
}

TEST_F(StringTest, AnAdoptedBufferIsEditedInPlaceButNeverGrows) {
    unsigned char buffer[10] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', '!', '!'};
    KoString s;
    s.initializeWithBuffer(buffer, 10, 8);
    ASSERT_EQ(koSuccess, s.concat(static_cast<unsigned char>('i'))); // 8 + 2 <= 10
    EXPECT_EQ(0u, KoErrorKeeper::getLastErrorNumber());
    EXPECT_EQ(koFailure, s.concat(U("jk"), 2));
    EXPECT_EQ(2716, KoErrorKeeper::getLastErrorNumber());
    EXPECT_EQ("abcdefghi", str(s));
    EXPECT_EQ('!', buffer[9]);
    ASSERT_EQ(koSuccess, s.changeBytes(0, 3, U("X"), 1));
    EXPECT_EQ("Xdefghi", str(s));
    EXPECT_EQ(0, buffer[7]);
    EXPECT_EQ(koFailure, s.addQuotedBytes(KoSubString(U("zz")), '"')); // 7 + 2 + 3 > 10
    EXPECT_EQ("Xdefghi", str(s));

    unsigned char full[4] = {'w', 'x', 'y', 'z'}; // no terminator is written past a full buffer
    KoString f;
    f.initializeWithBuffer(full, 4, koCPUtf8, 4);
    ASSERT_EQ(koSuccess, f.changeBytes(1, 1, U("X"), 1));
    EXPECT_EQ("wXyz", str(f));

    s.unInitialize(); // given up, never freed; the string may allocate again
    ASSERT_EQ(koSuccess, s.concat(U("new")));
    EXPECT_EQ("new", str(s));
}

// One operation on a string: its start, result and the buffer size it must end with (0: not
// checked). The table runs each plainly and then with every allocation failing in turn.
struct Edit {
    const char* name;
    std::string before, after;
    uint32_t capacity;
    std::function<KoStatus(KoString&)> op;
    bool partialOnFailure = false; // a failure may leave earlier steps done
};

std::string longText() {
    std::string s;
    for (int i = 0; i < 300; ++i)
        s += i ? " ab" : "ab";
    return s;
}

std::string wrappedLongText() {
    std::string s;
    for (int i = 0; i < 300; ++i)
        s += i ? "\r\nab" : "ab";
    return s;
}

const Edit edits[] = {
    {"concat byte", "ab", "abc", 4, [](KoString& s) { return s.concat('c'); }},
    {"concat text", "ab", "abcd", 5, [](KoString& s) { return s.concat(U("cd")); }},
    {"concat own bytes", "abcdef", "abcdefbcd", 10, [](KoString& s) { return s.concat(s.text + 1, 3); }},
    {"concat -42", "n=", "n=-42", 18, [](KoString& s) { return s.concat(int32_t(-42)); }},
    {"concat 0", "", "0", 16, [](KoString& s) { return s.concat(int32_t(0)); }},
    {"concat min", "", "-2147483648", 16, [](KoString& s) { return s.concat(INT32_MIN); }},
    {"concat max unsigned", "", "4294967295", 16, [](KoString& s) { return s.concat(UINT32_MAX); }},
    {"changeBytes grow", "abcde", "abXYZde", 8, [](KoString& s) { return s.changeBytes(2, 1, U("XYZ"), 0); }},
    {"changeBytes shrink", "abcdef", "aXef", 7, [](KoString& s) { return s.changeBytes(1, 3, U("X"), 1); }},
    {"changeBytes gap", "abcde", "??abcde", 8,
     [](KoString& s) {
         KoStatus st = s.changeBytes(0, 0, nullptr, 2);
         if (st == koSuccess) s.text[0] = s.text[1] = '?';
         return st;
     }},
    {"changeBytes out of range", "abc", "abc", 4,
     [](KoString& s) { return KoStatus(!s.changeBytes(2, 2, U("x"), 1)); }},
    {"changeBytes from tail", "abcdef", "defbcdef", 9,
     [](KoString& s) { return s.changeBytes(0, 1, s.text + 3, 3); }},
    {"changeBytes from before", "abcdef", "abcdabf", 8,
     [](KoString& s) { return s.changeBytes(4, 1, s.text, 2); }},
    {"changeBytes overlapping", "abcdef", "acdefef", 8,
     [](KoString& s) { return s.changeBytes(1, 3, s.text + 2, 4); }},
    {"replace a by aa", "aaa", "aaaaaa", 0, [](KoString& s) { return s.replaceSubString(U("a"), U("aa")); },
     true},
    {"replace by nothing", "a-b--c-", "abc", 0,
     [](KoString& s) { return s.replaceSubString(U("-"), nullptr); }},
    {"replace, length by strlen", "xx", "xxxx", 0,
     [](KoString& s) { return s.replaceSubString(U("x"), 1, U("xx"), 0); }, true},
    {"replace a view", "abcdbc", "abcdXYZ", 0,
     [](KoString& s) {
         KoSubString part(s.text + 4, 2), foreign(U("bc"));
         if (s.replaceSubString(&foreign, U("Q"), 1) == koSuccess) return koFailure;
         return s.replaceSubString(&part, U("XYZ"), 3);
     }},
    {"addQuotes", "it's", "'it''s'", 8, [](KoString& s) { return s.addQuotes('\''); }},
    {"addQuotes empty", "", "\"\"", 3, [](KoString& s) { return s.addQuotes('"'); }},
    {"addQuotes past a zero", std::string("a\0'b'", 5), std::string("'a\0''b'''", 9), 10,
     [](KoString& s) { return s.addQuotes('\''); }},
    {"removeQuotes", "'it''s'", "it's", 8,
     [](KoString& s) {
         s.removeQuotes();
         return koSuccess;
     }},
    {"removeQuotes single inner", "\"a\"\"b'c\"", "a\"b'c", 0,
     [](KoString& s) {
         s.removeQuotes();
         return koSuccess;
     }},
    {"addQuotedBytes", "v=", "v='O''Neil'", 12,
     [](KoString& s) { return s.addQuotedBytes(KoSubString(U("O'Neil")), '\''); }},
    {"addQuotedBytes of itself", "ab'c", "ab'c'ab''c'", 12,
     [](KoString& s) { return s.addQuotedBytes(KoSubString(s.text, s.length), '\''); }},
    {"copyQuotedStr of itself", "'a''b'", "'a''b'a'b", 13,
     [](KoString& s) { return KoSubString(s.text, s.length).copyQuotedStr(&s); }},
    {"forceEol adds", "x\r\n", "x\r\n\r\n", 6, [](KoString& s) { return s.forceEol(2); }},
    {"forceEol enough", "x\r\n\r\n\r\n", "x\r\n\r\n\r\n", 8, [](KoString& s) { return s.forceEol(2); }},
    {"forceEol lone LF", "a\n", "a\n\r\n", 5, [](KoString& s) { return s.forceEol(1); }},
    {"wrap", "the quick brown fox", "the quick\r\nbrown fox", 0,
     [](KoString& s) { return s.insertLineBreaks(10, 0, 0, 0); }},
    {"wrap around quotes", "say 'a b c d' now", "say\r\n'a b c d'\r\nnow", 0,
     [](KoString& s) { return s.insertLineBreaks(5, '\'', 0, 0); }},
    {"wrap, tracking needs q1", "say 'a b c d' now", "say\r\n'a b\r\nc d'\r\nnow", 0,
     [](KoString& s) { return s.insertLineBreaks(5, 0, '\'', 0); }},
    {"wrap two quotes", "x \"a b\" 'c d' e", "x\r\n\"a b\"\r\n'c d'\r\ne", 0,
     [](KoString& s) { return s.insertLineBreaks(3, '\'', '"', 0); }},
    {"wrap long word", "a verylongword b", "a\r\nverylongword\r\nb", 0,
     [](KoString& s) { return s.insertLineBreaks(4, 0, 0, 0); }},
    {"wrap beyond the reserve", longText(), wrappedLongText(), 0,
     [](KoString& s) { return s.insertLineBreaks(2, 0, 0, 0); }},
    {"wrap short", "short text", "short text", 11,
     [](KoString& s) { return s.insertLineBreaks(10, 0, 0, 0); }},
    {"line breaks", "a\r\n\r\nb\r\n", "a b", 0, [](KoString& s) { return s.removeLineBreaks(0, 0, 0); }},
    {"line breaks quoted", "'x\r\ny'\r\nz\r\n", "'x\r\ny' z", 0,
     [](KoString& s) { return s.removeLineBreaks('\'', 0, 0); }},
    {"line breaks only pairs", "a\rb\nc", "a\rb\nc", 0,
     [](KoString& s) { return s.removeLineBreaks(0, 0, 0); }},
    {"tabs", "a\t\tb\t", "a b", 0, [](KoString& s) { return s.removeTabs(0, 0, 0); }},
    {"tabs quoted", "\ta\"\t\"\tb", " a\"\t\" b", 0, [](KoString& s) { return s.removeTabs('"', 0, 0); }},
    {"line feeds", "a\r\rb\n", "a b", 0, [](KoString& s) { return s.removeLineFeeds(0, 0, 0); }},
    {"line feeds quoted", "\"\n\"\n'\r'\n", "\"\n\" '\r'", 0,
     [](KoString& s) { return s.removeLineFeeds('"', 0, '\''); }},
};

TEST_F(StringTest, EditsGiveTheirResultAndGrowToExactlyWhatTheyNeed) {
    for (const Edit& e : edits) {
        KoString s;
        ASSERT_EQ(koSuccess, s.initialize(U(e.before.data()), static_cast<uint32_t>(e.before.size())))
            << e.name;
        EXPECT_EQ(koSuccess, e.op(s)) << e.name;
        EXPECT_EQ(e.after, str(s)) << e.name;
        EXPECT_TRUE(e.capacity == 0 || e.capacity == s.capacity) << e.name << ": capacity " << s.capacity;
        // Appends leave the text unterminated; every other edit terminates it.
        std::string name = e.name;
        bool terminates = name.rfind("concat", 0) != 0 && name.rfind("copyQuotedStr", 0) != 0;
        EXPECT_TRUE(!terminates || s.text[s.length] == 0) << e.name << ": not terminated";
    }
}

TEST_F(StringTest, EditsFailingForMemoryKeepTheTextAndTheStringUsable) {
    for (const Edit& e : edits) {
        KoStatus status = koSuccess;
        std::string content;
        bool hit = false, usable = true;
        kotest::forEachAllocationFailure(
            [&] {
                KoString s;
                hit = false;
                usable = true;
                if (s.initialize(U(e.before.data()), static_cast<uint32_t>(e.before.size())) != koSuccess) {
                    EXPECT_EQ(nullptr, s.text) << e.name;
                    status = koFailure, content = e.before, hit = true;
                    return;
                }
                status = e.op(s);
                content = str(s);
                hit = ramFailureHit();
                // Once the injected failure has struck, allocations succeed again.
                if (hit) usable = s.concat(U("!")) == koSuccess && str(s) == content + "!";
            },
            [&](unsigned n, bool) {
                SCOPED_TRACE(std::string(e.name) + ", allocation " + std::to_string(n) + " failing");
                EXPECT_TRUE(usable);
                if (!hit) {
                    EXPECT_EQ(koSuccess, status);
                    EXPECT_EQ(e.after, content);
                } else if (e.after != e.before) {
                    EXPECT_EQ(koFailure, status);
                    EXPECT_TRUE(e.partialOnFailure || e.before == content) << content;
                }
            });
    }
}

TEST_F(StringTest, InitializeFailingLeavesNoBufferAndGetLinesKeepsWhatItAppended) {
    kotest::forEachAllocationFailure(
        [] {
            char buffer[] =
                "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n16\r\n17";
            KoArray lines;
            lines.flags |= KoArray::ownsElements;
            KoStatus st = KoSubString(U(buffer)).getLines(&lines);
            EXPECT_TRUE(st == koSuccess ? lines.count == 17 : lines.count < 17);
            for (uint32_t i = 0; i < lines.count; ++i)
                EXPECT_EQ(std::to_string(i + 1), str(*static_cast<KoString*>(lines.getAt(i))));
        },
        [](unsigned, bool) {});
}

} // namespace

TEST(KoStringQuoting, BufferFitsWhenAZeroByteHidesInsideAMultiByteCharacter) {
    // A UTF-8 lead byte followed by a zero byte: quoting steps over whole characters, and the
    // buffer must be sized by the same steps.
    const unsigned char bytes[] = {'d', 0xE6, 0x00, 0xE6, '\'', 0xE6, 0xE6, 0xE6, '<'};
    KoString s(koCPUtf8);
    ASSERT_EQ(s.initialize(bytes, sizeof bytes, koCPUtf8), koSuccess);
    ASSERT_EQ(s.addQuotes('\''), koSuccess);
    ASSERT_LE(s.length + 1, s.capacity);
    EXPECT_EQ(s.text[0], '\'');
    EXPECT_EQ(s.text[s.length - 1], '\'');
}
