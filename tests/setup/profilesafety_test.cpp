// A setup request never damages the data-source file: what it cannot store safely it refuses with a
// reason and writes nothing, what it keeps it keeps whole, a write that did not land leaves the file
// as it was, and requests running at once lose nothing. Through unixODBC's SQLConfigDataSource and
// through separate processes of the tool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/setup/toolrun.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

class ProfileSafety : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(add({"DSN=Keep", "Description=kept", "Database=/keep"})) << sandbox.installerError();
    }
    BOOL add(std::initializer_list<std::string> entries) {
        return sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList(entries));
    }
    BOOL request(WORD kind, const std::string& list) {
        return sandbox.configDataSource(kind, OdbcSandbox::driverName, list);
    }
    std::string file() { return kotest::readFile(sandbox.odbcIniPath()); }
    OdbcSandbox sandbox;
};

TEST_F(ProfileSafety, RefusedRequestsSayWhyAndWriteNothing) {
    struct Case {
        std::string list;
        std::string reason; // part of the text the caller reads from the installer
    };
    const Case cases[] = {
        {attributeList({"DSN=NL", "Description=x\n[Keep]\nDatabase=/evil"}), "holds a line break"},
        {attributeList({"DSN=NL", "Description=x\r[Evil]"}), "\"Description=x\\r[Evil]\" holds a line break"},
        {attributeList({"DSN=NL", "Database='/a\nb'"}), "holds a line break"},
        {attributeList({"DSN=NL", "Unknown=x\ny"}), "holds a line break"},
        {attributeList({"DSN=A\nB"}), "holds a line break"},
        {attributeList({"DSN=A\tB"}), "\"A\\tB\" is not valid"},
        {attributeList({"DSN=A\x01"}), "\"A\\x01\" is not valid"},
        {attributeList({"DSN=Bad[Name]"}),
         "none of them a control character (such as a line break) or one of "
         "[]{}(),;?*=!@\\"},
        {attributeList({"DSN=" + std::string(33, 'n')}), "a name has 1 to 32 characters"},
        {attributeList({"DSN=ODBC"}), "reserves in odbc.ini"},
        {attributeList({"DSN=odbc data sources"}), "reserves in odbc.ini"},
        {attributeList({"Database=/x"}), "No data source name was given"},
        {attributeList({"DSN=Big", "Database=/" + std::string(990, 'd')}),
         "\"Database\" is 991 characters long; the ODBC configuration file keeps at most 990"},
    };
    std::string before = file();
    for (const auto& c : cases) {
        for (WORD kind : {ODBC_ADD_DSN, ODBC_CONFIG_DSN}) {
            EXPECT_FALSE(request(kind, c.list)) << c.list;
            std::string reason = sandbox.installerError();
            EXPECT_NE(reason.find(c.reason), std::string::npos) << c.list << "\n  gave: " << reason;
        }
    }
    EXPECT_EQ(file(), before);
    // The driver manager's own sections cannot be removed as data sources either.
    sandbox.writeString("ODBC", "Trace", "No");
    before = file();
    EXPECT_FALSE(request(ODBC_REMOVE_DSN, attributeList({"DSN=ODBC"})));
    EXPECT_FALSE(request(ODBC_REMOVE_DSN, attributeList({"DSN=Keep\n"})));
    EXPECT_EQ(file(), before);
    // The longest value a line holds is stored and read back whole.
    ASSERT_TRUE(add({"DSN=Edge", "Database=/" + std::string(989, 'd')})) << sandbox.installerError();
    EXPECT_EQ(sandbox.storedValue("Edge", "Database"), "/" + std::string(989, 'd'));
}

TEST_F(ProfileSafety, ConfigureKeepsLongValuesItDoesNotChange) {
    for (size_t length : {254u, 255u, 256u, 405u, 989u}) {
        std::string path = "/" + std::string(length - 1, 'p');
        std::string description(length > 300 ? 300 : length, 'd');
        ASSERT_TRUE(add({"DSN=Long", "Database=" + path, "Description=" + description}));
        ASSERT_TRUE(request(ODBC_CONFIG_DSN, attributeList({"DSN=Long", "ArraySize=8192"})))
            << sandbox.installerError();
        EXPECT_EQ(sandbox.storedValue("Long", "Database"), path) << length;
        EXPECT_EQ(sandbox.storedValue("Long", "Description"), description) << length;
        EXPECT_EQ(sandbox.storedValue("Long", "ArraySize"), "8192");
    }
}

TEST_F(ProfileSafety, AWriteThatDoesNotLandLeavesTheFileAsItWas) {
    ASSERT_EQ(kotest::runTool({"add", "DSN=Other", "Database=/other"}).status, 0);
    std::string before = file();
    // No room at all, room for the safety copy only, room for part of the new file.
    const rlim_t limits[] = {0, before.size(), before.size() + 40};
    const std::vector<std::string> requests[] = {
        {"add", "DSN=Full", "Database=/full", "Description=" + std::string(200, 'f')},
        {"configure", "DSN=Keep", "Description=" + std::string(300, 'c')},
        {"remove", "Other"},
    };
    for (rlim_t limit : limits) {
        for (const auto& args : requests) {
            kotest::ToolResult r = kotest::runTool(args, limit);
            if (args[0] == "remove" && limit > 0 && r.status == 0) { // a removal shrinks the file
                EXPECT_EQ(sandbox.readOdbcIni().count("Other"), 0u);
                kotest::writeFile(sandbox.odbcIniPath(), before);
                continue;
            }
            EXPECT_NE(r.status, 0) << args[0] << " under " << limit << " bytes:\n" << r.out;
            EXPECT_NE(r.out.find("disk may be full"), std::string::npos) << r.out;
            EXPECT_EQ(file(), before) << args[0] << " under " << limit << " bytes";
            if (file() != before) kotest::writeFile(sandbox.odbcIniPath(), before);
        }
    }
    EXPECT_EQ(kotest::runTool({"show", "Keep"}).status, 0);
}

TEST_F(ProfileSafety, ConcurrentRequestsLoseNothing) {
    ASSERT_TRUE(add({"DSN=Base", "Description=base", "Database=/base"}));
    struct Running {
        pid_t pid;
        int fd;
    };
    std::vector<Running> running;
    for (int i = 0; i < 20; ++i) {
        int fd = -1;
        std::string n = std::to_string(i);
        pid_t pid = kotest::startTool({"add", "DSN=C" + n, "Database=/data/" + n, "Description=d" + n}, &fd);
        ASSERT_GT(pid, 0);
        running.push_back({pid, fd});
        if (i % 2 == 0) {
            pid = kotest::startTool({"configure", "DSN=Base", "FOC=" + n}, &fd);
            ASSERT_GT(pid, 0);
            running.push_back({pid, fd});
        }
    }
    for (auto& r : running) {
        kotest::ToolResult result = kotest::finishTool(r.pid, r.fd);
        EXPECT_EQ(result.status, 0) << result.out;
    }
    auto ini = sandbox.readOdbcIni();
    for (int i = 0; i < 20; ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(sandbox.storedValue("C" + n, "Driver"), OdbcSandbox::driverName) << n;
        EXPECT_EQ(sandbox.storedValue("C" + n, "Database"), "/data/" + n) << n;
        EXPECT_EQ(sandbox.storedValue("C" + n, "Description"), "d" + n) << n;
    }
    EXPECT_EQ(sandbox.storedValue("Base", "Database"), "/base");
    EXPECT_EQ(sandbox.storedValue("Base", "Description"), "base");
    EXPECT_EQ(sandbox.storedValue("Keep", "Database"), "/keep");
    EXPECT_EQ(ini.size(), 22u);
}

} // namespace
