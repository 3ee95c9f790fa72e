// The command-line tool as a person uses it, against a private unixODBC configuration.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "tests/support/odbcsandbox.h"

namespace {

struct Result {
    int status;
    std::string out;
};

Result run(const std::string& args) {
    std::string command = kotest::buildBin("btrdsn") + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    Result r{-1, ""};
    if (!p) return r;
    char buf[512];
    while (fgets(buf, sizeof buf, p))
        r.out += buf;
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class Tool : public ::testing::Test {
protected:
    void SetUp() override { kotest::writeFile(sandbox.odbcinstIniPath(), ""); }
    kotest::OdbcSandbox sandbox;
};

TEST_F(Tool, InstallAddConfigureShowRemove) {
    Result r = run("install");
    ASSERT_EQ(r.status, 0) << r.out;
    std::string inst = kotest::readFile(sandbox.odbcinstIniPath());
    EXPECT_NE(inst.find("[ODBC Btrieve Driver]"), std::string::npos) << inst;
    EXPECT_NE(inst.find("Setup=" + kotest::buildLib("ztbtr20s.so")), std::string::npos) << inst;
    EXPECT_NE(inst.find("Driver=" + kotest::buildLib("ztbtr20.so")), std::string::npos) << inst;

    r = run("add DSN=Sales 'Description=Sales data' DB=/srv/sales UT=ERROR");
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("configure DSN=Sales AS=8192");
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("show Sales");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Description=Sales data\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Database=/srv/sales\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("UndefinedTable=ERROR\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ArraySize=8192\n"), std::string::npos) << r.out;

    r = run("remove Sales");
    ASSERT_EQ(r.status, 0) << r.out;
    r = run("show Sales");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("no data source named \"Sales\""), std::string::npos) << r.out;
}

TEST_F(Tool, FailuresExitNonZeroWithAReason) {
    ASSERT_EQ(run("install").status, 0);
    Result r = run("add DSN=Bad 1A=x");
    EXPECT_NE(r.status, 0);
    // The setup module's own reason reaches the user through the installer's error queue.
    EXPECT_NE(r.out.find("add failed: Syntax error in the attribute list at position 8."), std::string::npos)
        << r.out;
    r = run("add DSN=Bad DB=x Database=y dsn=z");
    EXPECT_NE(r.out.find("is given twice"), std::string::npos) << r.out;
    r = run("add Database=/x");
    EXPECT_EQ(r.status, 2) << r.out;
    r = run("add -d 'No Such Driver' DSN=X");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("add failed"), std::string::npos) << r.out;
    r = run("frobnicate");
    EXPECT_EQ(r.status, 2);
    r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: btrdsn"), std::string::npos);
}

} // namespace
