// The command-line tool as a person uses it, against a private unixODBC configuration: what it
// stores, where, and the reason it gives for every refusal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/setup/toolrun.h"
#include "tests/support/odbcsandbox.h"

namespace {

using kotest::runTool;
using kotest::ToolResult;

bool has(const ToolResult& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override {
        kotest::writeFile(sandbox.odbcinstIniPath(), "");
        ASSERT_EQ(runTool({"install"}).status, 0);
    }
    std::string systemIni() { return sandbox.dir() + "/odbc.ini"; }
    kotest::OdbcSandbox sandbox;
};

TEST_F(Tool, InstallAddConfigureShowRemoveUninstall) {
    std::string inst = kotest::readFile(sandbox.odbcinstIniPath());
    EXPECT_NE(inst.find("[ODBC Btrieve Driver]"), std::string::npos) << inst;
    EXPECT_NE(inst.find("Setup=" + kotest::buildLib("ztbtr20s.so")), std::string::npos) << inst;
    // Installing again changes nothing, the usage count included.
    ToolResult r = runTool({"install"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "already installed")) << r.out;
    EXPECT_EQ(kotest::readFile(sandbox.odbcinstIniPath()), inst);

    ASSERT_EQ(runTool({"add", "DSN=Sales", "Description=Sales data", "db=/srv/sales", "ut=error"}).status, 0);
    ASSERT_EQ(runTool({"configure", "DSN=SALES", "AS=8192"}).status, 0);
    r = runTool({"show", "sales"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r, "; user data source in " + sandbox.odbcIniPath() + "\n[Sales]\n")) << r.out;
    for (const char* line :
         {"Description=Sales data\n", "Database=/srv/sales\n", "UndefinedTable=ERROR\n", "ArraySize=8192\n"})
        EXPECT_TRUE(has(r, line)) << line << " in\n" << r.out;
    EXPECT_EQ(sandbox.readOdbcIni().count("Sales"), 1u) << "the stored spelling stays";

    r = runTool({"remove", "SALES"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(sandbox.readOdbcIni().count("Sales"), 0u);
    r = runTool({"remove", "Sales"});
    EXPECT_EQ(r.status, 0) << "as odbcinst -u: removing what is not there is no failure";
    EXPECT_TRUE(has(r, "no data source named \"Sales\"")) << r.out;

    r = runTool({"uninstall"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(kotest::readFile(sandbox.odbcinstIniPath()).find("[ODBC Btrieve Driver]"), std::string::npos);
    r = runTool({"add", "DSN=After"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "the driver \"ODBC Btrieve Driver\" is not registered in " +
                           sandbox.odbcinstIniPath() + "; register it with \"btrdsn install\""))
        << r.out;
}

TEST_F(Tool, RefusalsNameTheReason) {
    ASSERT_EQ(runTool({"add", "DSN=Keep", "DB=/keep"}).status, 0);
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string reason;
    } cases[] = {
        {{"add", "DSN=X", "UT=maybe"}, 2, "UndefinedTable must be PROMPT or ERROR, not \"maybe\""},
        {{"add", "DSN=X", "ULQ=yes"}, 2, "UseLongQualifiers must be 0 or 1, not \"yes\""},
        {{"add", "DSN=X", "is=2"}, 2, "IntlSort must be 0 or 1"},
        {{"add", "DSN=X", "FOC=-1"}, 2, "FileOpenCache must be a whole number from 0 to 99999, not \"-1\""},
        {{"add", "DSN=X", "AS=0"}, 2, "ArraySize must be a whole number from 1 to 99999"},
        {{"add", "DSN=X", "AS=100000"}, 2, "ArraySize must be a whole number from 1 to 99999"},
        {{"add", "DSN=X", "DFE=a.b"}, 2, "at most 3 characters, none of \\ : . , / ( ) |"},
        {{"add", "DSN=X", "DFE=   "}, 2, "cannot be blank"},
        {{"add", "DSN=X", "DB=a", "database=b"}, 2, "\"Database\" is given twice (as Database or DB)"},
        {{"add", "DSN=X", "Description=a", "DESCRIPTION=b"}, 2, "\"Description\" is given twice"},
        {{"add", "DSN=X", "dsn=Y"}, 2, "\"DSN\" is given twice"},
        {{"add", "Database=/x"}, 2, "no data source named (DSN=...)"},
        {{"add", "DSN=X", "nonsense"}, 2, "expected KEY=VALUE, got \"nonsense\""},
        {{"add", "DSN=X", "1A=x"}, 1, "add failed: syntax error at character 1 of \"1A=x\""},
        {{"add", "DSN=a[b]"},
         1,
         "is not valid: a name has 1 to 32 characters, none of them a control character"},
        {{"add", "DSN=" + std::string(33, 'n')}, 1, "a name has 1 to 32 characters"},
        {{"add", "DSN=ODBC"}, 1, "reserves in odbc.ini"},
        {{"add", "DSN=NL", "Description=x\n[Evil]"}, 1, "\"Description=x\\n[Evil]\" holds a line break"},
        {{"add", "-d", "No Such Driver", "DSN=X"},
         1,
         "the driver \"No Such Driver\" is not registered in " + sandbox.odbcinstIniPath()},
        {{"configure", "DSN=Nope", "AS=1"}, 1, "configure failed: no data source named \"Nope\""},
        {{"add", "--user", "--system", "DSN=X"}, 2, "give --user or --system, not both"},
        {{"show", "Nope"}, 1, "no data source named \"Nope\""},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
    };
    for (const auto& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << "\n" << r.out;
        EXPECT_TRUE(has(r, c.reason)) << c.reason << "\n  got: " << r.out;
        EXPECT_FALSE(has(r, "gave no reason") || has(r, "General installer error")) << r.out;
    }
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
    ToolResult r = runTool({"add", "DSN=W", "Colour=blue"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "warning: unknown keyword \"Colour\" is ignored")) << r.out;
    r = runTool({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "usage: btrdsn"));
}

TEST_F(Tool, UserAndSystemDataSourcesAreHandledWhereTheyLive) {
    ToolResult r = runTool({"add", "--system", "DSN=Shared", "DB=/shared", "Description=sys"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(sandbox.readOdbcIni().count("Shared"), 0u) << "nothing in the user's file";
    EXPECT_NE(kotest::readFile(systemIni()).find("[Shared]"), std::string::npos);

    // configure changes the system data source; no user one full of defaults shadows it.
    r = runTool({"configure", "DSN=shared", "AS=77"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(sandbox.readOdbcIni().count("Shared"), 0u);
    r = runTool({"show", "shared"});
    EXPECT_TRUE(has(r, "; system data source in " + systemIni() + "\n[Shared]\n")) << r.out;
    EXPECT_TRUE(has(r, "ArraySize=77\n") && has(r, "Description=sys\n") && has(r, "Database=/shared\n"))
        << r.out;

    // A user data source of the same name comes first; --system reaches the other.
    ASSERT_EQ(runTool({"add", "DSN=Shared", "DB=/mine"}).status, 0);
    EXPECT_TRUE(has(runTool({"show", "Shared"}), "Database=/mine"));
    EXPECT_TRUE(has(runTool({"show", "--system", "Shared"}), "Database=/shared"));
    ASSERT_EQ(runTool({"remove", "Shared"}).status, 0);
    EXPECT_TRUE(has(runTool({"show", "Shared"}), "; system data source"));
    ASSERT_EQ(runTool({"remove", "--system", "Shared"}).status, 0);
    EXPECT_EQ(kotest::readFile(systemIni()).find("[Shared]"), std::string::npos);
}

TEST_F(Tool, DataSourcesOfAnotherDriverNeedReplace) {
    kotest::writeFile(sandbox.odbcIniPath(), "[Theirs]\nDriver=Other Driver\nServer=db.example\nPort=5432\n");
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    for (const char* command : {"add", "configure"}) {
        ToolResult r = runTool({command, "DSN=Theirs", "DB=/x"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(
            has(r, "belongs to the driver \"Other Driver\"; its attributes would be lost (give --replace"))
            << r.out;
    }
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
    ASSERT_EQ(runTool({"configure", "--replace", "DSN=Theirs", "DB=/x"}).status, 0);
    EXPECT_EQ(sandbox.storedValue("Theirs", "Driver"), kotest::OdbcSandbox::driverName);
}

TEST_F(Tool, AMissingFolderIsNamed) {
    std::string missing = sandbox.privateDir() + "/no/such/folder/odbc.ini";
    setenv("ODBCINI", missing.c_str(), 1);
    ToolResult r = runTool({"add", "DSN=Lost"});
    setenv("ODBCINI", sandbox.odbcIniPath().c_str(), 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r, "The folder of the ODBC configuration file \"" + missing + "\" does not exist."))
        << r.out;
}

} // namespace
