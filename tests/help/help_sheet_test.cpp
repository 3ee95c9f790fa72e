// Help from the setup sheet: F1 on a page opens the driver's help at that page's topic (the sheet shows
// no Help button: no page asks for one), and a driver without a help folder tells the user what to set.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "setup/setup.h"
#include "tests/help/helptest.h"
#include "tests/support/odbcsandbox.h"
#include "tests/support/setupmodule.h"

namespace {

using kotest::OdbcSandbox;

const auto* env = ::testing::AddGlobalTestEnvironment(new kotest::SetupModuleEnvironment);

// Runs one configure session of "Sales" with the actions; the sheet is cancelled by the script's end.
void session(const std::vector<std::string>& actions) {
    for (const std::string& a : actions)
        ASSERT_TRUE(koScriptPush(a.c_str())) << a;
    ConfigDSN(GetDesktopWindow(), ODBC_CONFIG_DSN, OdbcSandbox::driverName,
              kotest::attributeList({"DSN=Sales"}).c_str());
}

std::vector<std::string> openedAddresses(const std::string& log) {
    helptest::OpenerRun run;
    if (!helptest::waitForOpener(log, &run)) return {};
    return run.args;
}

TEST(HelpFromTheSheet, EachPageOpensItsTopic) {
    struct Case {
        std::vector<std::string> actions;
        const char* topic;
    } cases[] = {
        {{"help"}, "btrgeneral"},
        {{"page 1", "help"}, "btradvanced"},
    };
    for (const Case& c : cases) {
        OdbcSandbox odbc;
        helptest::HelpSandbox sandbox;
        kotest::ScriptedUser user;
        ASSERT_TRUE(ConfigDSN(nullptr, ODBC_ADD_DSN, OdbcSandbox::driverName,
                              kotest::attributeList({"DSN=Sales", "Description=kept"}).c_str()));
        kotest::writeFile(odbc.odbcinstIniPath(),
                          kotest::readFile(odbc.odbcinstIniPath()) + "HelpRootDirectory=/srv/help set\n");
        sandbox.registerBrowser("htmlfile", "\"%1\"");
        std::string before = kotest::readFile(odbc.odbcIniPath());
        session(c.actions);
        EXPECT_EQ(
            openedAddresses(sandbox.log()),
            std::vector<std::string>{std::string("file:///srv/help%20set/help.htm?context=ODBC&topic=") +
                                     c.topic + "&single=true"})
            << c.actions.back();
        EXPECT_TRUE(koScriptTakeShownBoxes().empty());
        EXPECT_EQ(kotest::readFile(odbc.odbcIniPath()), before) << "help writes nothing";
    }
}

TEST(HelpFromTheSheet, WithoutAHelpFolderTheUserIsToldWhatToSet) {
    OdbcSandbox odbc;
    helptest::HelpSandbox sandbox;
    kotest::ScriptedUser user;
    sandbox.registerBrowser("htmlfile", "\"%1\"");
    session({"page 1", "help"});
    std::vector<KoShownBox> boxes = koScriptTakeShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("HelpRootDirectory"), std::string::npos) << boxes[0].text;
    usleep(100000);
    EXPECT_NE(access(sandbox.log().c_str(), F_OK), 0) << "no browser was started";
}

} // namespace
