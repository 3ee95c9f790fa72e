#include "foundation/text/koscanner.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "foundation/containers/koarray.h"
#include "tests/support/support.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::string str(const KoSubString& s) {
    return s.text ? std::string((const char*)s.text, s.length) : std::string();
}

struct Tok {
    int32_t kind;
    std::string text;
    bool operator==(const Tok& o) const { return kind == o.kind && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Tok& t) {
    return os << "{" << t.kind << ", '" << t.text << "'}";
}

constexpr int32_t op2(char a, char b) {
    return int32_t((unsigned char)a) * 256 + (unsigned char)b;
}

// The text in a heap block of exactly its size: a read past it is caught by the address sanitizer.
struct Exact {
    std::unique_ptr<unsigned char[]> bytes;
    uint32_t size;
    explicit Exact(const std::string& s) : bytes(new unsigned char[s.size() + 1]), size(uint32_t(s.size())) {
        std::memcpy(bytes.get(), s.data(), s.size());
    }
};

struct Case {
    std::string text;
    std::vector<Tok> want; // the tokens before the end
    SearchType type = searchDefault;
    uint32_t options = 0;
    uint32_t flagsOn = 0, flagsOff = 0;
    const char* delimiters = "";
    const char* startChars = "";
    const char* partChars = "";
    koCPType cp = koCPAnsi;
};

std::vector<Tok> tokens(const Case& c) {
    Exact e(c.text);
    KoScanner sc(e.bytes.get(), e.size, c.cp);
    sc.options = c.options;
    sc.flags = (sc.flags | c.flagsOn) & ~c.flagsOff;
    sc.delimiters.concat(u(c.delimiters), uint32_t(strlen(c.delimiters)));
    sc.startChars.concat(u(c.startChars), uint32_t(strlen(c.startChars)));
    sc.partChars.concat(u(c.partChars), uint32_t(strlen(c.partChars)));
    std::vector<Tok> out;
    KoToken t;
    for (int guard = 0; guard < 100; ++guard) {
        sc.getToken(t, c.type);
        if (t.kind == tokenEnd) break;
        out.push_back({t.kind, str(t)});
    }
    EXPECT_EQ(t.position, e.size) << c.text;
    sc.getToken(t, c.type); // and the end again
    EXPECT_EQ(t.kind, tokenEnd) << c.text;
    return out;
}

const Tok id(const char* s) {
    return {tokenIdentifier, s};
}

} // namespace

TEST(KoScanner, TokenRules) {
    const uint32_t paren = KoScanner::optionParenGroups, brace = KoScanner::optionBraceGroups;
    const uint32_t comments = KoScanner::flagComments, point = KoScanner::flagDecimalPoint;
    const Case cases[] = {
        {"SELECT a,b FROM t", {id("SELECT"), id("a"), {',', ","}, id("b"), id("FROM"), id("t")}},
        {"x>=1.5", {id("x"), {0x3E3D, ">="}, {tokenDecimal, "1.5"}}},
        {"a<>b !x", {id("a"), {0x3C3E, "<>"}, id("b"), {'!', "!"}, id("x")}},
        {"=!x>=<", {{'=', "="}, {'!', "!"}, id("x"), {op2('>', '='), ">="}, {'<', "<"}}},
        {std::string("[\0]^", 4),
         {{tokenUnknown, "["}, {0, std::string(1, '\0')}, {tokenUnknown, "]"}, {tokenUnknown, "^"}}},
        // Numbers: one with a decimal point is a decimal wherever it ends.
        {"12 3a", {{tokenNumber, "12"}, {tokenNumber, "3"}, id("a")}},
        {"1.5) .25+ 7.",
         {{tokenDecimal, "1.5"}, {')', ")"}, {tokenDecimal, ".25"}, {'+', "+"}, {tokenDecimal, "7."}}},
        {"1.2.3 .x", {{tokenDecimal, "1.2"}, {tokenDecimal, ".3"}, {'.', "."}, id("x")}},
        {"1.5", {{tokenNumber, "1"}, {'.', "."}, {tokenNumber, "5"}}, searchDefault, 0, 0, point},
        // Quoted strings: doubled quotes inside, open ones run to the end.
        {"'it''s' x", {{tokenQuoted, "'it''s'"}, id("x")}},
        {"\"a'b\"`c`''", {{tokenQuoted, "\"a'b\""}, {tokenQuoted, "`c`"}, {tokenQuoted, "''"}}},
        {"'abc", {{tokenUnterminated, "'abc"}}},
        {"'a''", {{tokenUnterminated, "'a''"}}},
        // Groups, with quotes inside read whole.
        {"f(a, (b), 'x)') g", {id("f"), {tokenQuoted, "(a, (b), 'x)')"}, id("g")}, searchDefault, paren},
        {"(a (b)", {{tokenUnterminated, "(a (b)"}}, searchDefault, paren},
        {"(a ')", {{tokenUnterminated, "(a ')"}}, searchDefault, paren},
        {"{fn x()} (y)", {{tokenQuoted, "{fn x()}"}, {'(', "("}, id("y"), {')', ")"}}, searchDefault, brace},
        // Comments.
        {"a -- note\nb", {id("a"), {tokenComment, "-- note"}, id("b")}, searchDefault, 0, comments},
        {"a -- note\nb", {id("a"), {op2('-', '-'), "--"}, id("note"), id("b")}},
        {"/*/ x **/y/* open",
         {{tokenComment, "/*/ x **/"}, id("y"), {tokenComment, "/* open"}},
         searchDefault,
         0,
         comments},
        {"t.c(+) (+", {id("t"), {'.', "."}, id("c"), {tokenOuterJoin, "(+)"}, {'(', "("}, {'+', "+"}}},
        // Word and name searches.
        {"c:\\d\\f.txt,x/y (z)|'q r'",
         {{tokenWord, "c:\\d\\f.txt"},
          {',', ","},
          {tokenWord, "x"},
          {'/', "/"},
          {tokenWord, "y"},
          {'(', "("},
          {tokenWord, "z"},
          {')', ")"},
          {'|', "|"},
          {tokenQuoted, "'q r'"}},
         searchWord},
        {"#tmp$1.x _a 9",
         {{tokenName, "#tmp$1"}, {'.', "."}, {tokenName, "x"}, {tokenName, "_a"}, {tokenNumber, "9"}},
         searchName},
        {"#tmp$1", {{'#', "#"}, id("tmp"), {'$', "$"}, {tokenNumber, "1"}}},
        // Identifier sets; a blank among the start characters is not skipped.
        {"a b;c,d", {id("a b"), {';', ";"}, id("c"), {',', ","}, id("d")}, searchDefault, 0, 0, 0, ",;"},
        {"@x.y z.w", {id("@x.y"), id("z.w")}, searchDefault, 0, 0, 0, "", "@", "."},
        {" a", {id(" a")}, searchDefault, 0, 0, 0, "", " "},
        // Multi-byte characters are letters; one cut off by the end is read as the bytes there are.
        {"caf\xC3\xA9 \xE2\x82",
         {id("caf\xC3\xA9"), id("\xE2\x82")},
         searchDefault,
         0,
         0,
         0,
         "",
         "",
         "",
         koCPUtf8},
        {"'\xE2", {{tokenUnterminated, "'\xE2"}}, searchDefault, 0, 0, 0, "", "", "", koCPUtf8},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tokens(c), c.want) << c.text;
}

TEST(KoScanner, EveryOperatorOfTheTable) {
    for (const char* p = "?,().=+&|-/*><!;:{}$#%@\"'`"; *p; ++p) {
        char text[3] = {*p, 'x', 0};
        KoScanner sc(u(text));
        sc.quote1 = sc.quote2 = sc.quote3 = '~';
        KoToken t;
        sc.getToken(t);
        EXPECT_EQ(t.kind, (unsigned char)*p) << *p;
        EXPECT_EQ(t.length, 1u) << *p;
    }
    for (const char* p : {"==", "=*", "=<", "=>", "++", "&&", "||", "--", "//", "**", "*=", ">=", "<=", "<>",
                          "!=", "!<", "!>"}) {
        KoScanner sc(u(p));
        KoToken t;
        sc.getToken(t);
        EXPECT_EQ(t.kind, op2(p[0], p[1])) << p;
        EXPECT_EQ(t.length, 2u) << p;
    }
}

TEST(KoScanner, PositionsExplicitTokensAndGivingBack) {
    KoScanner sc(u("  ab  = 'x'"));
    KoToken t;
    for (uint32_t want : {2u, 6u, 8u, 11u}) {
        sc.getToken(t);
        EXPECT_EQ(t.position, want);
    }
    EXPECT_NE(sc.flags & KoScanner::flagAtEnd, 0u);
    EXPECT_EQ(sc.lastSize, 0u);
    sc.getToken(t, 2, 99); // cut to the text; the scanner does not move
    EXPECT_EQ(str(t), "ab  = 'x'");
    EXPECT_EQ(t.kind, tokenPlain);
    sc.getToken(t, 50, 1);
    EXPECT_EQ(t.position, 11u);
    EXPECT_EQ(t.length, 0u);
    EXPECT_EQ(sc.position, 11u);
    sc.getToken(t, 2, 2);
    sc.unGetToken(t);
    EXPECT_EQ(sc.flags & KoScanner::flagAtEnd, 0u);
    sc.getToken(t);
    EXPECT_EQ(str(t), "ab");

    KoString s(koCPUtf8);
    ASSERT_EQ(s.initialize(u("xy"), 2, koCPUtf8), koSuccess);
    KoScanner a(&s);
    EXPECT_EQ(a.source, &s);
    EXPECT_EQ(a.getCodePage(), koCPUtf8);
    a.setScanString(u("q"), 1); // the plain forms drop the source and reset the type
    EXPECT_EQ(a.source, nullptr);
    EXPECT_EQ(a.getCodePage(), koCPAnsi);
    KoScanner b(koCPUtf8);
    b.flags &= ~KoScanner::flagDecimalPoint;
    b.setScanString(&s); // the string form keeps the scanner's type
    EXPECT_EQ(b.getCodePage(), koCPUtf8);
    EXPECT_NE(b.flags & KoScanner::flagDecimalPoint, 0u);
    KoScanner none(static_cast<const unsigned char*>(nullptr));
    none.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);
}

TEST(KoScanner, DelimitedItems) {
    struct {
        const char* text;
        char delimiter;
        uint32_t options;
        const char* want;
    } cases[] = {
        {"  x = 'a,b' , y", ',', 0, "x = 'a,b'"},
        // Inside a quoted stretch other quote characters are data.
        {"'a\"b',c", ',', 0, "'a\"b'"},
        {"\"it's\";x", ';', 0, "\"it's\""},
        {"'a''b;c';d", ';', 0, "'a''b;c'"},
        {"'a;b", ';', 0, "'a;b"},
        {"f(a,b),c", ',', KoScanner::optionParenGroups, "f(a,b)"},
        {"{a;b};c", ';', KoScanner::optionBraceGroups, "{a;b}"},
        {"f(a,b),c", ',', 0, "f(a"},
        {"a b \t\r\n", ',', 0, "a b"},
    };
    for (auto& c : cases) {
        Exact e(c.text);
        KoScanner sc(e.bytes.get(), e.size);
        sc.options = c.options;
        KoToken t;
        sc.getDelimitedToken(t, uint16_t(c.delimiter));
        EXPECT_EQ(t.kind, tokenDelimited) << c.text;
        EXPECT_EQ(str(t), c.want) << c.text;
    }
    KoScanner sc(u(" ,x"));
    KoToken t;
    sc.getDelimitedToken(t, ',');
    EXPECT_EQ(t.kind, tokenPlain); // an empty item; the delimiter is left for the next read
    EXPECT_EQ(t.position, 1u);
    EXPECT_EQ(t.length, 0u);
    sc.getToken(t);
    EXPECT_EQ(t.kind, ',');
    sc.getDelimitedToken(t, ',');
    EXPECT_EQ(str(t), "x");
    sc.getDelimitedToken(t, ',');
    EXPECT_EQ(t.kind, tokenEnd);
}

namespace {

std::vector<std::string> items(KoArray& a) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < a.count; ++i)
        out.push_back(str(*static_cast<KoSubString*>(a.getAt(i))));
    return out;
}

} // namespace

TEST(KoScanner, ParseList) {
    struct {
        const char* text;
        char delimiter;
        std::vector<std::string> want;
    } cases[] = {
        {"a, b ,c", ',', {"a", "b", "c"}},
        {"a,,b", ',', {"a", "", "b"}},
        {"a,b,", ',', {"a", "b", ""}},
        {"", ',', {""}},
        {"'x,y',z", ',', {"'x,y'", "z"}},
        // Only the delimiter is taken between items, even where it begins a longer operator or is a blank.
        {"a||b", '|', {"a", "", "b"}},
        {"a b  c", ' ', {"a", "b", "c"}},
    };
    KoArray list;
    for (auto& c : cases) {
        char buffer[32];
        strcpy(buffer, c.text);
        KoScanner views(u(c.text));
        ASSERT_EQ(views.parseList(&list, uint8_t(c.delimiter)), koSuccess);
        EXPECT_EQ(items(list), c.want) << c.text;
        EXPECT_NE(list.flags & KoArray::ownsElements, 0u);
        KoScanner copies(u(buffer));
        ASSERT_EQ(copies.parseListKoString(&list, uint8_t(c.delimiter)), koSuccess); // replaces the views
        memset(buffer, 'z', strlen(buffer));
        EXPECT_EQ(items(list), c.want) << c.text;
    }
    EXPECT_EQ(KoScanner(u("a")).parseList(nullptr, ','), koFailure);
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
                    EXPECT_EQ(st, koFailure); // the items appended before stay, owned by the list
                    EXPECT_LT(list.count, 3u);
                }
            },
            [](unsigned, bool) {});
        EXPECT_GT(runs, 3u);
    }
}

TEST(KoScanner, PhraseMatching) {
    KoToken t;
    KoScanner a(u("ORDER  BY x"));
    a.getToken(t);
    EXPECT_EQ(a.isEqual(t, u("ORDER BY")), 1u);
    EXPECT_EQ(str(t), "ORDER  BY");
    a.getToken(t);
    EXPECT_EQ(str(t), "x");

    for (const char* text : {"ORDER x", "ORDER", "order by"}) {
        KoScanner b(u(text));
        b.getToken(t);
        EXPECT_EQ(b.isEqual(t, u("ORDER BY")), 0u) << text;
        EXPECT_EQ(str(t), std::string(text).substr(0, 5));
        EXPECT_EQ(b.position, 5u) << text; // back behind the first word
    }
    KoScanner c(u("order by"));
    c.getToken(t);
    EXPECT_EQ(c.isEqualCi(t, u("ORDER BY")), 1u);
    EXPECT_EQ(str(t), "order by");
    KoScanner d(u("ORDERS"));
    d.getToken(t);
    EXPECT_EQ(d.isEqual(t, u("ORDER")), 0u);

    const unsigned char set[] = "GROUP BY\0ORDER BY\0WHERE\0";
    KoScanner e(u("where a"));
    e.getToken(t);
    EXPECT_EQ(e.isInSet(t, set), 0u);
    EXPECT_EQ(e.isInSetCi(t, set), 1u);

    KoScanner f(u("select a from t order by b"));
    EXPECT_EQ(f.isTokenWithin(u("ORDER BY")), 0u);
    f.setScanString(u("select a from t order by b"), 26);
    EXPECT_EQ(f.isTokenWithinCi(u("ORDER BY")), 1u);
    f.getToken(t);
    EXPECT_EQ(str(t), "b");
}

TEST(KoScanner, ChangeAndInsertTokens) {
    KoString s;
    ASSERT_EQ(s.initialize(u("a = bb + c")), koSuccess);
    KoScanner sc(&s);
    KoToken t;
    for (int i = 0; i < 3; ++i)
        sc.getToken(t);
    ASSERT_EQ(sc.changeToken(&t, KoSubString(u("value"))), koSuccess);
    EXPECT_EQ(str(s), "a = value + c");
    EXPECT_EQ(str(t), "value"); // the token shows its replacement
    EXPECT_EQ(sc.length, 13u);
    sc.getToken(t);
    EXPECT_EQ(str(t), "+"); // reading goes on behind the edit
    sc.getToken(t);
    ASSERT_EQ(sc.changeToken(&t, KoSubString()), koSuccess); // an empty replacement removes
    EXPECT_EQ(str(s), "a = value + ");
    sc.getToken(t);
    EXPECT_EQ(t.kind, tokenEnd);

    sc.setScanString(&s);
    sc.getToken(t);
    sc.getToken(t);
    ASSERT_EQ(sc.insertToken(&t, KoSubString(u("=="))), koSuccess);
    EXPECT_EQ(str(s), "a === value + ");
    EXPECT_EQ(t.position, 4u);
    EXPECT_EQ(str(t), "=");
    sc.getToken(t);
    EXPECT_EQ(str(t), "value");
    ASSERT_EQ(sc.insertToken(&t, KoSubString()), koSuccess);

    sc.setScanString(&s); // a replacement taken from the string itself
    sc.getToken(t);
    ASSERT_EQ(sc.changeToken(&t, KoSubString(s.text + 6, 5)), koSuccess);
    EXPECT_EQ(str(s), "value === value + ");

    KoScanner plain(u("x")); // only a scanner over a string edits
    plain.getToken(t);
    EXPECT_EQ(plain.changeToken(&t, KoSubString(u("y"))), koFailure);
    EXPECT_EQ(plain.insertToken(&t, KoSubString(u("y"))), koFailure);
}

TEST(KoScanner, ChangeAndInsertOutOfMemory) {
    for (int insert = 0; insert < 2; ++insert) {
        std::vector<std::unique_ptr<KoString>> strings; // made before failures are injected
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
                    sc.getToken(t);
                    EXPECT_EQ(str(t), "two");
                }
            },
            [](unsigned, bool) {}, 8);
        EXPECT_GT(runs, 1u);
    }
}
