// Choosing and binding the LDAP client library, with stand-ins for libraries the machine lacks.
#include "tests/foundation/os/koldaptest.h"

#include <filesystem>

#include "platform/win32.h"

using namespace ldaptest;
namespace fs = std::filesystem;

namespace {

std::string derived(const std::string& modulePath) {
    unsigned char out[141] = "";
    if (KoLDAPCallMapper::deriveLibraryName(reinterpret_cast<const unsigned char*>(modulePath.c_str()), out))
        return "<failure>";
    return reinterpret_cast<const char*>(out);
}

TEST(LdapLibraryName, DerivedFromTheModulesBaseName) {
    struct Row {
        std::string path, expected;
    } rows[] = {
        {"/usr/bin/odbcad32", "VZLDAP32.DLL"},
        {"C:\\WINDOWS\\SYSTEM\\ODBCAD32.EXE", "VZLDAP32.DLL"},
        {"/opt/app/tool.v2.bin", "VZLDAPv2.DLL"}, // only the last extension goes
        {"/opt/xrserver", "XRVFLDAP.DLL"},
        {"/opt/XR.exe", "XRVFLDAP.DLL"},
        {"/opt/xq", "VZLDAPxq.DLL"},
        {"/opt/a", "VZLDAPa.DLL"},
        {"/opt/" + std::string(126, 'a') + "bcd", "VZLDAPbc.DLL"}, // the base name is cut to 128
        {"/opt/.hidden", "<failure>"},
        {"/opt/", "<failure>"},
        {"", "<failure>"},
    };
    for (auto& r : rows)
        EXPECT_EQ(derived(r.path), r.expected) << r.path;
}

// A folder that is the whole library search order, holding a stand-in under the name this program
// derives.
class LdapBinding : public LdapTest {
protected:
    void SetUp() override {
        LdapTest::SetUp();
        char self[261];
        ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
        std::string name = derived(self);
        libraryPath = folder.file(name.substr(0, name.size() - 4) + ".so");
    }
    void place(const char* stub) {
        fs::copy_file(std::string(KO_BUILD_LIB_DIR) + "/../stubs/" + stub, libraryPath,
                      fs::copy_options::overwrite_existing);
    }
    // A function of the stand-in this process has loaded.
    int stubCounter(const char* name) {
        HMODULE m = LoadLibraryA(libraryPath.c_str());
        if (!m) return -1;
        auto f = reinterpret_cast<int (*)()>(GetProcAddress(m, name));
        int v = f ? f() : -1;
        FreeLibrary(m);
        return v;
    }
    KoLDAP* lookup(const char* password) {
        auto* l = new KoLDAP();
        l->setHost(owned("127.0.0.1"));
        l->setDistinguishedName(owned("cn=x"));
        l->setPassword(owned(password));
        l->setAttributePrefix(owned("VZBTR"));
        return l;
    }

    kotest::TempDir folder;
    std::string libraryPath;
    EnvGuard searchOrder{"KO_LIBRARY_PATH", folder.path().c_str()};
};

TEST_F(LdapBinding, NoLibraryAnywhereIsReportedAndTriedAgainAtTheNextConnect) {
    std::unique_ptr<KoLDAP> l(lookup("pw"));
    EXPECT_EQ(l->connect(), koFailure);
    EXPECT_EQ(lastNumber(), koErrLibraryLoad);
    EXPECT_NE(lastText().find(fs::path(libraryPath).stem().string() + ".DLL"), std::string::npos)
        << lastText();
    EXPECT_EQ(l->loadDistinguishedName(1), koFailure);
    EXPECT_EQ(lastNumber(), koErrLdapSearch);

    place("libldap_stub_nooption.so");
    EXPECT_EQ(l->connect(), koSuccess) << lastText();
    EXPECT_EQ(l->isConnected(), 1);
}

TEST_F(LdapBinding, AMissingFunctionFailsEveryConnectWithoutCallingTheLibrary) {
    place("libldap_stub_partial.so");
    std::unique_ptr<KoLDAP> l(lookup("pw"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t before = errors.count;
        EXPECT_EQ(l->connect(), koFailure);
        ASSERT_EQ(errors.count, before + 1);
        EXPECT_EQ(lastNumber(), koErrLibraryEntry);
        std::string text = lastText();
        EXPECT_NE(text.find("ldap_first_entry"), std::string::npos) << text;
        EXPECT_NE(text.find(fs::path(libraryPath).stem().string()), std::string::npos) << text;
        EXPECT_EQ(l->isConnected(), 0);
        EXPECT_EQ(l->loadDistinguishedName(1), koFailure);
        EXPECT_EQ(lastNumber(), koErrLdapSearch);
    }
    l.reset();
    EXPECT_EQ(stubCounter("stubCalls"), 0) << "nothing is called through an incomplete binding";
}

TEST_F(LdapBinding, ALibraryWithoutTheOptionSetterBindsWithItsDefaults) {
    place("libldap_stub_nooption.so");
    std::unique_ptr<KoLDAP> l(lookup("pw"));
    EXPECT_EQ(l->connect(), koSuccess);
    EXPECT_EQ(errors.count, 0u) << "the option setter is optional";
    // A refused bind is described by the library's text for the whole, negative code.
    l->setPassword(owned("-7"));
    EXPECT_EQ(l->connect(), koFailure);
    EXPECT_EQ(lastNumber(), koErrLdapConnect);
    EXPECT_EQ(lastText(), "Could not connect to the LDAP server. stub error text");
    EXPECT_EQ(stubCounter("stubLastErrorAsked"), -7);
    l->setPassword(owned("-1"));
    EXPECT_EQ(l->connect(), koFailure);
    EXPECT_EQ(stubCounter("stubLastErrorAsked"), -1);
}

} // namespace
