// The connection string of the connection test: its exact form, the rows it leaves out, and values that
// must not add or change an attribute.
#include <random>

#include "tests/setup/testconnsupport.h"

using tctest::Record;
using tctest::Row;

namespace {

struct Pair {
    std::string keyword, value;
    bool operator==(const Pair& o) const { return keyword == o.keyword && value == o.value; }
};

// The connection-string grammar as a driver reads it: "keyword=value;" with a value in braces taken
// up to the brace that closes it ("}}" stands for one "}"), blanks before an unbraced value dropped.
bool parse(const std::string& s, std::vector<Pair>* out) {
    size_t i = 0;
    while (i < s.size()) {
        size_t eq = s.find('=', i);
        if (eq == std::string::npos || s.find(';', i) < eq) return false;
        Pair p{s.substr(i, eq - i), ""};
        i = eq + 1;
        while (i < s.size() && s[i] == ' ')
            ++i;
        if (i < s.size() && s[i] == '{') {
            for (++i;; ++i) {
                if (i >= s.size()) return false;
                if (s[i] == '}' && i + 1 < s.size() && s[i + 1] == '}') {
                    p.value += '}';
                    ++i;
                } else if (s[i] == '}') {
                    break;
                } else {
                    p.value += s[i];
                }
            }
            if (++i >= s.size() || s[i] != ';') return false;
        } else {
            size_t end = s.find(';', i);
            if (end == std::string::npos) return false; // every pair ends with ";"
            p.value = s.substr(i, end - i);
            i = end;
        }
        ++i;
        out->push_back(p);
    }
    return true;
}

class ConnectionString : public tctest::TestConnectFixture {
protected:
    std::string build(Record& r, bool shortKeywords = false, KoStatus expect = koSuccess) {
        TestConnect t(r.info());
        t.setShortKeywords(shortKeywords);
        EXPECT_EQ(t.buildAttrStr(), expect);
        return t.getAttrStr() ? reinterpret_cast<const char*>(t.getAttrStr()) : "<none>";
    }
};

TEST_F(ConnectionString, ExactFormOfTheRowsThatHoldValues) {
    struct Case {
        const char* what;
        std::vector<Row> rows;
        std::string driver;
        bool shortKeywords;
        std::string expected;
    } cases[] = {
        {"only two values",
         {{"Description", ""}, {"Database", "DEMO"}, {"LogonID", "", "", true}, {"DataFileExtension", "DTA"}},
         "X",
         false,
         "DRIVER={X};Database=DEMO;DataFileExtension=DTA;"},
        {"failover rows whatever their case",
         {{"LoadBalancing", "1"},
          {"ALTERNATESERVERS", "h2"},
          {"connectionretrycount", "3"},
          {"ConnectionRetryDelay", "9"},
          {"Database", "D"},
          {"LoadBalancingX", "1"}},
         "X",
         false,
         "DRIVER={X};Database=D;LoadBalancingX=1;"},
        {"short keywords",
         {{"Database", "D", "DB"},
          {"LoadBalancing", "1", "LB"},
          {"AlternateServers", "a", "ASRV"},
          {"ArraySize", "100", "AS"}},
         "X",
         true,
         "DRIVER={X};DB=D;AS=100;"},
        {"full keywords keep their case",
         {{"dataBASE", "d"}, {"LB", "1"}},
         "X",
         false,
         "DRIVER={X};dataBASE=d;LB=1;"},
        {"a UseLDAP that is no number leaves the directory out",
         {{"UseLDAP", "yes"}, {"Database", "D"}},
         "X",
         false,
         "DRIVER={X};UseLDAP=yes;Database=D;"},
        {"a brace in the driver's description is doubled",
         {{"Database", "D"}},
         "A}B{C",
         false,
         "DRIVER={A}}B{C};Database=D;"},
        {"values that would end the pair or be trimmed go in braces",
         {{"Description", "a;Database=/etc"},
          {"LogonID", " lead"},
          {"Database", "{x}"},
          {"IntlSort", " "},
          {"DataFileExtension", "a=b (c) [d] trail "}},
         "X",
         false,
         "DRIVER={X};Description={a;Database=/etc};LogonID={ lead};Database={{x}}};IntlSort={ };"
         "DataFileExtension=a=b (c) [d] trail ;"},
    };
    for (auto& c : cases) {
        Record r(c.rows, c.driver);
        EXPECT_EQ(build(r, c.shortKeywords), c.expected) << c.what;
    }
}

// Whatever bytes the values hold, a driver reads back exactly the record's pairs, in table order, and
// nothing else.
TEST_F(ConnectionString, NoValueAddsOrChangesAnAttribute) {
    std::mt19937 random(18);
    const std::string alphabet = "ab=;{} \t";
    const char* keywords[] = {"Description", "Database", "DataFileExtension", "LogonID", "ArraySize"};
    for (int round = 0; round < 400; ++round) {
        std::vector<Row> rows;
        std::vector<Pair> expected{{"DRIVER", ""}};
        std::string driver;
        for (int n = random() % 6; n > 0; --n)
            driver += alphabet[random() % alphabet.size()];
        driver = "D" + driver; // a description begins with a name
        expected[0].value = driver;
        for (const char* k : keywords) {
            std::string v;
            for (int n = random() % 7; n > 0; --n)
                v += alphabet[random() % alphabet.size()];
            rows.push_back({k, v});
            if (!v.empty()) expected.push_back({k, v});
        }
        Record r(rows, driver);
        std::string s = build(r);
        std::vector<Pair> got;
        ASSERT_TRUE(parse(s, &got)) << s;
        EXPECT_EQ(got, expected) << s;
    }
}

TEST_F(ConnectionString, LackOfMemoryGivesFailureAndKeepsTheEarlierString) {
    Record r({{"Description", "a;b"}, {"Database", "DEMO"}, {"DataFileExtension", "DTA"}});
    TestConnect t(r.info());
    unsigned runs = kotest::forEachAllocationFailure([&] { t.buildAttrStr(); },
                                                     [&](unsigned, bool failed) {
                                                         if (failed) {
                                                             EXPECT_EQ(t.getAttrStr(), nullptr);
                                                         }
                                                     });
    EXPECT_GT(runs, 1u);
    const std::string first = reinterpret_cast<const char*>(t.getAttrStr());
    kotest::forEachAllocationFailure(
        [&] {
            bool failed = t.buildAttrStr() != koSuccess;
            EXPECT_EQ(failed, ramFailureHit());
        },
        [&](unsigned, bool) {
            ASSERT_NE(t.getAttrStr(), nullptr);
            EXPECT_EQ(reinterpret_cast<const char*>(t.getAttrStr()), first);
        });
    // A test that cannot build its string reports failure without a word.
    kotest::forEachAllocationFailure([&] { t.testConnect(); },
                                     [&](unsigned, bool failed) {
                                         if (failed) {
                                             EXPECT_TRUE(koScriptTakeShownBoxes().empty());
                                         }
                                     });
}

} // namespace
