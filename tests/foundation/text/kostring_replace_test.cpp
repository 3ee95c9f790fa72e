// The one-pass rewriter, parameter templates, and texts in double-byte and UTF-8 encodings.
#include <gtest/gtest.h>
#include <string>
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

class RewriteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koSuccess, koLibraryLoad());
        kotest::useBuildResources();
    }
    void SetUp() override { KoErrorKeeper::setErrorList(&errors_); }
    void TearDown() override {
        ramFailAt(0);
        KoErrorKeeper::giveUpErrorList();
        koSetAnsiCodePage(1252);
    }
    KoErrorList errors_;
};

std::string sampleText(int words) {
    std::string s;
    for (int i = 0; i < words; ++i)
        s += (i % 3 == 0) ? "x's " : (i % 3 == 1 ? "plain " : "xx ");
    return s;
}

// Rewrites target in one pass, every "x" becoming "<x>", and stops at the first failure. Returns
// the output written and the number of input bytes consumed, so a caller can check a cut-short
// rewrite.
KoStatus expandX(KoString& target, std::string* written = nullptr, size_t* read = nullptr) {
    KoReplaceString r(&target);
    while (r.length > 0) {
        std::string piece = r.text[0] == 'x' ? "<x>" : std::string(1, char(r.text[0]));
        // Plain bytes are copied from the remainder itself, which moves whenever the gap widens.
        KoStatus st = piece.size() == 1 ? r.concat(r.text, 1) : r.concat(U(piece.c_str()), 3);
        if (st != koSuccess) return st;
        r.skip(1);
        if (written) *written += piece;
        if (read) ++*read;
    }
    return koSuccess;
}

TEST_F(RewriteTest, OnePassRewriteWithOutputLongerThanInput) {
    std::string input = sampleText(2000), expected;
    for (char c : input)
        expected += c == 'x' ? std::string("<x>") : std::string(1, c);
    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U(input.c_str())));
    ASSERT_EQ(koSuccess, expandX(target));
    EXPECT_EQ(expected, str(target));
    EXPECT_EQ(target.length + 1, target.capacity); // the gap is given back
    EXPECT_EQ(0, target.text[target.length]);

    // Shrinking, and ending early: unread input stays behind the output.
    ASSERT_EQ(koSuccess, target.initialize(U("a-b-c|tail")));
    {
        KoReplaceString r(&target);
        for (int i = 0; i < 5; ++i) {
            if (r.text[0] != '-') {
                ASSERT_EQ(koSuccess, r.concat(r.text, 1));
            }
            r.skip(1);
        }
    }
    EXPECT_EQ("abc|tail", str(target));

    // Without a target there is nowhere to write.
    KoReplaceString none;
    EXPECT_EQ(koFailure, none.concat(U("x"), 1));
}

TEST_F(RewriteTest, QuotedBytesMayComeFromTheRemainderTheOutputOrOutside) {
    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U("ab it's cd")));
    {
        KoReplaceString r(&target);
        while (r.length > 0) {
            uint32_t word = r.findChar(' ', 0);
            ASSERT_EQ(koSuccess, r.addQuotedBytes(r.text, word, '\''));
            r.skip(word);
            if (r.length > 0) {
                ASSERT_EQ(koSuccess, r.concat(r.text, 1));
                r.skip(1);
            }
        }
    }
    EXPECT_EQ("'ab' 'it''s' 'cd'", str(target));

    ASSERT_EQ(koSuccess, target.initialize(U("k=v;rest")));
    {
        KoReplaceString r(&target);
        ASSERT_EQ(koSuccess, r.concat(r.text, 4));
        r.skip(4);
        ASSERT_EQ(koSuccess, r.addQuotedBytes(target.text, 3, '"')); // output already written
        ASSERT_EQ(koSuccess, r.addQuotedBytes(U("q\"q"), 3, '"'));
    }
    EXPECT_EQ("k=v;\"k=v\"\"q\"\"q\"rest", str(target));

    unsigned char buffer[16] = "abc"; // an adopted target cannot widen its gap
    target.initializeWithBuffer(buffer, 16, 3);
    {
        KoReplaceString r(&target);
        EXPECT_EQ(koFailure, r.concat(U("x"), 1));
        EXPECT_EQ(2716, KoErrorKeeper::getLastErrorNumber());
    }
    EXPECT_EQ("abc", str(target));
}

TEST_F(RewriteTest, ARewriteCutShortByMemoryKeepsOutputAndUnreadInput) {
    std::string input = sampleText(400);
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            KoString target;
            if (target.initialize(U(input.c_str())) != koSuccess) return;
            std::string written;
            size_t read = 0;
            expandX(target, &written, &read);
            EXPECT_EQ(written + input.substr(read), str(target));
        },
        [](unsigned, bool) {});
    EXPECT_GT(runs, 3u);

    // A quoted write either lands whole or not at all.
    kotest::forEachAllocationFailure(
        [&] {
            KoString target;
            if (target.initialize(U("key=value")) != koSuccess) return;
            KoStatus st;
            {
                KoReplaceString r(&target);
                r.skip(4);
                st = r.addQuotedBytes(U("it's"), 4, '\'');
            }
            EXPECT_EQ(st == koSuccess ? "'it''s'value" : "value", str(target));
        },
        [](unsigned, bool) {});
}

TEST_F(RewriteTest, TemplateMarkersAreFilledInOrderByKind) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("Table %s1 has %d2 rows")));
    p << U("T1") << uint32_t(5);
    EXPECT_EQ("Table T1 has 5 rows", str(p));

    ASSERT_EQ(koSuccess, p.initialize(U("%d1 / %d2 / %s3 / %s1 / %s4")));
    KoSubString view(U("abcdef"), 3);
    p << int32_t(-7) << INT32_MIN << U("") << view;
    EXPECT_EQ("-7 / -2147483648 /  / %s1 / abc", str(p)); // "%s1" is not a number's marker

    // A text may carry a later marker: it is filled like the others.
    ASSERT_EQ(koSuccess, p.initialize(U("%s1 and %d2")));
    p << U("[%d2]") << uint32_t(9);
    EXPECT_EQ("[9] and 9", str(p));

    // A new template restarts the numbering and may come from the old one.
    ASSERT_EQ(koSuccess, p.initialize(U("old %s1 <%s2>")));
    ASSERT_EQ(koSuccess, p.initialize(p.text + 4));
    p << KoSubString(U("xyz"), 0) << U("b");
    EXPECT_EQ(" <b>", str(p));
    ASSERT_EQ(koSuccess, p.initialize(U("name=%s1"), koCPUtf8));
    EXPECT_EQ(koSuccess, p.setQuotedParam(U("O'Neil"), '\''));
    EXPECT_EQ("name='O''Neil'", str(p));
    EXPECT_EQ(koCPUtf8, p.cpType);
}

TEST_F(RewriteTest, TenAndMoreParametersUseTheLongMarkers) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("A=%s1 J=%sx10 K=%dx11 L=%sx12 %s2")));
    const char* words[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
    for (const char* w : words)
        p << U(w);
    p << uint32_t(11) << U("twelve") << U("thirteen");
    EXPECT_EQ("A=one J=ten K=11 L=twelve two", str(p));
    EXPECT_EQ(13, p.paramCount);
    EXPECT_FALSE(p.hasFailed());

    ASSERT_EQ(koSuccess, p.initialize(U("%sx11|%sx19|%s1")));
    for (int i = 1; i <= 19; ++i)
        p << U(("v" + std::to_string(i)).c_str());
    EXPECT_EQ("v11|v19|v1", str(p));
}

TEST_F(RewriteTest, TheFirstFailureOfATemplateStopsLaterSubstitutions) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("%s1 %s2 %s3")));
    p << U("a");
    ramFailAt(1);
    p << U("a much longer text than fits");
    ramFailAt(0);
    EXPECT_TRUE(p.hasFailed());
    p << U("c");
    EXPECT_EQ("a %s2 %s3", str(p));

    kotest::forEachAllocationFailure(
        [] {
            KoParamString q;
            if (q.initialize(U("%s1=%d2 (%s3)")) != koSuccess) {
                EXPECT_TRUE(q.hasFailed());
                return;
            }
            q << U("rows") << uint32_t(12345);
            KoStatus st = q.setQuotedParam(U("a'b"), '\'');
            if (!q.hasFailed()) {
                EXPECT_EQ(koSuccess, st);
                EXPECT_EQ("rows=12345 ('a''b')", str(q));
            }
        },
        [](unsigned, bool) {});
}

// Code page 932: 0x95 0x5C is one character whose trail byte is a backslash, and 0x82 0x61 one
// whose trail byte is a letter.
TEST_F(RewriteTest, DoubleByteCharactersAreSteppedWhole) {
    const unsigned char* text = U("\x95\x5C\\x");
    const unsigned char* literal = U("\\\x95\x5C"
                                     "A\\");
    for (UINT codePage : {1252u, 932u}) { // 932 stays set for the rest
        SCOPED_TRACE(codePage);
        ASSERT_TRUE(koSetAnsiCodePage(codePage));
        bool dbcs = codePage == 932;
        KoSubString s(text);
        EXPECT_EQ(dbcs ? 2u : 1u, s.findChar('\\', 0));
        EXPECT_EQ(dbcs ? 1u : 2u, s.countChar('\\'));
        EXPECT_EQ(dbcs ? 4u : 1u, s.findSubString(U("\\\\"), 0));
        KoString out;
        ASSERT_EQ(koSuccess, KoSubString(literal).copyQuotedStr(&out));
        EXPECT_EQ(dbcs ? "\x95\x5C"
                         "A"
                       : "\x95"
                         "A",
                  str(out));
        KoSubString lower(U("\x82"
                            "a")),
            upper(U("\x82"
                    "A"));
        EXPECT_EQ(dbcs ? 1 : 0, lower.compare(&upper));
    }

    KoString q;
    ASSERT_EQ(koSuccess, q.initialize(U("\x95\x5C")));
    ASSERT_EQ(koSuccess, q.addQuotes('\\'));
    EXPECT_EQ("\\\x95\x5C\\", str(q));
    EXPECT_EQ(5u, q.capacity);
    ASSERT_EQ(koSuccess, q.initialize(U("\\\x95\x5C\\A\\")));
    q.removeQuotes();
    EXPECT_EQ("\x95\x5C\\A", str(q));
    ASSERT_EQ(koSuccess, q.initialize(U("\x95\x5C")));
    {
        KoReplaceString w(&q);
        ASSERT_EQ(koSuccess, w.addQuotedBytes(w.text, 2, '\\'));
        w.skip(2);
    }
    EXPECT_EQ("\\\x95\x5C\\", str(q));
}

TEST_F(RewriteTest, Utf8TrailBytesNeverMatch) {
    // e acute (C3 A9), copyright (C2 A9), euro (E2 82 AC), then a comma.
    const unsigned char* bytes = U("\xC3\xA9\xC2\xA9\xE2\x82\xAC,");
    KoSubString u(bytes, koCPUtf8), a(bytes, koCPAnsi);
    EXPECT_EQ(8u, u.findChar(0xA9, 0));
    EXPECT_EQ(1u, a.findChar(0xA9, 0));
    EXPECT_EQ(7u, u.findChar(',', 0));
    EXPECT_EQ(0u, u.countChar(0xA9));
    EXPECT_EQ(2u, a.countChar(0xA9));
    EXPECT_EQ(8u, u.findSubString(U("\xA9\xC2"), 0));
    EXPECT_EQ(1u, a.findSubString(U("\xA9\xC2"), 0));
    EXPECT_EQ(4u, u.findSubString(U("\xE2\x82"), 0));

    KoString target(koCPUtf8);
    ASSERT_EQ(koSuccess, target.initialize(U("\xE2\x82\xAC'"), koCPUtf8));
    {
        KoReplaceString w(&target);
        EXPECT_EQ(koCPUtf8, w.cpType);
        ASSERT_EQ(koSuccess, w.addQuotedBytes(w.text, 4, '\''));
        w.skip(4);
    }
    EXPECT_EQ("'\xE2\x82\xAC'''", str(target));
}

} // namespace
