#include "foundation/text/koscanner.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "foundation/containers/koarray.h"
#include "tests/support/support.h"

namespace {

const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

std::string str(const KoSubString& s) {
    return s.text ? std::string(reinterpret_cast<const char*>(s.text), s.length) : std::string();
}

struct Tok {
    int32_t kind;
    std::string text;
    bool operator==(const Tok& o) const { return kind == o.kind && text == o.text; }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) { return os << "{" << t.kind << ", '" << t.text << "'}"; }

// Reads every token up to and including the end.
std::vector<Tok> tokens(KoScanner& sc, SearchType type = searchDefault) {
    std::vector<Tok> out;
    KoToken t;
    for (int guard = 0; guard < 1000; ++guard) {
        sc.getToken(t, type);
        out.push_back({t.kind, str(t)});
        if (t.kind == tokenEnd) break;
    }
    return out;
}

// The text in a heap block of exactly its size, so that a read past the end is caught by the
// address sanitizer.
struct Exact {
    std::unique_ptr<unsigned char[]> bytes;
    uint32_t size;
    explicit Exact(const std::string& s) : bytes(new unsigned char[s.size() ? s.size() : 1]), size(uint32_t(s.size())) {
        std::memcpy(bytes.get(), s.data(), s.size());
    }
};

constexpr int32_t op2(char a, char b) { return int32_t((unsigned char)a) * 256 + (unsigned char)b; }

} // namespace

TEST(KoScanner, ReadsIdentifiersOperatorsAndStaysAtTheEnd) {
    KoScanner sc(u("SELECT a,b FROM t"));
    std::vector<Tok> want = {{tokenIdentifier, "SELECT"}, {tokenIdentifier, "a"}, {',', ","},
                             {tokenIdentifier, "b"},      {tokenIdentifier, "FROM"}, {tokenIdentifier, "t"},
                             {tokenEnd, ""}};
    EXPECT_EQ(tokens(sc), want);
    KoToken t;
    sc.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);
    EXPECT_EQ(t.position, 17u);
    EXPECT_EQ(sc.lastSize, 0u);
    EXPECT_NE(sc.flags & KoScanner::flagAtEnd, 0u);
}

TEST(KoScanner, TokenPositionsAreByteOffsets) {
    KoScanner sc(u("  ab  = 'x'"));
    KoToken t;
    sc.getToken(t);
    EXPECT_EQ(t.position, 2u);
    sc.getToken(t);
    EXPECT_EQ(t.position, 6u);
    sc.getToken(t);
    EXPECT_EQ(t.position, 8u);
    EXPECT_EQ(str(t), "'x'");
}

TEST(KoScanner, OperatorTableOneAndTwoCharacters) {
    const char* singles = "?,().=+&|-/*><!;:{}$#%@\"'`";
    // Quotes would start strings: make the three quote characters something else.
    for (const char* p = singles; *p; ++p) {
        char text[3] = {*p, 'x', 0};
        KoScanner sc(u(text));
        sc.quote1 = sc.quote2 = sc.quote3 = '~';
        KoToken t;
        sc.getToken(t);
        EXPECT_EQ(t.kind, (unsigned char)*p) << "operator " << *p;
        EXPECT_EQ(t.length, 1u);
    }
    const char* pairs[] = {"==", "=*", "=<", "=>", "++", "&&", "||", "--", "//", "**",
                           "*=", ">=", "<=", "<>", "!=", "!<", "!>"};
    for (const char* p : pairs) {
        KoScanner sc(u(p));
        KoToken t;
        sc.getToken(t);
        EXPECT_EQ(t.kind, op2(p[0], p[1])) << p;
        EXPECT_EQ(str(t), p);
        sc.getToken(t);
        EXPECT_EQ(t.kind, tokenEnd) << p;
    }
    // A second character that forms no pair with the first stays a token of its own.
    KoScanner sc(u("=!>=<"));
    std::vector<Tok> want = {{'=', "="}, {'!', "!"}, {op2('>', '='), ">="}, {'<', "<"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(sc), want);
}

TEST(KoScanner, ExampleExpressions) {
    KoScanner a(u("x>=1.5"));
    std::vector<Tok> want = {{tokenIdentifier, "x"}, {0x3E3D, ">="}, {tokenDecimal, "1.5"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(a), want);
    KoScanner b(u("a<>b"));
    want = {{tokenIdentifier, "a"}, {0x3C3E, "<>"}, {tokenIdentifier, "b"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(b), want);
    KoScanner c(u("!x"));
    want = {{0x21, "!"}, {tokenIdentifier, "x"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);
}

TEST(KoScanner, UnknownCharactersAndZeroBytes) {
    const unsigned char text[] = {'[', 0, ']', '^'};
    KoScanner sc(text, 4u);
    std::vector<Tok> want = {{tokenUnknown, "["}, {0, std::string(1, '\0')}, {tokenUnknown, "]"},
                             {tokenUnknown, "^"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(sc), want);
}

TEST(KoScanner, NumbersAndTheDecimalPoint) {
    struct Case {
        const char* text;
        std::vector<Tok> want;
    } cases[] = {
        {"12", {{tokenNumber, "12"}, {tokenEnd, ""}}},
        {"12 ", {{tokenNumber, "12"}, {tokenEnd, ""}}},
        // A number with a decimal point is a decimal wherever it ends.
        {"1.5", {{tokenDecimal, "1.5"}, {tokenEnd, ""}}},
        {"1.5)", {{tokenDecimal, "1.5"}, {')', ")"}, {tokenEnd, ""}}},
        {".25+", {{tokenDecimal, ".25"}, {'+', "+"}, {tokenEnd, ""}}},
        {"1.2.3", {{tokenDecimal, "1.2"}, {tokenDecimal, ".3"}, {tokenEnd, ""}}},
        {"7.", {{tokenDecimal, "7."}, {tokenEnd, ""}}},
        {".x", {{'.', "."}, {tokenIdentifier, "x"}, {tokenEnd, ""}}},
        {"3a", {{tokenNumber, "3"}, {tokenIdentifier, "a"}, {tokenEnd, ""}}},
    };
    for (auto& c : cases) {
        KoScanner sc(u(c.text));
        EXPECT_EQ(tokens(sc), c.want) << c.text;
    }
    // Without the decimal-point flag the point is an operator.
    KoScanner sc(u("1.5"));
    sc.flags &= ~KoScanner::flagDecimalPoint;
    std::vector<Tok> want = {{tokenNumber, "1"}, {'.', "."}, {tokenNumber, "5"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(sc), want);
    // A new text sets the flag again.
    sc.setScanString(u("1.5"), 3);
    EXPECT_EQ(tokens(sc)[0], (Tok{tokenDecimal, "1.5"}));
}

TEST(KoScanner, QuotedStrings) {
    KoScanner a(u("'it''s' x"));
    KoToken t;
    a.getToken(t);
    EXPECT_EQ(t.kind, tokenQuoted);
    EXPECT_EQ(t.length, 7u);
    a.getToken(t);
    EXPECT_EQ(str(t), "x");

    KoScanner b(u("'abc"));
    b.getToken(t);
    EXPECT_EQ(t.kind, tokenUnterminated);
    EXPECT_EQ(str(t), "'abc");

    KoScanner c(u("\"a'b\"`c`''"));
    std::vector<Tok> want = {{tokenQuoted, "\"a'b\""}, {tokenQuoted, "`c`"}, {tokenQuoted, "''"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);

    // A closing quote doubled at the very end leaves the string open.
    KoScanner d(u("'a''"));
    d.getToken(t);
    EXPECT_EQ(t.kind, tokenUnterminated);
    EXPECT_EQ(t.length, 4u);

    // Other quote characters.
    KoScanner e(u("[a]'b'"));
    e.quote1 = '[';
    e.quote2 = e.quote3 = 0;
    e.getToken(t);
    EXPECT_EQ(t.kind, tokenUnterminated); // '[' is only closed by another '['
    KoScanner f(u("|a|'b"));
    f.quote1 = '|';
    f.quote2 = f.quote3 = 0;
    want = {{tokenQuoted, "|a|"}, {'\'', "'"}, {tokenIdentifier, "b"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(f), want);
}

TEST(KoScanner, Groups) {
    KoScanner a(u("f(a, (b), 'x)') g"));
    a.options = KoScanner::optionParenGroups;
    std::vector<Tok> want = {{tokenIdentifier, "f"}, {tokenQuoted, "(a, (b), 'x)')"}, {tokenIdentifier, "g"},
                             {tokenEnd, ""}};
    EXPECT_EQ(tokens(a), want);

    KoScanner b(u("(a (b)"));
    b.options = KoScanner::optionParenGroups;
    want = {{tokenUnterminated, "(a (b)"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(b), want);

    // A quote left open inside a group runs to the end.
    KoScanner c(u("(a ')')"));
    c.options = KoScanner::optionParenGroups;
    want = {{tokenUnterminated, "(a ')')"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);

    KoScanner d(u("{fn x()} (y)"));
    d.options = KoScanner::optionBraceGroups;
    want = {{tokenQuoted, "{fn x()}"}, {'(', "("}, {tokenIdentifier, "y"}, {')', ")"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(d), want);

    KoScanner e(u("[a [b]] c"));
    e.groupOpen = '[';
    e.groupClose = ']';
    want = {{tokenQuoted, "[a [b]]"}, {tokenIdentifier, "c"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(e), want);

    // Without the options, brackets are operators.
    KoScanner f(u("(b)"));
    want = {{'(', "("}, {tokenIdentifier, "b"}, {')', ")"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(f), want);
}

TEST(KoScanner, Comments) {
    KoScanner a(u("a -- note\nb"));
    a.flags |= KoScanner::flagComments;
    std::vector<Tok> want = {{tokenIdentifier, "a"}, {tokenComment, "-- note"}, {tokenIdentifier, "b"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(a), want);

    KoScanner b(u("a -- note\nb"));
    want = {{tokenIdentifier, "a"}, {op2('-', '-'), "--"}, {tokenIdentifier, "note"}, {tokenIdentifier, "b"},
            {tokenEnd, ""}};
    EXPECT_EQ(tokens(b), want);

    KoScanner c(u("/*/ x **/y/* open"));
    c.flags |= KoScanner::flagComments;
    want = {{tokenComment, "/*/ x **/"}, {tokenIdentifier, "y"}, {tokenComment, "/* open"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);

    KoScanner d(u("--"));
    d.flags |= KoScanner::flagComments;
    want = {{tokenComment, "--"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(d), want);
}

TEST(KoScanner, OuterJoinMarker) {
    KoScanner a(u("t.c(+)"));
    std::vector<Tok> want = {{tokenIdentifier, "t"}, {'.', "."}, {tokenIdentifier, "c"}, {tokenOuterJoin, "(+)"},
                             {tokenEnd, ""}};
    EXPECT_EQ(tokens(a), want);
    KoScanner b(u("(+"));
    want = {{'(', "("}, {'+', "+"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(b), want);
}

TEST(KoScanner, WordAndNameSearches) {
    KoScanner a(u("c:\\dir\\f.txt,x/y (z)|'q r'"));
    std::vector<Tok> want = {{tokenWord, "c:\\dir\\f.txt"}, {',', ","}, {tokenWord, "x"}, {'/', "/"},
                             {tokenWord, "y"}, {'(', "("}, {tokenWord, "z"}, {')', ")"}, {'|', "|"},
                             {tokenQuoted, "'q r'"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(a, searchWord), want);

    KoScanner b(u("#tmp$1.x _a 9"));
    want = {{tokenName, "#tmp$1"}, {'.', "."}, {tokenName, "x"}, {tokenName, "_a"}, {tokenNumber, "9"},
            {tokenEnd, ""}};
    EXPECT_EQ(tokens(b, searchName), want);
    // In the default search "#" and "$" are operators.
    KoScanner c(u("#tmp$1"));
    want = {{'#', "#"}, {tokenIdentifier, "tmp"}, {'$', "$"}, {tokenNumber, "1"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);
}

TEST(KoScanner, IdentifierSets) {
    KoScanner a(u("a b;c,d"));
    ASSERT_EQ(a.delimiters.concat(u(",;"), 2), koSuccess);
    std::vector<Tok> want = {{tokenIdentifier, "a b"}, {';', ";"}, {tokenIdentifier, "c"}, {',', ","},
                             {tokenIdentifier, "d"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(a), want);

    KoScanner b(u("@x.y z.w"));
    ASSERT_EQ(b.startChars.concat(u("@"), 1), koSuccess);
    ASSERT_EQ(b.partChars.concat(u("."), 1), koSuccess);
    want = {{tokenIdentifier, "@x.y"}, {tokenIdentifier, "z.w"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(b), want);

    // A blank among the start characters is no longer skipped.
    KoScanner c(u(" a"));
    ASSERT_EQ(c.startChars.concat(u(" "), 1), koSuccess);
    want = {{tokenIdentifier, " a"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(c), want);
}

TEST(KoScanner, MultiByteCharactersNeverReadPastTheText) {
    // UTF-8: a two-byte letter continues an identifier; a lead byte cut off by the end is read as
    // the one byte there is.
    Exact a("caf\xC3\xA9 \xE2\x82");
    KoScanner sa(a.bytes.get(), a.size, koCPUtf8);
    std::vector<Tok> want = {{tokenIdentifier, "caf\xC3\xA9"}, {tokenIdentifier, "\xE2\x82"}, {tokenEnd, ""}};
    EXPECT_EQ(tokens(sa), want);

    Exact b("'\xE2");
    KoScanner sb(b.bytes.get(), b.size, koCPUtf8);
    KoToken t;
    sb.getToken(t);
    EXPECT_EQ(t.kind, tokenUnterminated);
    EXPECT_EQ(t.length, 2u);
    sb.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);
    EXPECT_EQ(t.position, 2u);

    Exact c("x \xDF");
    KoScanner sc(c.bytes.get(), c.size, koCPUtf8);
    sc.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "x \xDF");
}

TEST(KoScanner, ExplicitTokensAndGivingBack) {
    KoScanner sc(u("abc def"));
    KoToken t;
    sc.getToken(t, 4, 10); // cut to the text
    EXPECT_EQ(t.kind, tokenPlain);
    EXPECT_EQ(t.position, 4u);
    EXPECT_EQ(str(t), "def");
    sc.getToken(t, 99, 1);
    EXPECT_EQ(t.length, 0u);
    EXPECT_EQ(t.position, 7u);
    EXPECT_EQ(sc.position, 0u); // the scanner did not move

    sc.getToken(t);
    sc.getToken(t);
    EXPECT_EQ(str(t), "def");
    KoToken end;
    sc.getToken(end);
    EXPECT_EQ(end.kind, tokenEnd);
    sc.unGetToken(t);
    EXPECT_EQ(sc.flags & KoScanner::flagAtEnd, 0u);
    sc.getToken(t);
    EXPECT_EQ(str(t), "def");
}

TEST(KoScanner, Construction) {
    KoScanner a;
    EXPECT_EQ(a.getCodePage(), koCPAnsi);
    EXPECT_EQ(a.quote1, '\'');
    EXPECT_EQ(a.quote2, '"');
    EXPECT_EQ(a.quote3, '`');
    EXPECT_EQ(a.options, 0u);
    EXPECT_EQ(a.groupOpen, 0xFFFF);
    EXPECT_EQ(a.flags & KoScanner::flagComments, 0u);
    EXPECT_NE(a.flags & KoScanner::flagDecimalPoint, 0u);
    KoToken t;
    a.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);

    KoScanner nul(static_cast<const unsigned char*>(nullptr));
    nul.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);

    KoSubString view(u("ab cd"), 2, koCPUtf8);
    KoScanner b(&view);
    EXPECT_EQ(b.getCodePage(), koCPUtf8);
    EXPECT_EQ(b.length, 2u);
    EXPECT_EQ(b.source, nullptr);

    KoString s(koCPUtf8);
    ASSERT_EQ(s.initialize(u("xy"), 2, koCPUtf8), koSuccess);
    KoScanner c(&s);
    EXPECT_EQ(c.source, &s);
    EXPECT_EQ(c.getCodePage(), koCPUtf8);

    // setScanString with a string keeps the scanner's type; the plain forms reset it.
    KoScanner d(koCPUtf8);
    d.setScanString(&s);
    EXPECT_EQ(d.getCodePage(), koCPUtf8);
    EXPECT_EQ(d.source, &s);
    d.setScanString(u("q"), 1);
    EXPECT_EQ(d.getCodePage(), koCPAnsi);
    EXPECT_EQ(d.source, nullptr);
}

TEST(KoScanner, DelimitedItems) {
    KoScanner a(u("  x = 'a,b' , y"));
    KoToken t;
    a.getDelimitedToken(t, ',');
    EXPECT_EQ(t.kind, tokenDelimited);
    EXPECT_EQ(str(t), "x = 'a,b'");
    EXPECT_EQ(t.position, 2u);
    a.getToken(t);
    EXPECT_EQ(t.kind, ',');
    a.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "y");
    a.getDelimitedToken(t, ',');
    EXPECT_EQ(t.kind, tokenEnd);

    // A delimiter right away gives an empty item and is left for the next read.
    KoScanner b(u(" ,x"));
    b.getDelimitedToken(t, ',');
    EXPECT_EQ(t.kind, tokenPlain);
    EXPECT_EQ(t.length, 0u);
    EXPECT_EQ(t.position, 1u);
    b.getToken(t);
    EXPECT_EQ(t.kind, ',');

    // Inside a quoted stretch other quote characters are data: the item ends at the delimiter.
    KoScanner c(u("'a\"b',c"));
    c.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "'a\"b'");
    KoScanner d(u("\"it's\";x"));
    d.getDelimitedToken(t, ';');
    EXPECT_EQ(str(t), "\"it's\"");
    KoScanner e(u("'a''b;c';d"));
    e.getDelimitedToken(t, ';');
    EXPECT_EQ(str(t), "'a''b;c'");
    // An open quote runs to the end.
    KoScanner f(u("'a;b"));
    f.getDelimitedToken(t, ';');
    EXPECT_EQ(str(t), "'a;b");

    // Groups are read whole when enabled.
    KoScanner g(u("f(a,b),c"));
    g.options = KoScanner::optionParenGroups;
    g.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "f(a,b)");
    KoScanner h(u("{a;b};c"));
    h.options = KoScanner::optionBraceGroups;
    h.getDelimitedToken(t, ';');
    EXPECT_EQ(str(t), "{a;b}");
    KoScanner i(u("f(a,b),c"));
    i.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "f(a");

    // Trailing white space of every kind is trimmed, inner blanks stay.
    KoScanner j(u("a b \t\r\n"));
    j.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "a b");
}

namespace {

std::vector<std::string> items(KoArray& a) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < a.count; ++i) out.push_back(str(*static_cast<KoSubString*>(a.getAt(i))));
    return out;
}

} // namespace

TEST(KoScanner, ParseList) {
    struct Case {
        const char* text;
        char delimiter;
        std::vector<std::string> want;
    } cases[] = {
        {"a, b ,c", ',', {"a", "b", "c"}},
        {"a,,b", ',', {"a", "", "b"}},
        {"a,b,", ',', {"a", "b", ""}},
        {"", ',', {""}},
        {"   ", ',', {""}},
        {"'x,y',z", ',', {"'x,y'", "z"}},
        // Only the delimiter is taken between items, even where it could begin a longer operator
        // or is white space.
        {"a||b", '|', {"a", "", "b"}},
        {"a==b", '=', {"a", "", "b"}},
        {"a b  c", ' ', {"a", "b", "c"}},
    };
    for (auto& c : cases) {
        KoArray list;
        KoScanner sc(u(c.text));
        ASSERT_EQ(sc.parseList(&list, uint8_t(c.delimiter)), koSuccess) << c.text;
        EXPECT_EQ(items(list), c.want) << c.text;
        EXPECT_NE(list.flags & KoArray::ownsElements, 0u);
    }
}

TEST(KoScanner, ParseListReplacesTheContentsAndCopiesWhenAsked) {
    KoArray list;
    KoScanner a(u("1,2,3"));
    ASSERT_EQ(a.parseList(&list, ','), koSuccess);
    ASSERT_EQ(list.count, 3u);

    char buffer[] = "left;right";
    KoScanner b(reinterpret_cast<unsigned char*>(buffer), uint32_t(std::strlen(buffer)));
    ASSERT_EQ(b.parseListKoString(&list, ';'), koSuccess); // the earlier views are deleted
    std::memset(buffer, 'z', std::strlen(buffer));         // the copies do not depend on the text
    EXPECT_EQ(items(list), (std::vector<std::string>{"left", "right"}));
    EXPECT_EQ(b.parseList(nullptr, ';'), koFailure);
}

TEST(KoScanner, ParseListOutOfMemory) {
    for (bool copies : {false, true}) {
        unsigned runs = kotest::forEachAllocationFailure(
            [&] {
                KoArray list;
                KoScanner sc(u("alpha, beta, gamma"));
                KoStatus st = copies ? sc.parseListKoString(&list, ',') : sc.parseList(&list, ',');
                if (!ramFailureHit()) {
                    EXPECT_EQ(st, koSuccess);
                    EXPECT_EQ(items(list), (std::vector<std::string>{"alpha", "beta", "gamma"}));
                } else {
                    EXPECT_EQ(st, koFailure);
                    EXPECT_LT(list.count, 3u); // the items appended before stay, owned by the list
                }
            },
            [](unsigned, bool) {});
        EXPECT_GT(runs, 2u);
    }
}

TEST(KoScanner, PhraseMatching) {
    KoScanner a(u("ORDER  BY x"));
    KoToken t;
    a.getToken(t);
    EXPECT_EQ(a.isEqual(t, u("ORDER BY")), 1u);
    EXPECT_EQ(str(t), "ORDER  BY");
    a.getToken(t);
    EXPECT_EQ(str(t), "x");

    KoScanner b(u("ORDER x"));
    b.getToken(t);
    EXPECT_EQ(b.isEqual(t, u("ORDER BY")), 0u);
    EXPECT_EQ(str(t), "ORDER");
    EXPECT_EQ(b.position, 5u);
    b.getToken(t);
    EXPECT_EQ(str(t), "x");

    KoScanner c(u("order by"));
    c.getToken(t);
    EXPECT_EQ(c.isEqual(t, u("ORDER BY")), 0u);
    EXPECT_EQ(c.isEqualCi(t, u("ORDER BY")), 1u);
    EXPECT_EQ(str(t), "order by");

    // The phrase must match whole tokens and may not run past the end.
    KoScanner d(u("ORDERS"));
    d.getToken(t);
    EXPECT_EQ(d.isEqual(t, u("ORDER")), 0u);
    KoScanner e(u("ORDER"));
    e.getToken(t);
    EXPECT_EQ(e.isEqual(t, u("ORDER BY")), 0u);
    EXPECT_EQ(e.position, 5u);
    EXPECT_EQ(e.flags & KoScanner::flagAtEnd, 0u);

    const unsigned char set[] = "GROUP BY\0ORDER BY\0WHERE\0";
    KoScanner f(u("where a"));
    f.getToken(t);
    EXPECT_EQ(f.isInSet(t, set), 0u);
    EXPECT_EQ(f.isInSetCi(t, set), 1u);
    KoScanner g(u("ORDER BY a"));
    g.getToken(t);
    EXPECT_EQ(g.isInSet(t, set), 1u);
    EXPECT_EQ(str(t), "ORDER BY");

    KoScanner h(u("select a from t order by b"));
    EXPECT_EQ(h.isTokenWithin(u("ORDER BY")), 0u);
    h.setScanString(u("select a from t order by b"), 26);
    EXPECT_EQ(h.isTokenWithinCi(u("ORDER BY")), 1u);
    h.getToken(t);
    EXPECT_EQ(str(t), "b");
}

TEST(KoScanner, ChangeAndInsertTokens) {
    KoString s;
    ASSERT_EQ(s.initialize(u("a = bb + c")), koSuccess);
    KoScanner sc(&s);
    KoToken t;
    sc.getToken(t);
    sc.getToken(t);
    sc.getToken(t);
    ASSERT_EQ(str(t), "bb");
    KoSubString longer(u("value"));
    ASSERT_EQ(sc.changeToken(&t, longer), koSuccess);
    EXPECT_EQ(str(s), "a = value + c");
    EXPECT_EQ(str(t), "value");
    EXPECT_EQ(sc.text, s.text);
    EXPECT_EQ(sc.length, 13u);
    sc.getToken(t);
    EXPECT_EQ(str(t), "+");
    sc.getToken(t);
    KoSubString none;
    ASSERT_EQ(sc.changeToken(&t, none), koSuccess); // removes
    EXPECT_EQ(str(s), "a = value + ");
    sc.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);

    sc.setScanString(&s);
    sc.getToken(t);
    sc.getToken(t);
    ASSERT_EQ(t.kind, '=');
    KoSubString pre(u("=="));
    ASSERT_EQ(sc.insertToken(&t, pre), koSuccess);
    EXPECT_EQ(str(s), "a === value + ");
    EXPECT_EQ(t.position, 4u);
    EXPECT_EQ(str(t), "=");
    sc.getToken(t);
    EXPECT_EQ(str(t), "value");
    ASSERT_EQ(sc.insertToken(&t, none), koSuccess);
    EXPECT_EQ(str(s), "a === value + ");

    // The replacement may be bytes of the string itself.
    KoToken a;
    sc.setScanString(&s);
    sc.getToken(a);
    KoSubString self(s.text + 6, 5);
    ASSERT_EQ(sc.changeToken(&a, self), koSuccess);
    EXPECT_EQ(str(s), "value === value + ");

    // Only a scanner over a string can edit.
    KoScanner plain(u("x"));
    plain.getToken(t);
    EXPECT_EQ(plain.changeToken(&t, longer), koFailure);
    EXPECT_EQ(plain.insertToken(&t, longer), koFailure);
}

TEST(KoScanner, ChangeAndInsertOutOfMemory) {
    for (int insert = 0; insert < 2; ++insert) {
        // The strings are made before the failures are injected.
        std::vector<std::unique_ptr<KoString>> strings;
        for (int i = 0; i < 8; ++i) {
            strings.emplace_back(new KoString);
            ASSERT_EQ(strings.back()->initialize(u("one two")), koSuccess);
        }
        size_t run = 0;
        unsigned runs = kotest::forEachAllocationFailure(
            [&] {
                KoString& s = *strings.at(run++);
                KoScanner sc(&s);
                KoToken t;
                sc.getToken(t);
                KoSubString repl(u("three"));
                KoStatus st = insert ? sc.insertToken(&t, repl) : sc.changeToken(&t, repl);
                if (!ramFailureHit()) {
                    EXPECT_EQ(st, koSuccess);
                    EXPECT_EQ(str(s), insert ? "threeone two" : "three two");
                } else {
                    EXPECT_EQ(st, koFailure);
                    EXPECT_EQ(str(s), "one two"); // nothing changed
                    EXPECT_EQ(str(t), "one");
                    sc.getToken(t);
                    EXPECT_EQ(str(t), "two");
                }
            },
            [](unsigned, bool) {}, 8);
        EXPECT_GT(runs, 1u);
    }
}
