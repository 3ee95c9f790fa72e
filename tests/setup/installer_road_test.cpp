// The whole road as a user's program takes it: unixODBC's SQLConfigDataSource loads the built setup
// module named by the driver's Setup= entry and calls its ConfigDSN.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

class InstallerRoad : public ::testing::Test {
protected:
    std::string value(const std::string& dsn, const std::string& key) {
        return sandbox.storedValue(dsn, key);
    }
    OdbcSandbox sandbox;
};

TEST_F(InstallerRoad, AddConfigureRemoveThroughTheDriverManager) {
    ASSERT_TRUE(sandbox.configDataSource(
        ODBC_ADD_DSN, OdbcSandbox::driverName,
        attributeList({"DSN=Road", "Description=Via installer", "DB=/d", "UT=ERROR"})))
        << sandbox.installerError();
    EXPECT_EQ(value("Road", "Driver"), OdbcSandbox::driverName);
    EXPECT_EQ(value("Road", "Description"), "Via installer");
    EXPECT_EQ(value("Road", "Database"), "/d");
    EXPECT_EQ(value("Road", "UndefinedTable"), "ERROR");
    EXPECT_EQ(value("Road", "ArraySize"), "4096");

    ASSERT_TRUE(sandbox.configDataSource(ODBC_CONFIG_DSN, OdbcSandbox::driverName,
                                         attributeList({"DSN=Road", "AS=8192"})));
    EXPECT_EQ(value("Road", "ArraySize"), "8192");
    EXPECT_EQ(value("Road", "Description"), "Via installer");

    ASSERT_TRUE(
        sandbox.configDataSource(ODBC_REMOVE_DSN, OdbcSandbox::driverName, attributeList({"DSN=Road"})));
    EXPECT_EQ(sandbox.readOdbcIni().count("Road"), 0u);
}

TEST_F(InstallerRoad, RefusedListsReachTheCallerAsFailure) {
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    EXPECT_FALSE(
        sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList({"DSN=X", "1A=x"})));
    EXPECT_FALSE(
        sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList({"DSN=X", "dsn=y"})));
    EXPECT_FALSE(
        sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList({"DSN=a(b)"})));
    EXPECT_FALSE(
        sandbox.configDataSource(ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList({"Database=/x"})));
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
}

TEST_F(InstallerRoad, MissingDriverLibraryWarnsButTheRequestGoesOn) {
    // A setup module and resource library without the driver library beside them.
    namespace fs = std::filesystem;
    std::string dir = sandbox.privateDir() + "/partial";
    fs::create_directory(dir);
    fs::copy_file(kotest::buildLib("ztbtr20s.so"), dir + "/ztbtr20s.so");
    fs::copy_file(kotest::buildLib("ztbtr20R.so"), dir + "/ztbtr20R.so");
    kotest::writeFile(sandbox.odbcinstIniPath(),
                      "[Partial Driver]\nDriver=" + dir + "/ztbtr20.so\nSetup=" + dir + "/ztbtr20s.so\n");
    testing::internal::CaptureStderr();
    BOOL ok = sandbox.configDataSource(ODBC_ADD_DSN, "Partial Driver", attributeList({"DSN=P"}));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok);
    EXPECT_NE(err.find("ODBC Btrieve Driver Setup Warning: Some setup features have been disabled due to an "
                       "incomplete driver or database client installation."),
              std::string::npos)
        << err;
    EXPECT_EQ(value("P", "Driver"), "Partial Driver");
}

} // namespace
