// Directory lookups against a real slapd started by the tests.
#include "tests/foundation/os/koldaptest.h"

#include <dirent.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "tests/support/slapdserver.h"

using namespace ldaptest;
using kotest::SlapdServer;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Pairs;

// Reads a connection string as the ODBC grammar does: keyword "=" value ";", a value that begins
// with "{" running to the matching "}" with "}}" standing for one "}". False when it is malformed.
bool parseConnectionString(const std::string& s, Pairs* out) {
    size_t i = 0;
    while (i < s.size()) {
        size_t eq = s.find('=', i);
        if (eq == std::string::npos) return false;
        std::string key = s.substr(i, eq - i);
        if (key.find_first_of(";{}") != std::string::npos) return false;
        std::string value;
        i = eq + 1;
        if (i < s.size() && s[i] == '{') {
            for (++i;; ++i) {
                if (i >= s.size()) return false;
                if (s[i] == '}') {
                    if (i + 1 < s.size() && s[i + 1] == '}') {
                        value += '}';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i];
            }
        } else {
            size_t end = s.find(';', i);
            if (end == std::string::npos) return false;
            value = s.substr(i, end - i);
            if (value.find_first_of("{}") != std::string::npos) return false;
            i = end;
        }
        if (i >= s.size() || s[i] != ';') return false;
        ++i;
        out->emplace_back(key, value);
    }
    return true;
}

std::string dnOf(const std::string& cn) {
    return "cn=" + cn + "," + SlapdServer::suffix;
}

// An entry that binds with the password "pw" and carries the given attribute lines.
std::string entry(const std::string& cn, const std::string& lines) {
    return "dn: " + dnOf(cn) + "\nobjectClass: koTestEntry\nobjectClass: extensibleObject\ncn: " + cn +
           "\nuserPassword: pw\n" + lines + "\n";
}

// The value findAttribute gives for key, or "<absent>".
std::string find(KoLDAP& l, const std::string& key) {
    KoString* value = nullptr;
    if (l.findAttribute(reinterpret_cast<const unsigned char*>(key.c_str()), &value)) return "<absent>";
    return str(value);
}

int openSockets() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (dirent* e = d ? readdir(d) : nullptr) {
        char target[64] = "";
        std::string path = std::string("/proc/self/fd/") + e->d_name;
        if (readlink(path.c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).rfind("socket:", 0) == 0)
            ++n;
    }
    if (d) closedir(d);
    return n;
}

class Directory : public LdapTest {
protected:
    SlapdServer& server() { return SlapdServer::shared(); }

    // Adds the entries a test needs, once per program run.
    void ensure(const std::string& key, const std::function<std::string()>& ldif) {
        static std::set<std::string> added;
        if (added.insert(key).second) server().add(ldif());
    }

    std::unique_ptr<KoLDAP> lookup(const std::string& cn, const std::string& password = "pw",
                                   const std::string& prefix = "VZBTR") {
        std::unique_ptr<KoLDAP> l(new KoLDAP());
        l->setHost(owned("127.0.0.1"));
        l->setPort(server().port());
        l->setDistinguishedName(owned(dnOf(cn)));
        l->setPassword(owned(password));
        l->setAttributePrefix(owned(prefix));
        return l;
    }
};

TEST_F(Directory, StringLoadsWritePrefixedAttributesAsConnectionPairs) {
    struct Row {
        const char* cn;
        std::string lines;
        const char* prefix;
        std::string expected;
    } rows[] = {
        {"s-pfx", "PFXDatabase: DEMO\nPFXArraySize: 4096\n", "PFX", "Database=DEMO;ArraySize=4096;"},
        {"s-multi", "VZBTRServer: s1\nVZBTRServer: s2\nVZBTRServer: s3\nVZBTRDatabase: D\n", "VZBTR",
         "Server=s1;Server=s2;Server=s3;Database=D;"},
        {"s-other", "OTHERDatabase: no\nVZBTRDatabase: yes\n", "VZBTR", "Database=yes;"},
        {"s-utf8",
         "VZBTRDescription: Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x9D\xB1\xE4\xBA\xAC\n",
         "VZBTR",
         "Description=Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x9D\xB1\xE4\xBA\xAC;"},
        // Values that would end the pair or open a braced value are enclosed; others stay as given.
        {"s-braces",
         "VZBTRDatabase: DEMO;UID=admin\nVZBTRDescription: x}y{\nVZBTRDescription: {DEMO}\n"
         "VZBTRDescription: a=b (c) [d]\nVZBTRUID: }\n",
         "VZBTR",
         "Database={DEMO;UID=admin};Description={x}}y{};Description={{DEMO}}};Description=a=b (c) [d];"
         "UID={}}};"},
        // An attribute with an option cannot be one keyword of a connection string.
        {"s-option", "VZBTRDescription;lang-de: Hallo\nVZBTRDatabase: D\n", "VZBTR", "Database=D;"},
    };
    ensure("strings", [&] {
        std::string ldif;
        for (auto& r : rows)
            ldif += entry(r.cn, r.lines);
        return ldif;
    });
    for (auto& r : rows) {
        SCOPED_TRACE(r.cn);
        auto l = lookup(r.cn, "pw", r.prefix);
        ASSERT_EQ(l->connect(), koSuccess) << lastText();
        EXPECT_EQ(l->isConnected(), 1);
        ASSERT_EQ(l->loadDistinguishedName(1), koSuccess) << lastText();
        EXPECT_EQ(str(l->getAttrString()), r.expected);
        // A second load appends; reset empties.
        ASSERT_EQ(l->loadDistinguishedName(1), koSuccess);
        EXPECT_EQ(str(l->getAttrString()), r.expected + r.expected);
        l->reset();
        EXPECT_EQ(l->getAttrString()->length, 0u);
        EXPECT_EQ(l->isConnected(), 1) << "reset keeps the connection";
    }
    EXPECT_EQ(errors.count, 0u);
}

TEST_F(Directory, ValuesOfAnyByteReadBackThroughAConnectionStringParser) {
    std::mt19937 random(20240611);
    std::vector<std::vector<std::string>> valuesOf(4);
    std::string ldif;
    for (size_t e = 0; e < valuesOf.size(); ++e) {
        std::string lines;
        std::set<std::string> seen;
        while (valuesOf[e].size() < 60) {
            std::string v(1 + random() % 40, ' ');
            // Bias towards the characters a connection string gives a meaning to.
            for (auto& c : v)
                c = random() % 3 ? char(1 + random() % 255) : ";{}="[random() % 4];
            if (!seen.insert(v).second) continue;
            valuesOf[e].push_back(v);
            lines += kotest::ldifLine("VZBTRBytes", v);
        }
        // A long value with the special characters spread through it.
        std::string longValue(300000, 'x');
        for (size_t i = 0; i < longValue.size(); i += 997)
            longValue[i] = "};{"[i % 3];
        valuesOf[e].push_back(longValue);
        lines += kotest::ldifLine("VZBTRLong", longValue);
        ldif += entry("bytes" + std::to_string(e), lines);
    }
    ensure("bytes", [&] { return ldif; });
    for (size_t e = 0; e < valuesOf.size(); ++e) {
        auto l = lookup("bytes" + std::to_string(e));
        ASSERT_EQ(l->connect(), koSuccess) << lastText();
        ASSERT_EQ(l->loadDistinguishedName(1), koSuccess) << lastText();
        Pairs pairs;
        ASSERT_TRUE(parseConnectionString(str(l->getAttrString()), &pairs)) << str(l->getAttrString());
        ASSERT_EQ(pairs.size(), valuesOf[e].size());
        for (size_t i = 0; i < pairs.size(); ++i) {
            EXPECT_EQ(pairs[i].first, i + 1 < pairs.size() ? "Bytes" : "Long");
            EXPECT_EQ(pairs[i].second, valuesOf[e][i]) << "value " << i;
        }
    }
}

TEST_F(Directory, DictionaryNumbersEveryLaterOccurrenceOfTheDuplicateKey) {
    std::string lines = "VZBTRDatabase: first\n";
    for (int i = 0; i < 12; ++i)
        lines += "VZBTRServer: srv" + std::to_string(i) + "\n";
    ensure("dup", [&] { return entry("dup", lines + "VZBTRDatabase: second\n"); });

    auto l = lookup("dup");
    l->setDupKey(owned("server")); // matched ignoring case
    ASSERT_EQ(l->connect(), koSuccess) << lastText();
    ASSERT_EQ(l->loadDistinguishedName(0), koSuccess) << lastText();
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(find(*l, i ? "Server" + std::to_string(i) : "Server"), "srv" + std::to_string(i)) << i;
    EXPECT_EQ(find(*l, "Server12"), "<absent>");
    // Another repeated keyword is not numbered: the later value replaces the earlier one.
    EXPECT_EQ(find(*l, "Database"), "second");
    EXPECT_EQ(find(*l, "database"), "<absent>");
    EXPECT_EQ(l->getAttrString()->length, 0u) << "a dictionary load writes no pairs";
    EXPECT_EQ(errors.count, 0u) << "a keyword not found raises nothing";

    // Without a duplicate key every occurrence lands on the same keyword; the last one stays.
    auto plain = lookup("dup");
    ASSERT_EQ(plain->connect(), koSuccess);
    ASSERT_EQ(plain->loadDistinguishedName(0), koSuccess);
    EXPECT_EQ(find(*plain, "Server"), "srv11");
    EXPECT_EQ(find(*plain, "Server1"), "<absent>");
}

TEST_F(Directory, OnlyTheFirstEntryOfTheResultIsRead) {
    ensure("pair", [] {
        return entry("pair", "") + "dn: cn=a," + dnOf("pair") +
               "\nobjectClass: koTestEntry\nobjectClass: extensibleObject\ncn: a\nVZBTRDatabase: A\n\n" +
               "dn: cn=b," + dnOf("pair") +
               "\nobjectClass: koTestEntry\nobjectClass: extensibleObject\ncn: b\nVZBTRDatabase: B\n\n";
    });
    auto l = lookup("pair");
    l->setDITBase(owned(dnOf("pair")));
    l->setScope(1); // one level: both children match
    ASSERT_EQ(l->connect(), koSuccess) << lastText();
    ASSERT_EQ(l->loadDistinguishedName(1), koSuccess) << lastText();
    std::string got = str(l->getAttrString());
    EXPECT_TRUE(got == "Database=A;" || got == "Database=B;") << got;
}

TEST_F(Directory, ThousandsOfAttributesAllArrive) {
    ensure("many", [] {
        std::string lines;
        for (unsigned i = 0; i < SlapdServer::manyAttributes; ++i)
            lines += "VZBTRA" + std::to_string(i) + ": v" + std::to_string(i) + "\n";
        return entry("many", lines);
    });
    auto l = lookup("many");
    ASSERT_EQ(l->connect(), koSuccess) << lastText();
    ASSERT_EQ(l->loadDistinguishedName(1), koSuccess) << lastText();
    Pairs pairs;
    ASSERT_TRUE(parseConnectionString(str(l->getAttrString()), &pairs));
    ASSERT_EQ(pairs.size(), SlapdServer::manyAttributes);
    std::set<std::string> keys;
    for (auto& p : pairs) {
        EXPECT_EQ("v" + p.first.substr(1), p.second);
        keys.insert(p.first);
    }
    EXPECT_EQ(keys.size(), SlapdServer::manyAttributes);

    ASSERT_EQ(l->loadDistinguishedName(0), koSuccess) << lastText();
    for (unsigned i = 0; i < SlapdServer::manyAttributes; i += 7)
        EXPECT_EQ(find(*l, "A" + std::to_string(i)), "v" + std::to_string(i));
}

TEST_F(Directory, FailuresCarryTheServersReason) {
    ensure("plain", [] { return entry("plain", "OTHERDatabase: x\n"); });
    ensure("found", [] { return entry("found", "VZBTRDatabase: here\n"); });
    const std::string noReason = "The LDAP search found no usable entry. ";
    struct Row {
        const char* name;
        std::function<void(KoLDAP&)> setup;
        bool connects;   // connect succeeds
        uint16_t number; // error of the failing step
        std::string text;
    } rows[] = {
        {"wrong password", [](KoLDAP& l) { l.setPassword(owned("wrong")); }, false, koErrLdapConnect,
         "Could not connect to the LDAP server. Invalid credentials"},
        {"nothing listening", [](KoLDAP& l) { l.setPort(SlapdServer::freePort()); }, false, koErrLdapConnect,
         "Could not connect to the LDAP server. Can't contact LDAP server"},
        {"base missing", [](KoLDAP& l) { l.setDITBase(owned(dnOf("nothere"))); }, true, koErrLdapSearch,
         noReason + "No such object"},
        // The library's own negative code names the cause.
        {"bad filter", [](KoLDAP& l) { l.setFilter(owned("(((")); }, true, koErrLdapSearch,
         noReason + "Bad search filter"},
        {"nothing found", [](KoLDAP& l) { l.setFilter(owned("(cn=nobody)")); }, true, koErrLdapSearch,
         noReason},
        {"no prefixed attribute", [](KoLDAP& l) { l.setDistinguishedName(owned(dnOf("plain"))); }, true,
         koErrLdapSearch, noReason},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto l = lookup("found");
        r.setup(*l);
        uint32_t before = errors.count;
        KoStatus connected = l->connect();
        EXPECT_EQ(connected, r.connects ? koSuccess : koFailure) << lastText();
        EXPECT_EQ(l->isConnected(), r.connects ? 1 : 0);
        if (r.connects) {
            EXPECT_EQ(l->loadDistinguishedName(1), koFailure);
            EXPECT_EQ(l->getAttrString()->length, 0u);
        }
        ASSERT_EQ(errors.count, before + 1);
        EXPECT_EQ(lastNumber(), r.number);
        EXPECT_EQ(lastText(), r.text);
    }

    // An entry without prefixed attributes is no failure for a dictionary load.
    auto l = lookup("plain");
    ASSERT_EQ(l->connect(), koSuccess);
    uint32_t before = errors.count;
    EXPECT_EQ(l->loadDistinguishedName(0), koSuccess);
    EXPECT_EQ(find(*l, "Database"), "<absent>");
    EXPECT_EQ(errors.count, before);
}

TEST_F(Directory, LoadWithoutAConnectionFailsCleanly) {
    ensure("found", [] { return entry("found", "VZBTRDatabase: here\n"); });
    auto l = lookup("found");
    EXPECT_EQ(l->loadDistinguishedName(1), koFailure) << "before any connect";
    EXPECT_EQ(lastNumber(), koErrLdapSearch);
    ASSERT_EQ(l->connect(), koSuccess) << lastText();
    ASSERT_EQ(l->disconnect(), koSuccess);
    EXPECT_EQ(l->isConnected(), 0);
    delete errors.removeLastError();
    EXPECT_EQ(l->loadDistinguishedName(1), koFailure) << "after disconnect";
    EXPECT_EQ(lastNumber(), koErrLdapSearch);
    EXPECT_EQ(lastText(), "The LDAP search found no usable entry. Can't contact LDAP server");
    // The library stays bound across disconnect; connecting again works.
    ASSERT_EQ(l->connect(), koSuccess);
    ASSERT_EQ(l->loadDistinguishedName(1), koSuccess);
    EXPECT_EQ(str(l->getAttrString()), "Database=here;");
}

TEST_F(Directory, WithoutAHostTheLibrarysDefaultServerIsTried) {
    ensure("found", [] { return entry("found", "VZBTRDatabase: here\n"); });
    auto l = lookup("found");
    l->setHost(nullptr);
    KoStatus result = l->connect();
    auto raised = numbers();
    ASSERT_FALSE(raised.empty());
    EXPECT_EQ(raised[0], koErrLdapNoHost);
    EXPECT_EQ(result == koSuccess, l->isConnected() == 1);
    if (result) {
        EXPECT_EQ(raised, (std::vector<uint16_t>{koErrLdapNoHost, koErrLdapConnect}));
    }
}

TEST_F(Directory, NoHandleOutlivesItsLookup) {
    ensure("found", [] { return entry("found", "VZBTRDatabase: here\n"); });
    int baseline = openSockets();
    for (int round = 0; round < 4; ++round) {
        auto l = lookup("found");
        ASSERT_EQ(l->connect(), koSuccess);
        ASSERT_EQ(l->connect(), koSuccess) << "a second connect replaces the first handle";
        EXPECT_EQ(openSockets(), baseline + 1);
        l->setPassword(owned("wrong")); // replaces (and frees) the password
        EXPECT_EQ(l->connect(), koFailure);
        EXPECT_EQ(openSockets(), baseline + 1) << "a failed bind keeps its handle until disconnect";
        l->setPassword(owned("pw"));
        ASSERT_EQ(l->connect(), koSuccess);
        l->setFilter(owned("((("));
        EXPECT_EQ(l->loadDistinguishedName(1), koFailure);
        // Destroyed while connected: the handle goes with it.
    }
    EXPECT_EQ(openSockets(), baseline);
    auto l = lookup("found");
    ASSERT_EQ(l->connect(), koSuccess);
    ASSERT_EQ(l->disconnect(), koSuccess);
    EXPECT_EQ(openSockets(), baseline);
}

TEST_F(Directory, EveryAllocationFailureLeavesAUsableLookup) {
    std::string lines = "VZBTRDatabase: DEMO;X\nVZBTRServer: a\nVZBTRServer: b\nVZBTRServer: c\n";
    ensure("faults", [&] { return entry("faults", lines); });
    const std::string expected = "Database={DEMO;X};Server=a;Server=b;Server=c;";

    // The binder's table: a connect that fails for memory is retried and works.
    unsigned n = 1;
    for (bool failed = true; failed && n < 100; ++n) {
        auto l = lookup("faults");
        ramFailAt(n);
        KoStatus result = l->connect();
        failed = ramFailureHit();
        ramFailAt(0);
        if (failed && result) {
            EXPECT_EQ(l->isConnected(), 0);
            EXPECT_EQ(l->connect(), koSuccess) << lastText();
        }
        EXPECT_EQ(l->isConnected(), 1) << "after failure " << n;
    }
    EXPECT_GT(n, 2u);

    auto l = lookup("faults");
    l->setDupKey(owned("Server"));
    ASSERT_EQ(l->connect(), koSuccess);
    ASSERT_EQ(l->loadDistinguishedName(1), koSuccess);
    unsigned runs =
        kotest::forEachAllocationFailure([&] { l->loadDistinguishedName(1); },
                                         [&](unsigned n, bool failed) {
                                             if (failed)
                                                 EXPECT_EQ(str(l->getAttrString()), expected)
                                                     << "no partial pair after failure " << n;
                                             else
                                                 EXPECT_EQ(str(l->getAttrString()), expected + expected);
                                         });
    EXPECT_GT(runs, 3u);

    // Dictionary loads accumulate, so each run starts from a fresh, connected lookup.
    bool failed = true;
    for (n = 1; failed && n < 1000; ++n) {
        auto d = lookup("faults");
        d->setDupKey(owned("Server"));
        ASSERT_EQ(d->connect(), koSuccess);
        ramFailAt(n);
        KoStatus result = d->loadDistinguishedName(0);
        failed = ramFailureHit();
        ramFailAt(0);
        if (failed) {
            EXPECT_EQ(result, koFailure) << "failure " << n;
            continue;
        }
        ASSERT_EQ(result, koSuccess);
        EXPECT_EQ(find(*d, "Database"), "DEMO;X");
        EXPECT_EQ(find(*d, "Server") + find(*d, "Server1") + find(*d, "Server2"), "abc");
    }
    EXPECT_GT(n, 4u);
}

} // namespace
