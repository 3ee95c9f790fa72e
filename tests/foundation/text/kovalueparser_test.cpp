#include "foundation/text/kovalueparser.h"

#include <gtest/gtest.h>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "foundation/errors/koerror.h"
#include "foundation/errors/pertask.h"
#include "tests/support/support.h"

namespace {

const unsigned char* u(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

std::string str(const KoSubString* s) {
    if (s == nullptr) return "<null>";
    return s->text ? std::string(reinterpret_cast<const char*>(s->text), s->length) : std::string();
}

// A text in a heap block of exactly its size (reads past it are caught by the address sanitizer),
// with a view over it.
struct Text {
    std::unique_ptr<unsigned char[]> bytes;
    KoSubString view;
    explicit Text(const std::string& s, koCPType cp = koCPAnsi)
        : bytes(new unsigned char[s.size() ? s.size() : 1]) {
        std::memcpy(bytes.get(), s.data(), s.size());
        view.initialize(bytes.get(), uint32_t(s.size()), cp);
    }
};

class KoValueParserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(koLibraryLoad(), koSuccess);
        kotest::useBuildResources();
    }
    void SetUp() override { KoErrorKeeper::setErrorList(&errors); }
    void TearDown() override { KoErrorKeeper::giveUpErrorList(); }

    // Parses text with separator sep; the parser stays in `parser`.
    KoStatus parse(const std::string& s, unsigned char sep = ';', unsigned int dups = 0,
                   const char* context = nullptr) {
        text.reset(new Text(s));
        parser.reset(new KoValueParser(&text->view, sep, u(context), dups));
        return parser->initialize();
    }
    std::string value(const char* key) { return str(parser->getAttributeValue(u(key))); }
    std::vector<std::string> keys() {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < parser->getAttributeCount(); ++i)
            out.push_back(str(parser->getAttributeKey(uint16_t(i))));
        return out;
    }
    std::string built() {
        KoString out;
        EXPECT_EQ(parser->buildString(&out), koSuccess);
        return str(&out);
    }
    uint16_t lastError() { return KoErrorKeeper::getLastErrorNumber(); }
    std::string lastErrorText() {
        KoError* e = KoErrorKeeper::getLastError();
        return e ? std::string(reinterpret_cast<const char*>(e->getErrorText())) : std::string();
    }

    KoErrorList errors;
    std::unique_ptr<Text> text;
    std::unique_ptr<KoValueParser> parser;
};

} // namespace

TEST_F(KoValueParserTest, Parses) {
    using Entries = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string text;
        unsigned char separator;
        Entries want;
    } cases[] = {
        {std::string("DSN=A\0Database=C:\\Data", 22), 0, {{"DSN", "A"}, {"Database", "C:\\Data"}}},
        {std::string("DSN=x\0\0", 7), 0, {{"DSN", "x"}}}, // the installer's closing double NUL
        // An installer list knows no quoting: an apostrophe does not reach past its entry.
        {std::string("DSN=a\0Description=Bob's data\0Database=/x\0\0", 42),
         0,
         {{"DSN", "a"}, {"Description", "Bob's data"}, {"Database", "/x"}}},
        {"DSN=A;;DB=x;", ';', {{"DSN", "A"}, {"DB", "x"}}},
        {";;", ';', {}},
        {"", ';', {}},
        {"DSN = A B ;UID=", ';', {{"DSN", "A B"}, {"UID", ""}}},
        {"PWD='x;y';UID=z", ';', {{"PWD", "'x;y'"}, {"UID", "z"}}},
        {"PWD=\"a'b;c\";UID={z}", ';', {{"PWD", "\"a'b;c\""}, {"UID", "{z}"}}},
        {"A B=1;Data  Source = s", ';', {{"A B", "1"}, {"Data  Source", "s"}}},
        {"ODBC;DSN=A", ';', {{"DSN", "A"}}},
        {"odbc", ';', {}},
        {"A==B", ';', {{"A", "=B"}}},
        {"A=>B;C=*;D=<x", ';', {{"A", ">B"}, {"C", "*"}, {"D", "<x"}}},
        {"Driver=X;DRIVER=Y", ';', {{"Driver", "X"}}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(parse(c.text, c.separator), koSuccess) << c.text;
        Entries got;
        for (uint32_t i = 0; i < parser->getAttributeCount(); ++i) {
            const KoSubString* key = parser->getAttributeKey(uint16_t(i));
            got.push_back({str(key), str(parser->getAttributeValue(key))});
        }
        EXPECT_EQ(got, c.want) << c.text;
    }
    ASSERT_EQ(parse(cases[0].text, 0), koSuccess);
    EXPECT_EQ(value("dsn"), "A");
    EXPECT_EQ(value("DATABASE"), "C:\\Data");
    EXPECT_EQ(value("Data"), "<null>");
    EXPECT_EQ(built(), cases[0].text);
    ASSERT_EQ(parse("A = 1 ;; B='x;y' ;"), koSuccess);
    EXPECT_EQ(built(), "A=1;B='x;y'");
}

TEST_F(KoValueParserTest, SyntaxErrorsCarryTheirPosition) {
    struct Case {
        const char* text;
        uint32_t position;
    } cases[] = {
        {"=x", 0},
        {"1A=x", 0},
        {"ODBC=1", 4},
        {"A=1;B", 5},
        {"A=1;'B'=2", 4},
        {"A 1=2", 2},
        {"A=1;;B;", 6},
        // Positions after "==" are still offsets in the whole text.
        {"A==B;;1=x", 6},
    };
    for (auto& c : cases) {
        size_t before = errors.count;
        EXPECT_EQ(parse(c.text), koFailure) << c.text;
        ASSERT_EQ(errors.count, before + 1) << c.text;
        EXPECT_EQ(lastError(), KoValueParser::errSyntax) << c.text;
        std::string msg = lastErrorText();
        EXPECT_NE(msg.find(std::to_string(c.position)), std::string::npos) << c.text << ": " << msg;
    }
    EXPECT_EQ(parse("A=1;B", ';', 0, "the list"), koFailure);
    EXPECT_EQ(lastError(), KoValueParser::errSyntaxContext);
    EXPECT_NE(lastErrorText().find("the list"), std::string::npos) << lastErrorText();
    EXPECT_NE(lastErrorText().find("5"), std::string::npos) << lastErrorText();

    // A failed parse keeps what it read before the error.
    EXPECT_EQ(parse("A=1;B=2;C"), koFailure);
    EXPECT_EQ(keys(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(KoValueParserTest, Duplicates) {
    EXPECT_EQ(parse("DSN=A;dsn=B"), koFailure);
    EXPECT_EQ(lastError(), KoValueParser::errSyntax);
    EXPECT_EQ(errors.count, 1u); // 2706 is appended to the syntax error, not a record of its own
    std::string msg = lastErrorText();
    EXPECT_NE(msg.find("9"), std::string::npos) << msg; // the "=" after the second keyword

    ASSERT_EQ(parse("Driver=X;DRIVER=Y"), koSuccess);
    EXPECT_EQ(parser->getAttributeCount(), 1u);
    EXPECT_EQ(value("driver"), "X");

    ASSERT_EQ(parse("DSN=A;dsn=B;x=1", ';', 1), koSuccess);
    EXPECT_EQ(keys(), (std::vector<std::string>{"DSN", "x"}));
    EXPECT_EQ(value("DSN"), "A");
    ASSERT_EQ(parse("DSN=A;dsn=B", ';', 2), koFailure); // only bit 0 counts
}

TEST_F(KoValueParserTest, UsedMarksAndUnusedAttributes) {
    ASSERT_EQ(parse("a=1;b=2;c=3;d=4;e=5"), koSuccess);
    EXPECT_EQ(parser->getUnusedCount(), 5u);
    EXPECT_EQ(value("B"), "2");
    EXPECT_EQ(value("d"), "4");
    EXPECT_EQ(value("b"), "2");                      // twice is still one
    EXPECT_EQ(parser->isAttributeValue(u("C")), 1u); // marks nothing
    EXPECT_EQ(parser->isAttributeValue(u("z")), 0u);
    EXPECT_EQ(parser->getUnusedCount(), 3u);
    EXPECT_EQ(str(parser->getUnusedAttribute()), "a");
    EXPECT_EQ(str(parser->getUnusedAttribute()), "c");
    EXPECT_EQ(str(parser->getUnusedAttribute()), "e");
    EXPECT_EQ(parser->getUnusedAttribute(), nullptr);
    EXPECT_EQ(parser->getUnusedAttribute(), nullptr);
    EXPECT_EQ(parser->getUnusedCount(), 3u); // getUnusedAttribute marks nothing
    ASSERT_EQ(parser->resetUnused(), koSuccess);
    EXPECT_EQ(parser->getUnusedCount(), 5u);
    EXPECT_EQ(str(parser->getUnusedAttribute()), "a");

    KoSubString key(u("e"));
    EXPECT_EQ(str(parser->getAttributeValue(&key)), "5");
    EXPECT_EQ(parser->isAttributeValue(&key), 1u);
    EXPECT_EQ(parser->getUnusedCount(), 4u);
    EXPECT_EQ(parser->getAttributeKey(5), nullptr);
    EXPECT_EQ(str(parser->getAttributeKey(4)), "e");
}

TEST_F(KoValueParserTest, MarksFollowAddedAndRemovedAttributes) {
    // More than eight attributes, so that the marks need a second byte after additions.
    ASSERT_EQ(parse("k0=0;k1=1;k2=2;k3=3;k4=4;k5=5;k6=6"), koSuccess);
    for (const char* k : {"k1", "k3", "k5"})
        EXPECT_NE(parser->getAttributeValue(u(k)), nullptr);
    for (const char* k : {"n7", "n8", "n9", "n10"})
        ASSERT_EQ(parser->addAttribute(u(k), u("v"), nullptr), koSuccess);
    EXPECT_EQ(parser->getUnusedCount(), 8u);
    EXPECT_NE(parser->getAttributeValue(u("n10")), nullptr);
    EXPECT_EQ(parser->getUnusedCount(), 7u);
    parser->removeAttribute(u("k2")); // later marks move with their attributes
    EXPECT_EQ(parser->getUnusedCount(), 6u);
    std::vector<std::string> unused;
    while (const KoSubString* k = parser->getUnusedAttribute())
        unused.push_back(str(k));
    EXPECT_EQ(unused, (std::vector<std::string>{"k0", "k4", "k6", "n7", "n8", "n9"}));
    parser->removeAttribute(u("nothing"));
    EXPECT_EQ(parser->getAttributeCount(), 10u);
}

TEST_F(KoValueParserTest, EitherOfTwoSpellings) {
    ASSERT_EQ(parse("DB=x;UID=u;Database=y"), koSuccess);
    const KoSubString* v = reinterpret_cast<const KoSubString*>(1);
    size_t before = errors.count;
    EXPECT_EQ(parser->getAttributeValue(u("Database"), u("DB"), v), koFailure);
    EXPECT_EQ(v, reinterpret_cast<const KoSubString*>(1)); // not set
    EXPECT_EQ(errors.count, before + 1);
    EXPECT_EQ(lastError(), KoValueParser::errSyntax);
    EXPECT_EQ(parser->getUnusedCount(), 1u); // both were marked

    ASSERT_EQ(parse("UID=u;PWD=p"), koSuccess);
    EXPECT_EQ(parser->getAttributeValue(u("UID"), u("LogonID"), v), koSuccess);
    EXPECT_EQ(str(v), "u");
    EXPECT_EQ(parser->getAttributeValue(u("LogonID"), u("PWD"), v), koSuccess);
    EXPECT_EQ(str(v), "p");
    EXPECT_EQ(parser->getAttributeValue(u("X"), u("Y"), v), koSuccess);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(parser->getAttributeValue(u("X"), nullptr, v), koSuccess);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(parser->getUnusedCount(), 0u);
}

TEST_F(KoValueParserTest, AddAttributeQuotesAndReplaces) {
    ASSERT_EQ(parse("Database=y;A=1"), koSuccess);
    ASSERT_EQ(parser->addAttribute(u("UID"), u("o'k"), nullptr), koSuccess);
    EXPECT_EQ(value("uid"), "'o''k'");
    ASSERT_EQ(parser->addAttribute(u("DB"), u("x"), u("Database")), koSuccess);
    EXPECT_EQ(parser->getAttributeCount(), 3u);
    EXPECT_EQ(value("Database"), "x");
    EXPECT_EQ(value("DB"), "<null>");
    ASSERT_EQ(parser->addAttribute(u("a"), u(""), u("Database")), koSuccess); // key wins over altKey
    EXPECT_EQ(value("A"), "");
    EXPECT_EQ(str(parser->getAttributeKey(1)), "A"); // the entry keeps its own key
    // Lengths are honoured; the parser's text is not used for added entries.
    ASSERT_EQ(parser->addAttribute(u("NEWKEY"), 3, u("value"), 2, nullptr, 0), koSuccess);
    EXPECT_EQ(value("NEW"), "va");
    EXPECT_EQ(built(), "Database=x;A=;UID='o''k';NEW=va");
    parser->removeAttribute(u("uid"));
    EXPECT_EQ(built(), "Database=x;A=;NEW=va");
}

TEST_F(KoValueParserTest, AddedValuesReadBackUnchanged) {
    // Whatever an added value holds, the built list reads back into the same attributes.
    const std::string values[] = {
        "plain", "a;b", "it's", "say \"hi\"", "back`tick", "mix'\"`;", "'", std::string("a\0'b;", 5), ""};
    for (unsigned char sep : {';', '\0'}) {
        ASSERT_EQ(parse("", sep), koSuccess);
        std::vector<std::string> keys, stored;
        for (const std::string& v : values) {
            if (sep == 0 && v.find('\0') != std::string::npos) continue; // no NUL list can hold it
            keys.push_back("K" + std::to_string(keys.size()));
            ASSERT_EQ(parser->addAttribute(u(keys.back().c_str()), uint32_t(keys.back().size()), u(v.data()),
                                           uint32_t(v.size()), nullptr, 0),
                      koSuccess);
            stored.push_back(value(keys.back().c_str()));
        }
        std::string list = built();
        ASSERT_EQ(parse(list, sep), koSuccess) << list;
        for (size_t i = 0; i < keys.size(); ++i)
            EXPECT_EQ(value(keys[i].c_str()), stored[i]) << list;
        EXPECT_EQ(stored[0], "plain");
        EXPECT_EQ(stored[2], "'it''s'");
        if (sep != 0) {
            EXPECT_EQ(stored[7], std::string("'a\0''b;'", 8));
        }
    }
}

TEST_F(KoValueParserTest, BuildStringEmptiesItsOutputFirst) {
    ASSERT_EQ(parse(""), koSuccess);
    KoString out;
    ASSERT_EQ(out.initialize(u("old")), koSuccess);
    EXPECT_EQ(parser->buildString(&out), koSuccess);
    EXPECT_EQ(out.length, 0u);
    EXPECT_EQ(parser->buildString(nullptr), koFailure);
}

TEST_F(KoValueParserTest, QuotingAndValidCharacters) {
    // Brackets do not quote: the ";" inside ends the value and "y]" is no attribute.
    EXPECT_EQ(parse("A=[x;y];B=2"), koFailure);

    text.reset(new Text("A=|x;y|;B=2"));
    parser.reset(new KoValueParser(&text->view, ';', nullptr, 0));
    parser->setQuotingChars('|', 0, 0);
    ASSERT_EQ(parser->initialize(), koSuccess);
    EXPECT_EQ(value("A"), "|x;y|");
    ASSERT_EQ(parser->addAttribute(u("C"), u("p|q"), nullptr), koSuccess); // a quote of this parser
    EXPECT_EQ(value("C"), "'p|q'");

    text.reset(new Text("$a.b=1;x-y=2"));
    parser.reset(new KoValueParser(&text->view, ';', nullptr, 0));
    ASSERT_EQ(parser->setValidChars(u("$.-")), koSuccess);
    ASSERT_EQ(parser->initialize(), koSuccess);
    EXPECT_EQ(keys(), (std::vector<std::string>{"$a.b", "x-y"}));

    text.reset(new Text("$a=1"));
    parser.reset(new KoValueParser(&text->view, ';', nullptr, 0));
    ASSERT_EQ(parser->setValidChars(u("$")), koSuccess);
    parser->resetValidChars();
    EXPECT_EQ(parser->initialize(), koFailure);
}

TEST_F(KoValueParserTest, SecondInitializeStartsAfresh) {
    ASSERT_EQ(parse("A=1;B=2"), koSuccess);
    EXPECT_NE(parser->getAttributeValue(u("A")), nullptr);
    ASSERT_EQ(parser->initialize(), koSuccess);
    EXPECT_EQ(keys(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(parser->getUnusedCount(), 2u);
}

TEST_F(KoValueParserTest, NeverReadsPastTheGivenLength) {
    // The view stops inside the text: nothing after its last byte is looked at.
    std::string whole = "DSN=abc;UID=u";
    Text t(whole);
    KoSubString part(t.bytes.get(), 6);
    KoValueParser p(&part, ';', nullptr, 0);
    ASSERT_EQ(p.initialize(), koSuccess);
    EXPECT_EQ(str(p.getAttributeValue(u("DSN"))), "ab");
    EXPECT_EQ(p.getAttributeValue(u("UID")), nullptr);

    // Lead bytes cut off by the end, quotes left open, a lone keyword.
    for (const char* s : {"A=\xE2", "A='x", "A", "A=\xC3;B\xE2", "\xE2\x82=1"}) {
        Text b(s, koCPUtf8);
        KoValueParser q(&b.view, ';', nullptr, 0);
        q.initialize(); // must not read past the text, whatever it returns
    }
    Text c("A=\xE2", koCPUtf8);
    KoValueParser q(&c.view, ';', nullptr, 0);
    ASSERT_EQ(q.initialize(), koSuccess);
    EXPECT_EQ(str(q.getAttributeValue(u("A"))), "\xE2");

    KoValueParser none(nullptr, 0, nullptr, 0);
    EXPECT_EQ(none.initialize(), koSuccess);
    EXPECT_EQ(none.getAttributeCount(), 0u);
}

TEST_F(KoValueParserTest, InitializeOutOfMemory) {
    Text t("DSN=A;Driver=x;DRIVER=y;UID=u;PWD='p;q'");
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            KoValueParser* p = new KoValueParser(&t.view, ';', nullptr, 0);
            if (p == nullptr) return;
            KoStatus st = p->initialize();
            if (!ramFailureHit()) {
                EXPECT_EQ(st, koSuccess);
                EXPECT_EQ(p->getAttributeCount(), 4u);
                EXPECT_EQ(str(p->getAttributeValue(u("pwd"))), "'p;q'");
            } else {
                EXPECT_EQ(st, koFailure);
                EXPECT_LE(p->getAttributeCount(), 4u);
            }
            delete p; // the address sanitizer reports anything left behind
        },
        [](unsigned, bool) {});
    EXPECT_GT(runs, 4u);
    EXPECT_EQ(errors.count, 0u); // lack of memory leaves no record
}

TEST_F(KoValueParserTest, AddAttributeOutOfMemory) {
    Text t("A=1;B=2");
    for (int mode = 0; mode < 3; ++mode) {
        // The parser is built first; then each allocation of the addition fails in turn.
        std::vector<std::unique_ptr<KoValueParser>> parsers;
        for (int i = 0; i < 10; ++i) {
            parsers.emplace_back(new KoValueParser(&t.view, ';', nullptr, 0));
            ASSERT_EQ(parsers.back()->initialize(), koSuccess);
        }
        size_t run = 0;
        KoStatus st = koSuccess;
        unsigned runs = kotest::forEachAllocationFailure(
            [&] {
                KoValueParser& p = *parsers.at(run);
                st = mode == 0   ? p.addAttribute(u("C"), u("x;y"), nullptr)
                     : mode == 1 ? p.addAttribute(u("b"), u("it's"), nullptr)
                                 : p.addAttribute(u("Z"), u("v"), u("A"));
            },
            [&](unsigned, bool failed) {
                KoValueParser& p = *parsers.at(run++);
                KoString out;
                ASSERT_EQ(p.buildString(&out), koSuccess);
                if (!failed) {
                    EXPECT_EQ(st, koSuccess);
                    EXPECT_EQ(str(&out), mode == 0   ? "A=1;B=2;C='x;y'"
                                         : mode == 1 ? "A=1;B='it''s'"
                                                     : "A=v;B=2");
                } else {
                    EXPECT_EQ(st, koFailure);
                    EXPECT_EQ(str(&out), "A=1;B=2"); // nothing changed
                }
            },
            10);
        EXPECT_GT(runs, 1u);
    }
}

TEST_F(KoValueParserTest, BuildStringAndResetUnusedOutOfMemory) {
    Text t("Alpha=1;Beta=22;Gamma=333");
    KoValueParser p(&t.view, ';', nullptr, 0);
    ASSERT_EQ(p.initialize(), koSuccess);
    kotest::forEachAllocationFailure(
        [&] {
            KoString out;
            KoStatus st = p.buildString(&out);
            if (!ramFailureHit()) {
                EXPECT_EQ(st, koSuccess);
                EXPECT_EQ(str(&out), "Alpha=1;Beta=22;Gamma=333");
            } else {
                EXPECT_EQ(st, koFailure);
                EXPECT_EQ(out.length, 0u); // never a part of the list
            }
        },
        [](unsigned, bool) {});

    EXPECT_NE(p.getAttributeValue(u("Beta")), nullptr);
    ramFailAt(1);
    EXPECT_EQ(p.resetUnused(), koFailure);
    ramFailAt(0);
    EXPECT_EQ(p.getUnusedCount(), 3u); // no marks: nothing counts as used
    EXPECT_NE(p.getAttributeValue(u("Beta")), nullptr);
    EXPECT_EQ(p.getUnusedCount(), 3u);
    ASSERT_EQ(p.resetUnused(), koSuccess);
    EXPECT_NE(p.getAttributeValue(u("Beta")), nullptr);
    EXPECT_EQ(p.getUnusedCount(), 2u);
}
