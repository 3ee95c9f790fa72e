// The connection test of a data source whose attributes live in an LDAP directory, against a real
// slapd on loopback.
#include <cstdlib>

#include "tests/setup/testconnsupport.h"
#include "tests/support/slapdserver.h"

using kotest::SlapdServer;
using tctest::Outcome;
using tctest::Record;
using tctest::Row;

namespace {

const char ldapBox[] = "Unable to connect to specified LDAP Server";

class LdapRoad : public tctest::TestConnectFixture {
protected:
    void SetUp() override {
        tctest::TestConnectFixture::SetUp();
        setenv("LDAPNOINIT", "1", 1); // none of the machine's client configuration
        unsetenv("KO_LIBRARY_PATH");
        // The directory's entries outlive one test: they name folders of the whole program's run.
        static kotest::TempDir shared;
        goodData = shared.path();
        static bool added = false;
        if (!added) {
            server().add(entry("tc-good", "VZBTRDatabase: " + goodData + "\nVZBTRArraySize: 100\n"));
            server().add(
                entry("tc-braces", "VZBTRDescription: a;Database=/\nVZBTRDatabase: " + goodData + "\n"));
            added = true;
        }
    }
    static SlapdServer& server() { return SlapdServer::shared(); }
    static std::string dn(const std::string& cn) { return "cn=" + cn + "," + SlapdServer::suffix; }
    static std::string entry(const std::string& cn, const std::string& lines) {
        return "dn: " + dn(cn) + "\nobjectClass: koTestEntry\nobjectClass: extensibleObject\ncn: " + cn +
               "\nuserPassword: pw\n" + lines + "\n";
    }
    std::vector<Row> rows(const std::string& cn, const std::string& password = "pw",
                          const std::string& port = "<server>") {
        std::vector<Row> r{{"Database", "/elsewhere"},    {"UseLDAP", "1"},
                           {"LDAPHost", "127.0.0.1"},     {"LDAPTimeout", " "},
                           {"DistinguishedName", dn(cn)}, {"LDAPPassword", password}};
        if (port == "<server>")
            r.push_back({"LDAPPort", std::to_string(server().port())});
        else if (port != "<none>")
            r.push_back({"LDAPPort", port});
        return r;
    }
    std::string goodData;
};

TEST_F(LdapRoad, DirectoryAttributesFollowTheLdapPairs) {
    Record r(rows("tc-good"));
    auto o = run(r);
    EXPECT_EQ(o.attrStr, "DRIVER={ODBC Btrieve Driver};UseLDAP=1;LDAPHost=127.0.0.1;DistinguishedName=" +
                             dn("tc-good") + ";LDAPPassword=pw;LDAPPort=" + std::to_string(server().port()) +
                             ";Database=" + goodData + ";ArraySize=100;");
    EXPECT_EQ(o.result, 1u);
    EXPECT_TRUE(o.boxes.empty());
}

// A directory value cannot add attributes either: it arrives in braces.
TEST_F(LdapRoad, DirectoryValuesStayOneValue) {
    Record r(rows("tc-braces"));
    auto o = run(r);
    EXPECT_NE(o.attrStr.find(";Description={a;Database=/};Database=" + goodData + ";"), std::string::npos)
        << o.attrStr;
    EXPECT_EQ(o.result, 1u);
}

// Any failure of the lookup is one box, and the driver manager is not asked.
TEST_F(LdapRoad, LookupFailureIsOneBoxAndNoConnection) {
    struct Case {
        const char* what;
        std::vector<Row> rows;
    } cases[] = {
        {"wrong password", rows("tc-good", "nope")},
        {"no such entry", rows("tc-none")},
        {"port that is no number", rows("tc-good", "pw", "ldap")},
        {"port out of range", rows("tc-good", "pw", "70000")},
        {"nobody listens", rows("tc-good", "pw", std::to_string(SlapdServer::freePort()))},
        // Without a port the directory's default one is used, where no server runs here.
        {"default port", rows("tc-good", "pw", "<none>")},
    };
    for (auto& c : cases) {
        Record r(c.rows);
        auto o = run(r);
        EXPECT_EQ(o.result, 0u) << c.what;
        EXPECT_EQ(o.attrStr, "<none>") << c.what;
        ASSERT_EQ(o.boxes.size(), 1u) << c.what;
        EXPECT_EQ(o.boxes[0].text, ldapBox);
        EXPECT_EQ(o.boxes[0].caption, "Test Connect Error");
        EXPECT_EQ(o.boxes[0].style, UINT(MB_OKCANCEL | MB_ICONWARNING));
    }
}

} // namespace

namespace {

// Lack of memory anywhere on the directory road fails the test, shows at most the directory's box,
// and leaks nothing; the run that meets no failure connects.
TEST_F(LdapRoad, LackOfMemoryOnTheDirectoryRoad) {
    Record r(rows("tc-good"));
    Outcome last{};
    unsigned runs = kotest::forEachAllocationFailure([&] { last = run(r); },
                                                     [&](unsigned n, bool failed) {
                                                         if (!failed) return;
                                                         EXPECT_EQ(last.result, 0u) << "run " << n;
                                                         EXPECT_LE(last.boxes.size(), 1u) << "run " << n;
                                                     });
    EXPECT_GT(runs, 5u);
    EXPECT_EQ(last.result, 1u);
    EXPECT_TRUE(last.boxes.empty());
}

} // namespace
