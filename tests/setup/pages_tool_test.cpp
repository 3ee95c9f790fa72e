// The setup dialog from the command line: btrdsn add and configure --dialog run the sheet through the
// script front end, as automation runs them, and the result is what odbc.ini holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/setup/toolrun.h"
#include "tests/support/odbcsandbox.h"

namespace {

using kotest::runTool;
using kotest::ToolResult;

class DialogTool : public ::testing::Test {
protected:
    void SetUp() override {
        script = temp.file("script");
        transcript = temp.file("transcript");
        setenv("KO_UI", "script", 1);
        setenv("KO_UI_SCRIPT", script.c_str(), 1);
        setenv("KO_UI_TRANSCRIPT", transcript.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("KO_UI");
        unsetenv("KO_UI_SCRIPT");
        unsetenv("KO_UI_TRANSCRIPT");
    }
    ToolResult dialog(const std::string& command, const std::string& actions, const char* name = nullptr) {
        kotest::writeFile(script, actions);
        kotest::writeFile(transcript, "");
        std::vector<std::string> args{command, "--dialog"};
        if (name) args.push_back(std::string("DSN=") + name);
        return runTool(args);
    }
    std::string stored(const std::string& dsn, const std::string& key) {
        return sandbox.storedValue(dsn, key);
    }
    bool shown(const std::string& text) {
        return kotest::readFile(transcript).find(text) != std::string::npos;
    }

    kotest::OdbcSandbox sandbox;
    kotest::TempDir temp;
    std::string script, transcript;
};

TEST_F(DialogTool, AddConfigureRenameAndCancel) {
    ToolResult r =
        dialog("add", "type 402 From the tool\npage 1\ntype 300 /srv/tool\ntype 311 64\nclick 1\n", "Tool");
    ASSERT_EQ(r.status, 0) << r.out << kotest::readFile(transcript);
    EXPECT_NE(r.out.find("added \"Tool\""), std::string::npos) << r.out;
    EXPECT_EQ(stored("Tool", "Description"), "From the tool");
    EXPECT_EQ(stored("Tool", "Database"), "/srv/tool");
    EXPECT_EQ(stored("Tool", "ArraySize"), "64");
    EXPECT_EQ(stored("Tool", "UndefinedTable"), "ERROR");
    EXPECT_TRUE(shown("sheet caption=\"ODBC Btrieve Driver Setup\" pages=3"));

    // A new name in the dialog moves the data source; the tool names where it went.
    r = dialog("configure", "type 401 Renamed\nclick 1\n", "Tool");
    ASSERT_EQ(r.status, 0) << r.out << kotest::readFile(transcript);
    EXPECT_NE(r.out.find("configured \"Renamed\""), std::string::npos) << r.out;
    EXPECT_EQ(sandbox.readOdbcIni().count("Tool"), 0u);
    EXPECT_EQ(stored("Renamed", "Database"), "/srv/tool");
    EXPECT_EQ(stored("Renamed", "Description"), "From the tool");

    // A refused extension, then Cancel: nothing is written and the tool says so.
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    r = dialog("configure", "type 402 lost\npage 1\ntype 313 a.b\nclick 1\nclick 2\n", "Renamed");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("cancelled; nothing was written"), std::string::npos) << r.out;
    EXPECT_TRUE(shown("msgbox caption=\"Warning\" text=\"Data File Extension is invalid.\""));
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);

    // A connection test alone saves nothing either.
    r = dialog("configure", "type 402 lost\nclick 319\nclick 2\n", "Renamed");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);

    // The name typed in the dialog.
    r = dialog("add", "type 401 Typed\nclick 1\n");
    ASSERT_EQ(r.status, 0) << r.out << kotest::readFile(transcript);
    EXPECT_NE(r.out.find("added \"Typed\""), std::string::npos) << r.out;
    EXPECT_EQ(stored("Typed", "DataFileExtension"), "DTA");
}

} // namespace
