// The setup sheet at a terminal, as an administrator on a server uses it: btrdsn add --dialog and
// configure --dialog run in tmux, keys are typed, and both the screen and odbc.ini are checked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/setup/terminalrun.h"
#include "tests/setup/toolrun.h"
#include "tests/support/odbcsandbox.h"

namespace {

using kotest::TmuxTerminal;

class TerminalDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kotest::tmuxInstalled()) << "tmux is missing (scripts/install-deps.sh installs it)";
        ASSERT_EQ(kotest::runTool({"install"}).status, 0);
    }
    std::vector<std::string> env() const {
        return {"LANG=C.UTF-8", "ODBCSYSINI=" + sandbox.dir(), "ODBCINI=" + sandbox.odbcIniPath(),
                "HOME=" + sandbox.privateDir() + "/home"};
    }
    // btrdsn with args in a terminal, its sheet on the screen.
    std::unique_ptr<TmuxTerminal> open(const std::vector<std::string>& args, int cols = 80, int rows = 24,
                                       const std::string& term = "") {
        std::vector<std::string> command{kotest::buildBin("btrdsn")};
        command.insert(command.end(), args.begin(), args.end());
        std::vector<std::string> vars = env();
        if (!term.empty()) vars.push_back("TERM=" + term);
        auto t = std::make_unique<TmuxTerminal>(sandbox.privateDir(), vars, command, cols, rows);
        EXPECT_TRUE(t->started());
        EXPECT_TRUE(t->waitFor("ODBC Btrieve Driver Setup")) << t->screen();
        return t;
    }
    std::string stored(const std::string& dsn, const std::string& key) const {
        return sandbox.storedValue(dsn, key);
    }
    kotest::OdbcSandbox sandbox;
};

TEST_F(TerminalDialog, AddTypesOnBothPagesAndConfirmsWithEnter) {
    auto t = open({"add", "--dialog", "DSN=Sales"});
    std::string s = t->screen();
    // The whole sheet fits 80 by 24: frame, tabs, the page's labels, the buttons.
    EXPECT_NE(s.find("+- ODBC Btrieve Driver Setup -"), std::string::npos) << s;
    EXPECT_NE(s.find("[ 1 General ]"), std::string::npos) << s;
    EXPECT_NE(t->lineWith("Data Source Name:").find("Sales"), std::string::npos) << s;
    EXPECT_NE(s.find("< OK >"), std::string::npos) << s;
    EXPECT_NE(s.find("[ Cancel ]"), std::string::npos) << s;
    // The name came with the request, so it cannot be edited: typing lands in Description. The
    // terminal's UTF-8 becomes the ANSI code page's bytes; a letter the code page lacks is not taken.
    t->type("Café \u03A9ledger");
    EXPECT_TRUE(t->waitFor("Café ledger")) << t->screen();
    EXPECT_EQ(t->cursor(), "36,5") << "the caret follows the text";
    t->keys({"C-NPage"});
    ASSERT_TRUE(t->waitFor("[ 2 Advanced ]")) << t->screen();
    // The Advanced page offers Error whatever was stored (PROMPT, the default, here).
    ASSERT_TRUE(t->waitFor("( ) Prompt      (*) Error")) << t->screen();
    t->type("/srv/sales");
    // Tab by Tab to the radio group, Left and Right move the check and back; Tab to the check boxes,
    // Space toggles.
    t->keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Left", "Right", "Tab", "Space"});
    ASSERT_TRUE(t->waitFor("(*) Error")) << t->screen();
    ASSERT_TRUE(t->waitFor("[x] International sort")) << t->screen();
    t->keys({"Enter"});
    ASSERT_TRUE(t->waitFor("EXIT=0")) << t->screen();
    EXPECT_NE(t->screen().find("added \"Sales\""), std::string::npos);
    EXPECT_NE(t->screen().find("\nicanon"), std::string::npos) << "the terminal is restored\n" << t->screen();
    EXPECT_EQ(stored("Sales", "Description"), "Caf\xE9 ledger");
    EXPECT_EQ(stored("Sales", "Database"), "/srv/sales");
    EXPECT_EQ(stored("Sales", "UndefinedTable"), "ERROR");
    EXPECT_EQ(stored("Sales", "IntlSort"), "1");
}

// Every way of changing page reaches the page it names; the edits of each page stay. The name is
// typed in the dialog, as add --dialog without DSN= lets a person do.
TEST_F(TerminalDialog, PageKeysTable) {
    auto t = open({"add", "--dialog"});
    t->type("Pages");
    struct Step {
        std::vector<std::string> keys;
        const char* shown;
    } steps[] = {
        {{"M-3"}, "[ 3 About ]"},        {{"C-NPage"}, "[ 1 General ]"}, {{"C-PPage"}, "[ 3 About ]"},
        {{"C-PPage"}, "[ 2 Advanced ]"}, {{"M-1"}, "[ 1 General ]"},     {{"M-9"}, "[ 1 General ]"},
        {{"M-2"}, "[ 2 Advanced ]"},
    };
    for (const Step& step : steps) {
        t->keys(step.keys);
        EXPECT_TRUE(t->waitFor(step.shown, 2000)) << step.keys[0] << " should show " << step.shown << "\n"
                                                  << t->screen();
    }
    t->type("/data");
    t->keys({"M-1", "M-d"});
    t->type("kept across pages");
    t->keys({"M-2", "Enter"});
    ASSERT_TRUE(t->waitFor("EXIT=0")) << t->screen();
    EXPECT_NE(t->screen().find("added \"Pages\" (user data source"), std::string::npos) << t->screen();
    EXPECT_EQ(stored("Pages", "Database"), "/data");
    EXPECT_EQ(stored("Pages", "Description"), "kept across pages");
}

// The editing keys mean the same whatever TERM says, even when it is not the multiplexer's own.
TEST_F(TerminalDialog, EditingKeysUnderEveryTerm) {
    for (const char* term : {"screen", "xterm-256color", "vt100"}) {
        std::string dsn = std::string("Keys-") + term;
        auto t = open({"add", "--dialog", "DSN=" + dsn}, 80, 24, term);
        t->type("abc");
        t->keys({"Home", "DC", "End"});
        t->type("Z");
        t->keys({"Left", "BSpace", "C-NPage"});
        EXPECT_TRUE(t->waitFor("[ 2 Advanced ]", 2000)) << term << "\n" << t->screen();
        t->keys({"Enter"});
        ASSERT_TRUE(t->waitFor("EXIT=0")) << term << "\n" << t->screen();
        EXPECT_EQ(stored(dsn, "Description"), "bZ") << term;
    }
}

// Leaving without confirming writes nothing, however the run ends, and gives the terminal back.
TEST_F(TerminalDialog, LeavingWithoutConfirmingWritesNothing) {
    ASSERT_EQ(kotest::runTool({"add", "DSN=Keep", "Description=original", "DB=/keep"}).status, 0);
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    struct Way {
        const char* name;
        std::vector<std::string> keys;
        const char* exit; // what the pane shows afterwards; null: the pane is gone
    } ways[] = {
        {"Escape", {"Escape"}, "EXIT=1"},
        {"Cancel button", {"Tab", "Tab", "Tab", "Tab", "Enter"}, "EXIT=1"},
        {"Ctrl-C", {"C-c"}, "EXIT=130"},
    };
    for (const Way& way : ways) {
        auto t = open({"configure", "--dialog", "DSN=Keep"});
        // The focus starts on the name, editable when configuring.
        t->keys({"Tab", "C-u"});
        t->type("changed");
        ASSERT_TRUE(t->waitFor("changed")) << way.name << "\n" << t->screen();
        t->keys(way.keys);
        ASSERT_TRUE(t->waitFor(way.exit)) << way.name << "\n" << t->screen();
        EXPECT_NE(t->screen().find("\nicanon"), std::string::npos) << way.name << "\n" << t->screen();
        EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before) << way.name;
        if (std::string(way.exit) == "EXIT=1") {
            EXPECT_NE(t->screen().find("btrdsn: configure: cancelled; nothing was written"),
                      std::string::npos)
                << t->screen();
        }
    }
    // A lost terminal: the pane's process gets its hangup while the sheet waits.
    auto t = open({"configure", "--dialog", "DSN=Keep"});
    t->keys({"Tab", "C-u"});
    t->type("changed");
    ASSERT_TRUE(t->waitFor("changed"));
    t->tmux("kill-pane");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
}

TEST_F(TerminalDialog, ApplyKeepsWhatCancelLaterLeaves) {
    ASSERT_EQ(kotest::runTool({"add", "DSN=Orders", "Description=old"}).status, 0);
    auto t = open({"configure", "--dialog", "DSN=Orders"});
    EXPECT_NE(t->lineWith("Description:").find("old"), std::string::npos) << t->screen();
    t->keys({"Tab", "End", "BSpace", "BSpace", "BSpace"});
    t->type("applied");
    // Apply writes and the sheet stays: Description, Advanced..., About..., OK, Cancel, Apply.
    // Alt with a label's underlined letter goes to the control after the label.
    t->keys({"Tab", "Tab", "Tab", "Tab", "Tab", "Space", "M-d"});
    t->keys({"Home"});
    t->type("not ");
    ASSERT_TRUE(t->waitFor("not applied")) << t->screen();
    t->keys({"Escape"});
    ASSERT_TRUE(t->waitFor("EXIT=")) << t->screen();
    EXPECT_EQ(stored("Orders", "Description"), "applied");
}

TEST_F(TerminalDialog, MouseClicksTabsBoxesAndButtons) {
    auto t = open({"add", "--dialog", "DSN=Mouse"});
    struct Click {
        const char* on;
        const char* then;
    } clicks[] = {
        {"3 About", "[ 3 About ]"},
        {"2 Advanced", "[ 2 Advanced ]"},
        {"International sort", "[x] International sort"},
        {"Error", "(*) Error"},
        {"[ ] Use long qualifiers", "[x] Use long qualifiers"},
    };
    for (const Click& c : clicks) {
        ASSERT_TRUE(t->click(c.on)) << c.on << "\n" << t->screen();
        EXPECT_TRUE(t->waitFor(c.then, 2000)) << c.on << "\n" << t->screen();
    }
    ASSERT_TRUE(t->click("< OK >"));
    ASSERT_TRUE(t->waitFor("EXIT=0")) << t->screen();
    EXPECT_EQ(stored("Mouse", "IntlSort"), "1");
    EXPECT_EQ(stored("Mouse", "UndefinedTable"), "ERROR");
    EXPECT_EQ(stored("Mouse", "UseLongQualifiers"), "1");
}

// Without a terminal (output to a pipe) --dialog is refused before anything is read or written;
// KO_UI=script still runs the dialog from a script, and only add and configure take the option.
TEST_F(TerminalDialog, DialogOptionWithoutATerminal) {
    std::string before = kotest::readFile(sandbox.odbcIniPath());
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"add", "--dialog", "DSN=Piped"},
         2,
         "btrdsn: add: --dialog needs a terminal on standard input and output"},
        {{"configure", "--dialog", "DSN=Piped"}, 2, "btrdsn: configure: --dialog needs a terminal"},
        {{"remove", "--dialog", "Piped"}, 2, "btrdsn: remove: unknown option \"--dialog\""},
        {{"show", "--dialog", "Piped"}, 2, "btrdsn: show: unknown option \"--dialog\""},
    };
    for (const Case& c : cases) {
        kotest::ToolResult r = kotest::runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << ": " << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    EXPECT_EQ(kotest::readFile(sandbox.odbcIniPath()), before);
    std::string script = sandbox.privateDir() + "/script";
    kotest::writeFile(script, "type 402 from a script\nclick 1\n");
    setenv("KO_UI", "script", 1);
    setenv("KO_UI_SCRIPT", script.c_str(), 1);
    kotest::ToolResult r = kotest::runTool({"add", "--dialog", "DSN=Scripted"});
    unsetenv("KO_UI");
    unsetenv("KO_UI_SCRIPT");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(stored("Scripted", "Description"), "from a script");
}

TEST_F(TerminalDialog, ResizingRedrawsCentred) {
    auto t = open({"add", "--dialog", "DSN=Wide"}, 100, 30);
    std::string line = t->lineWith("ODBC Btrieve Driver Setup");
    EXPECT_EQ(line.find('+'), 10u) << t->screen();
    t->tmux("resize-window -x 80 -y 24");
    for (int waited = 0; waited < 3000 && t->lineWith("ODBC Btrieve Driver Setup").find('+') != 0;
         waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(t->lineWith("ODBC Btrieve Driver Setup").find('+'), 0u) << t->screen();
    t->keys({"Escape"});
    EXPECT_TRUE(t->waitFor("EXIT=1")) << t->screen();
}

} // namespace
