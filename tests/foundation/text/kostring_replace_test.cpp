// The one-pass rewriter, parameter templates, memory exhaustion at every allocation, and texts
// in double-byte and UTF-8 encodings.
#include <gtest/gtest.h>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
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

// Input with a mix of plain bytes and bytes the rewriters expand.
std::string sampleText(int words) {
    std::string s;
    for (int i = 0; i < words; ++i)
        s += (i % 3 == 0) ? "x's " : (i % 3 == 1 ? "plain " : "xx ");
    return s;
}

// Rewrites every "x" as "<x>" in one pass over target. Stops at the first failure; returns it.
KoStatus expandX(KoString& target) {
    KoReplaceString r(&target);
    while (r.length > 0) {
        KoStatus st = r.text[0] == 'x' ? r.concat(U("<x>"), 3) : r.concat(r.text, 1);
        if (st != koSuccess) return st;
        r.skip(1);
    }
    return koSuccess;
}

std::string expandedX(const std::string& in) {
    std::string out;
    for (char c : in)
        out += c == 'x' ? std::string("<x>") : std::string(1, c);
    return out;
}

TEST_F(RewriteTest, OnePassRewriteWithOutputLongerThanInput) {
    std::string input = sampleText(2000);
    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U(input.c_str())));
    ASSERT_EQ(koSuccess, expandX(target));
    EXPECT_EQ(expandedX(input), str(target));
    // The gap is given back: the buffer holds the text and a terminator.
    EXPECT_EQ(target.length + 1, target.capacity);
    EXPECT_EQ(0, target.text[target.length]);
}

TEST_F(RewriteTest, ShrinkingRewriteAndEmptyTargets) {
    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U("a-b-c")));
    {
        KoReplaceString r(&target);
        EXPECT_EQ(target.text, r.text);
        EXPECT_EQ(5u, r.length);
        while (r.length > 0) {
            if (r.text[0] != '-') {
                ASSERT_EQ(koSuccess, r.concat(r.text, 1));
            }
            r.skip(1);
        }
    }
    EXPECT_EQ("abc", str(target));

    KoString empty;
    {
        KoReplaceString r(&empty);
        ASSERT_EQ(koSuccess, r.concat(U("new"), 3));
    }
    EXPECT_EQ("new", str(empty));

    // A writer without a target refuses output instead of writing anywhere.
    KoReplaceString none;
    EXPECT_EQ(koFailure, none.concat(U("x"), 1));
    EXPECT_EQ(koFailure, none.addQuotedBytes(U("x"), 1, '\''));
}

TEST_F(RewriteTest, UnreadTextStaysWhenTheRewriterEndsEarly) {
    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U("head|tail")));
    {
        KoReplaceString r(&target);
        ASSERT_EQ(koSuccess, r.concat(U("HEAD-LONGER"), 11));
        r.skip(4);
    }
    EXPECT_EQ("HEAD-LONGER|tail", str(target));
}

TEST_F(RewriteTest, AddQuotedBytesQuotesFromAnywhereEvenTheTargetItself) {
    // Words become quoted literals, read straight from the unread remainder.
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

    // From the part already written, and from outside.
    KoString t2;
    ASSERT_EQ(koSuccess, t2.initialize(U("k=v;rest")));
    {
        KoReplaceString r(&t2);
        ASSERT_EQ(koSuccess, r.concat(r.text, 4));
        r.skip(4);
        ASSERT_EQ(koSuccess, r.addQuotedBytes(t2.text, 3, '"')); // "k=v", written output
        ASSERT_EQ(koSuccess, r.addQuotedBytes(U("q\"q"), 3, '"'));
        ASSERT_EQ(koSuccess, r.addQuotedBytes(U(""), 0, '"'));
    }
    EXPECT_EQ("k=v;\"k=v\"\"q\"\"q\"\"\"rest", str(t2));
}

TEST_F(RewriteTest, AnAdoptedTargetCannotWidenItsGap) {
    unsigned char buffer[16] = "abc";
    KoString target;
    target.initializeWithBuffer(buffer, 16, 3);
    {
        KoReplaceString r(&target);
        EXPECT_EQ(koFailure, r.concat(U("x"), 1));
        EXPECT_EQ(2716, KoErrorKeeper::getLastErrorNumber());
    }
    EXPECT_EQ("abc", str(target));
    EXPECT_EQ(buffer, target.text);
}

using ParamTest = RewriteTest;

TEST_F(ParamTest, MarkersAreFilledInOrderByKind) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("Table %s1 has %d2 rows")));
    p << U("T1") << uint32_t(5);
    EXPECT_EQ("Table T1 has 5 rows", str(p));
    EXPECT_EQ(2, p.paramCount);
    EXPECT_FALSE(p.hasFailed());

    ASSERT_EQ(koSuccess, p.initialize(U("%d1 / %d2 / %s3 / %s1")));
    p << int32_t(-7) << INT32_MIN << U("");
    // "%s1" is not the marker of a number.
    EXPECT_EQ("-7 / -2147483648 /  / %s1", str(p));

    // Numbering restarts with each initialization; a missing marker is no error.
    ASSERT_EQ(koSuccess, p.initialize(U("only %s2")));
    EXPECT_EQ(koSuccess, p.setParam(U("unused")));
    EXPECT_EQ(koSuccess, p.setParam(U("second")));
    EXPECT_EQ("only second", str(p));

    // A new template may be taken from the old one.
    ASSERT_EQ(koSuccess, p.initialize(U("old %s1")));
    ASSERT_EQ(koSuccess, p.initialize(p.text + 4));
    p << U("new");
    EXPECT_EQ("new", str(p));
}

TEST_F(ParamTest, ATextParameterMayCarryALaterMarker) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("%s1 and %d2")));
    p << U("[%d2]") << uint32_t(9);
    EXPECT_EQ("[9] and 9", str(p));
}

TEST_F(ParamTest, TenAndMoreParametersUseTheLongMarkers) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("A=%s1 J=%sx10 K=%dx11 L=%sx12 %s2")));
    const char* words[] = {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"};
    for (const char* w : words)
        p << U(w);
    p << uint32_t(11) << U("twelve") << U("thirteen");
    EXPECT_EQ("A=one J=ten K=11 L=twelve two", str(p));
    EXPECT_EQ(13, p.paramCount);
    EXPECT_FALSE(p.hasFailed());

    // Eleven through nineteen: "%sx1" never matches inside "%sx11".
    ASSERT_EQ(koSuccess, p.initialize(U("%sx11|%sx19|%s1")));
    for (int i = 1; i <= 19; ++i) {
        std::string v = "v" + std::to_string(i);
        p << U(v.c_str());
    }
    EXPECT_EQ("v11|v19|v1", str(p));
}

TEST_F(ParamTest, SubStringAndQuotedParameters) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("<%s1><%s2><%s3>"), koCPUtf8));
    EXPECT_EQ(koCPUtf8, p.cpType);
    KoSubString view(U("abcdef"), 3);
    KoSubString empty(U("xyz"), 0);
    p << view << empty;
    EXPECT_EQ(koSuccess, p.setQuotedParam(U("O'Neil"), '\''));
    EXPECT_EQ("<abc><><'O''Neil'>", str(p));
}

TEST_F(ParamTest, TheFirstFailureStopsLaterSubstitutions) {
    KoParamString p;
    ASSERT_EQ(koSuccess, p.initialize(U("%s1 %s2 %s3")));
    p << U("a");
    ramFailAt(1);
    p << U("a much longer text than fits");
    ramFailAt(0);
    EXPECT_TRUE(p.hasFailed());
    p << U("c");
    EXPECT_EQ("a %s2 %s3", str(p));
    EXPECT_EQ(2, p.paramCount);
    // A new template clears the failure.
    ASSERT_EQ(koSuccess, p.initialize(U("%s1")));
    EXPECT_FALSE(p.hasFailed());
    p << U("ok");
    EXPECT_EQ("ok", str(p));
}

// Each operation below runs with its 1st, 2nd, 3rd ... allocation failing. A failure must be
// reported, keep the documented content, and leak nothing (checked by the sanitizer build).
struct FaultCase {
    const char* name;
    std::string before; // content the operation starts from
    std::string after;  // content after success
    std::function<KoStatus(KoString&)> op;
    bool keepsContentOnFailure = true;
    bool mayAbsorbFailure = false; // a failed allocation that is not needed still gives the result
};

TEST_F(RewriteTest, EveryAllocationFailureOfTheStringOperations) {
    std::string longText = sampleText(40);
    std::vector<FaultCase> cases = {
        {"concat byte", "ab", "abc", [](KoString& s) { return s.concat(static_cast<unsigned char>('c')); }},
        {"concat text", "ab", "ab" + longText, [&](KoString& s) { return s.concat(U(longText.c_str())); }},
        {"concat own text", "abc", "abcbc", [](KoString& s) { return s.concat(s.text + 1, 2); }},
        {"concat number", "n=", "n=-12", [](KoString& s) { return s.concat(int32_t(-12)); }},
        {"changeBytes grow", "abcde", "abXYZde",
         [](KoString& s) { return s.changeBytes(2, 1, U("XYZ"), 3); }},
        {"changeBytes overlap", "abcdef", "acdefef",
         [](KoString& s) { return s.changeBytes(1, 3, s.text + 2, 4); }},
        {"replaceSubString", "a-b-c", "a--b--c",
         [](KoString& s) { return s.replaceSubString(U("-"), U("--")); }, false},
        {"addQuotes", "it's", "'it''s'", [](KoString& s) { return s.addQuotes('\''); }},
        {"addQuotedBytes", "v=", "v='a''b'",
         [](KoString& s) { return s.addQuotedBytes(KoSubString(U("a'b")), '\''); }},
        {"forceEol", "x", "x\r\n\r\n", [](KoString& s) { return s.forceEol(2); }},
        {"insertLineBreaks", "the quick brown fox", "the quick\r\nbrown fox",
         [](KoString& s) { return s.insertLineBreaks(10, 0, 0, 0); }},
        {"removeLineBreaks", "a\r\nb", "a b", [](KoString& s) { return s.removeLineBreaks(0, 0, 0); }},
        {"removeTabs", "a\tb", "a b", [](KoString& s) { return s.removeTabs(0, 0, 0); }},
        {"removeLineFeeds", "a\nb", "a b", [](KoString& s) { return s.removeLineFeeds(0, 0, 0); }},
        // The rewriter's final shrink may fail: the larger buffer is kept.
        {"rewrite", longText, expandedX(longText), [](KoString& s) { return expandX(s); }, false, true},
    };
    for (const FaultCase& c : cases) {
        KoStatus status = koSuccess;
        std::string content;
        bool usable = false;
        bool hit = false;
        unsigned runs = kotest::forEachAllocationFailure(
            [&] {
                KoString s;
                hit = false;
                usable = true;
                if (s.initialize(U(c.before.data()), static_cast<uint32_t>(c.before.size())) != koSuccess) {
                    status = koFailure;
                    content = c.before;
                    hit = true;
                    return;
                }
                status = c.op(s);
                content = str(s);
                hit = ramFailureHit();
                // Once the injected failure has struck, later allocations succeed: the string
                // must take further appends.
                if (hit) usable = s.concat(U("!")) == koSuccess && str(s) == content + "!";
            },
            [&](unsigned n, bool) {
                bool failed = hit;
                SCOPED_TRACE(std::string(c.name) + " failing allocation " + std::to_string(n));
                EXPECT_TRUE(usable);
                if (!failed || (c.mayAbsorbFailure && status == koSuccess)) {
                    EXPECT_EQ(koSuccess, status);
                    EXPECT_EQ(c.after, content);
                } else {
                    EXPECT_EQ(koFailure, status);
                    if (c.keepsContentOnFailure) {
                        EXPECT_EQ(c.before, content);
                    }
                }
            });
        EXPECT_GT(runs, 1u) << c.name;
    }
}

TEST_F(RewriteTest, ARewriteCutShortKeepsOutputAndUnreadInput) {
    // Whatever allocation fails, the target ends as what was written plus what was still unread.
    std::string input = sampleText(400);
    kotest::forEachAllocationFailure(
        [&] {
            KoString target;
            if (target.initialize(U(input.c_str())) != koSuccess) return;
            std::string written;
            size_t read = 0;
            {
                KoReplaceString r(&target);
                while (r.length > 0) {
                    std::string piece = r.text[0] == 'x' ? "<x>" : std::string(1, char(r.text[0]));
                    if (r.concat(U(piece.c_str()), static_cast<uint32_t>(piece.size())) != koSuccess) break;
                    written += piece;
                    r.skip(1);
                    ++read;
                }
            }
            EXPECT_EQ(written + input.substr(read), str(target));
        },
        [](unsigned, bool) {});
}

TEST_F(RewriteTest, QuotedWritesFailWithoutLeavingHalfALiteral) {
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
            if (st == koSuccess)
                EXPECT_EQ("'it''s'value", str(target));
            else
                EXPECT_EQ("value", str(target));
        },
        [](unsigned, bool) {});
}

TEST_F(RewriteTest, EveryAllocationFailureOfInitializeLinesAndTemplates) {
    // A failed initialize leaves no buffer.
    kotest::forEachAllocationFailure(
        [] {
            KoString s;
            KoStatus st = s.initialize(U("abc"));
            EXPECT_EQ(st == koSuccess, s.text != nullptr);
            EXPECT_EQ(st == koSuccess ? 3u : 0u, s.length);
        },
        [](unsigned, bool) {});

    // Lines appended before a failure stay; nothing else is kept.
    kotest::forEachAllocationFailure(
        [] {
            char buffer[] = "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\nsix\r\nseven\r\n"
                            "8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n16\r\n17\r\n";
            KoArray lines;
            lines.flags |= KoArray::ownsElements;
            KoSubString view(U(buffer));
            KoStatus st = view.getLines(&lines);
            if (st == koSuccess) {
                EXPECT_EQ(17u, lines.count);
            } else {
                EXPECT_LT(lines.count, 17u);
            }
            if (lines.count > 0) {
                EXPECT_EQ("one", str(*static_cast<KoString*>(lines.getAt(0))));
            }
        },
        [](unsigned, bool) {});

    // The unquoted copy leaves the output as it was.
    kotest::forEachAllocationFailure(
        [] {
            KoString out;
            KoSubString literal(U("'a''b'"));
            KoStatus st = literal.copyQuotedStr(&out);
            EXPECT_EQ(st == koSuccess ? std::string("a'b") : std::string(), str(out));
        },
        [](unsigned, bool) {});

    // Templates: any failure sets the flag and the later << do nothing.
    kotest::forEachAllocationFailure(
        [] {
            KoParamString p;
            if (p.initialize(U("%s1=%d2 (%s3)")) != koSuccess) {
                EXPECT_TRUE(p.hasFailed());
                return;
            }
            p << U("rows") << uint32_t(12345);
            KoStatus st = p.setQuotedParam(U("a'b"), '\'');
            if (!p.hasFailed()) {
                EXPECT_EQ(koSuccess, st);
                EXPECT_EQ("rows=12345 ('a''b')", str(p));
            }
        },
        [](unsigned, bool) {});
}

using EncodingTest = RewriteTest;

// Code page 932: 0x95 0x5C is one character whose trail byte is a backslash.
TEST_F(EncodingTest, DoubleByteCharactersAreSteppedWhole) {
    ASSERT_TRUE(koSetAnsiCodePage(932));
    KoSubString s(U("\x95\x5C\\x"));
    EXPECT_EQ(2u, s.findChar('\\', 0));
    EXPECT_EQ(1u, s.countChar('\\'));
    EXPECT_EQ(2u, s.findSubString(U("\\"), 0));
    EXPECT_EQ(4u, s.findSubString(U("\\\\"), 0));

    KoString q;
    ASSERT_EQ(koSuccess, q.initialize(U("\x95\x5C")));
    ASSERT_EQ(koSuccess, q.addQuotes('\\'));
    EXPECT_EQ("\\\x95\x5C\\", str(q));
    EXPECT_EQ(5u, q.capacity);

    // A trail byte equal to the quote neither closes nor doubles.
    KoString out;
    ASSERT_EQ(koSuccess, KoSubString(U("\\\x95\x5C"
                                       "A\\"))
                             .copyQuotedStr(&out));
    EXPECT_EQ("\x95\x5C"
              "A",
              str(out));
    KoString r;
    ASSERT_EQ(koSuccess, r.initialize(U("\\\x95\x5C\\A\\")));
    r.removeQuotes();
    EXPECT_EQ("\x95\x5C\\A", str(r));

    // Double-byte characters compare exactly, even where a trail byte is a letter.
    KoSubString lower(U("\x82"
                        "a")),
        upper(U("\x82"
                "A"));
    EXPECT_EQ(1, lower.compare(&upper));

    KoString target;
    ASSERT_EQ(koSuccess, target.initialize(U("\x95\x5C"), koCPAnsi));
    {
        KoReplaceString w(&target);
        ASSERT_EQ(koSuccess, w.addQuotedBytes(w.text, 2, '\\'));
        w.skip(2);
    }
    EXPECT_EQ("\\\x95\x5C\\", str(target));
}

TEST_F(EncodingTest, TheSameBytesInASingleByteCodePage) {
    KoSubString s(U("\x95\x5C\\x"));
    EXPECT_EQ(1u, s.findChar('\\', 0));
    EXPECT_EQ(2u, s.countChar('\\'));
    KoString out;
    ASSERT_EQ(koSuccess, KoSubString(U("\\\x95\x5C"
                                       "A\\"))
                             .copyQuotedStr(&out));
    EXPECT_EQ("\x95"
              "A",
              str(out));
}

TEST_F(EncodingTest, Utf8TrailBytesNeverMatch) {
    // e acute (C3 A9), copyright (C2 A9), euro (E2 82 AC), then a comma.
    const char* bytes = "\xC3\xA9\xC2\xA9\xE2\x82\xAC,";
    KoSubString u(U(bytes), koCPUtf8);
    EXPECT_EQ(8u, u.findChar(0xA9, 0));
    EXPECT_EQ(7u, u.findChar(',', 0));
    EXPECT_EQ(0u, u.countChar(0xA9));
    EXPECT_EQ(8u, u.findSubString(U("\xA9\xC2"), 0));
    EXPECT_EQ(4u, u.findSubString(U("\xE2\x82"), 0));
    KoSubString a(U(bytes), koCPAnsi);
    EXPECT_EQ(1u, a.findChar(0xA9, 0));
    EXPECT_EQ(2u, a.countChar(0xA9));
    EXPECT_EQ(1u, a.findSubString(U("\xA9\xC2"), 0));

    // A UTF-8 rewrite copies whole characters and doubles only real quotes.
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
