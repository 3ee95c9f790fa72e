// The setup sheet driven through unixODBC's SQLConfigDataSource by the script front end, as an
// administrator's automation would drive it: the module is loaded by the driver manager, reads the
// script named by the environment, and appends what it showed to the transcript.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

HWND foreignWindow() {
    static int toolkitWindow;
    return reinterpret_cast<HWND>(&toolkitWindow); // a window of the caller's own toolkit
}

class SheetRoad : public ::testing::Test {
protected:
    void SetUp() override {
        script = sandbox.privateDir() + "/script";
        transcriptPath = sandbox.privateDir() + "/transcript";
        SetEnvironmentVariableA("KO_UI", "script");
        SetEnvironmentVariableA("KO_UI_SCRIPT", script.c_str());
        SetEnvironmentVariableA("KO_UI_TRANSCRIPT", transcriptPath.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("KO_UI", nullptr);
        SetEnvironmentVariableA("KO_UI_SCRIPT", nullptr);
        SetEnvironmentVariableA("KO_UI_TRANSCRIPT", nullptr);
    }
    BOOL run(WORD request, const std::string& attributes, const std::string& actions) {
        kotest::writeFile(script, actions);
        BOOL ok = sandbox.configDataSource(request, OdbcSandbox::driverName, attributes, foreignWindow());
        return ok;
    }
    std::vector<std::string> transcript() const {
        std::vector<std::string> lines;
        std::istringstream in(kotest::readFile(transcriptPath));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }
    bool has(const std::string& line) const {
        for (const std::string& l : transcript())
            if (l == line) return true;
        return false;
    }
    OdbcSandbox sandbox;
    std::string script, transcriptPath;
};

TEST_F(SheetRoad, EditsOnBothPagesAreWrittenAfterOk) {
    ASSERT_TRUE(run(ODBC_ADD_DSN, attributeList({"DSN=Sales"}),
                    "type 402 Sales ledger\n"
                    "page 1\n"
                    "type 300 /srv/sales\n"
                    "check 305\n"
                    "uncheck 314\n"
                    "click 1\n"))
        << kotest::readFile(transcriptPath);
    EXPECT_EQ(sandbox.storedValue("Sales", "Description"), "Sales ledger");
    EXPECT_EQ(sandbox.storedValue("Sales", "Database"), "/srv/sales");
    EXPECT_EQ(sandbox.storedValue("Sales", "UndefinedTable"), "ERROR");
    EXPECT_EQ(sandbox.storedValue("Sales", "ApplicationUsingThreads"), "0");
    EXPECT_TRUE(has("sheet caption=\"ODBC Btrieve Driver Setup\" pages=3 owner=none"));
    EXPECT_TRUE(has("page index=0 title=\"General\""));
    EXPECT_TRUE(has("page index=1 title=\"Advanced\""));
    EXPECT_TRUE(has("end sheet result=1"));
}

TEST_F(SheetRoad, CancelWritesNothingAndFails) {
    EXPECT_FALSE(run(ODBC_ADD_DSN, attributeList({"DSN=Gone"}), "type 402 never\nclick 2\n"));
    EXPECT_EQ(sandbox.readOdbcIni().count("Gone"), 0u);
    EXPECT_TRUE(has("end sheet result=0"));
}

TEST_F(SheetRoad, ApplyThenCancelKeepsTheSavedChange) {
    EXPECT_TRUE(run(ODBC_ADD_DSN, attributeList({"DSN=Kept"}),
                    "type 402 first\nclick 12321\ntype 402 second\nclick 2\n"));
    EXPECT_EQ(sandbox.storedValue("Kept", "Description"), "first");
}

TEST_F(SheetRoad, AnExhaustedScriptCancelsAndBadLinesAreReported) {
    EXPECT_FALSE(run(ODBC_ADD_DSN, attributeList({"DSN=Short"}),
                     "# comment\n\nfrobnicate 3\nclick 999\ntype 402 \\q\ntype 401 "
                     "a-name-much-longer-than-thirty-two-characters\n"));
    EXPECT_EQ(sandbox.readOdbcIni().count("Short"), 0u);
    std::vector<std::string> lines = transcript();
    std::string all;
    for (auto& l : lines)
        all += l + "\n";
    EXPECT_NE(all.find("refused line=3 text=\"frobnicate 3\" reason=\"unknown action: frobnicate\""),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("refused line=4 text=\"click 999\""), std::string::npos) << all;
    EXPECT_NE(all.find("refused line=5"), std::string::npos) << all;
    EXPECT_NE(all.find("refused line=6"), std::string::npos) << all;
    EXPECT_NE(all.find("script exhausted"), std::string::npos) << all;
}

TEST_F(SheetRoad, WithoutAFrontEndTheSheetFailsAndNothingIsWritten) {
    SetEnvironmentVariableA("KO_UI", nullptr);
    EXPECT_FALSE(run(ODBC_ADD_DSN, attributeList({"DSN=Headless"}), "click 1\n"));
    EXPECT_EQ(sandbox.readOdbcIni().count("Headless"), 0u);
}

} // namespace
