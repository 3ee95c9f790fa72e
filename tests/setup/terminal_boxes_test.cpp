// Message boxes, the open-file dialog and a dialog of every control kind at a terminal. The test
// program runs itself in tmux as the child that shows them (KO_TERMINAL_CHILD names what to show)
// and writes what the person chose to a file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/setup/terminalrun.h"
#include "tests/support/support.h"

namespace {

enum : WORD { button = 0x0080, edit = 0x0081, label = 0x0082, combo = 0x0085 };

std::string resultFile() {
    const char* r = std::getenv("KO_TERMINAL_RESULT");
    return r ? r : "/dev/null";
}

INT_PTR dialogProc(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(d, 101, EM_SETPASSWORDCHAR, '*', 0);
        SendDlgItemMessageA(d, 101, EM_LIMITTEXT, 6, 0);
        for (const char* entry : {"Btrieve 5", "Btrieve 6", "Btrieve 7"})
            SendDlgItemMessageA(d, 102, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        SendDlgItemMessageA(d, 102, CB_SETCURSEL, 0, 0);
        ShowWindow(GetDlgItem(d, 106), SW_HIDE);
        return TRUE;
    }
    if (message == WM_HELP) {
        // F1 names the control with the focus in the caption.
        auto* help = reinterpret_cast<HELPINFO*>(lParam);
        SetWindowTextA(d, ("Help for " + std::to_string(help->iCtrlId)).c_str());
        return TRUE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    if (LOWORD(wParam) == 105) {
        // A box over the dialog; its answer goes into the edit.
        int a = MessageBoxA(d, "Fill the password?", "Ask", MB_YESNO | MB_ICONQUESTION);
        if (a == IDYES) SetDlgItemTextA(d, 101, "yes");
        return TRUE;
    }
    if (LOWORD(wParam) == IDOK) {
        char pw[32], version[32];
        GetDlgItemTextA(d, 101, pw, sizeof pw);
        GetDlgItemTextA(d, 102, version, sizeof version);
        kotest::writeFile(resultFile(),
                          std::string(pw) + "|" + version + "|" + std::to_string(IsDlgButtonChecked(d, 104)));
        EndDialog(d, IDOK);
    } else if (LOWORD(wParam) == IDCANCEL) {
        kotest::writeFile(resultFile(), "cancel");
        EndDialog(d, IDCANCEL);
    }
    return TRUE;
}

// The child's part: show what KO_TERMINAL_CHILD names, write the outcome, and end.
bool runChild() {
    const char* what = std::getenv("KO_TERMINAL_CHILD");
    if (!what) return false;
    std::string w = what, out;
    if (w.compare(0, 7, "msgbox:") == 0) {
        UINT style = static_cast<UINT>(std::strtoul(w.c_str() + 7, nullptr, 0));
        out = std::to_string(MessageBoxA(nullptr, "Replace the data source?", "Setup", style));
    } else if (w == "open") {
        char file[PATH_MAX] = "";
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.lpstrFile = file;
        ofn.nMaxFile = sizeof file;
        ofn.lpstrFilter = "Btrieve Files\0*.dta;*.btr\0All Files\0*.*\0";
        ofn.nFilterIndex = 1;
        ofn.lpstrTitle = "Define File";
        std::string dir = std::getenv("KO_TERMINAL_DIR");
        ofn.lpstrInitialDir = dir.c_str();
        ofn.Flags = OFN_FILEMUSTEXIST;
        out = GetOpenFileNameA(&ofn) ? file : "cancel";
    } else if (w == "dialog") {
        kotest::DialogTemplate t("Connection", WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 80, 7);
        t.item(DWORD{WS_TABSTOP} | WS_BORDER, 101, edit, 60, 8, 60, "");
        t.item(DWORD{WS_TABSTOP} | CBS_DROPDOWNLIST, 102, combo, 60, 24, 80, "");
        t.item(DWORD{WS_TABSTOP} | WS_DISABLED | WS_BORDER, 103, edit, 60, 40, 60, "locked");
        t.item(DWORD{WS_TABSTOP} | BS_AUTOCHECKBOX, 104, button, 8, 56, 80, "&Trace");
        t.item(WS_TABSTOP, 105, button, 100, 56, 40, "&Ask...");
        t.item(WS_TABSTOP, 106, button, 150, 56, 40, "Hidden");
        t.item(DWORD{WS_TABSTOP} | BS_DEFPUSHBUTTON, IDOK, button, 150, 8, 40, "OK");
        out = std::to_string(DialogBoxIndirectParamA(nullptr, t.get(), nullptr, dialogProc, 0));
        if (out != "1") kotest::writeFile(resultFile(), kotest::readFile(resultFile()) + "|" + out);
        _exit(0);
    }
    kotest::writeFile(resultFile(), out);
    _exit(0);
}

const bool isChild = runChild();

std::string self() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    path[n > 0 ? n : 0] = 0;
    return path;
}

class TerminalBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kotest::tmuxInstalled()) << "tmux is missing (scripts/install-deps.sh installs it)";
        result = temp.file("result");
    }
    std::unique_ptr<kotest::TmuxTerminal> run(const std::string& child, const std::string& ui = "terminal") {
        std::remove(result.c_str());
        std::vector<std::string> env{"KO_TERMINAL_CHILD=" + child, "KO_TERMINAL_RESULT=" + result,
                                     "KO_TERMINAL_DIR=" + temp.path()};
        if (!ui.empty()) env.push_back("KO_UI=" + ui);
        auto t = std::make_unique<kotest::TmuxTerminal>(temp.path(), env, std::vector<std::string>{self()});
        EXPECT_TRUE(t->started());
        return t;
    }
    std::string outcome(const kotest::TmuxTerminal& t) {
        EXPECT_TRUE(t.waitFor("EXIT=0")) << t.screen();
        return kotest::readFile(result);
    }
    kotest::TempDir temp;
    std::string result;
};

TEST_F(TerminalBoxes, MessageBoxKeys) {
    const UINT yesNoCancel = MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;
    struct Case {
        UINT style;
        std::vector<std::string> keys;
        int answer;
    } cases[] = {
        {yesNoCancel, {"Enter"}, IDNO},                    // the default button has the focus
        {yesNoCancel, {"Left", "Enter"}, IDYES},           //
        {yesNoCancel, {"Tab", "Space"}, IDCANCEL},         //
        {yesNoCancel, {"Right", "Right", "Enter"}, IDYES}, // wrapping
        {yesNoCancel, {"y"}, IDYES},                       // a button's first letter
        {yesNoCancel, {"Escape"}, IDCANCEL},               //
        {MB_YESNO, {"Escape", "n"}, IDNO},                 // no Cancel: Escape does nothing
        {MB_OK, {"Escape"}, IDOK},                         // OK alone: Escape is OK
        {MB_RETRYCANCEL, {"r"}, IDRETRY},
    };
    for (const Case& c : cases) {
        char style[16];
        std::snprintf(style, sizeof style, "0x%X", c.style);
        auto t = run(std::string("msgbox:") + style);
        ASSERT_TRUE(t->waitFor("Replace the data source?")) << style << "\n" << t->screen();
        if (c.style == yesNoCancel) {
            EXPECT_NE(t->screen().find("+- Setup -"), std::string::npos) << t->screen();
            EXPECT_NE(t->lineWith("Replace the data source?").find("(?) Replace"), std::string::npos)
                << t->screen();
        }
        t->keys(c.keys);
        EXPECT_EQ(outcome(*t), std::to_string(c.answer)) << style << " " << c.keys[0];
    }
}

TEST_F(TerminalBoxes, BoxWithoutWindowOrChoiceStaysOnStandardError) {
    // KO_UI unset: a box no dialog or window asked for is not a reason to take the terminal.
    auto t = run("msgbox:0x103", "");
    EXPECT_EQ(outcome(*t), std::to_string(IDNO));
    EXPECT_NE(t->screen().find("Setup: Replace the data source?"), std::string::npos) << t->screen();
}

TEST_F(TerminalBoxes, OpenFileBrowsesFiltersAndRefuses) {
    mkdir(temp.file("sub").c_str(), 0700);
    for (const char* f : {"a.dta", "b.txt", "sub/c.btr", "sub/d.txt"})
        kotest::writeFile(temp.file(f), "x");
    auto t = run("open");
    ASSERT_TRUE(t->waitFor("Define File")) << t->screen();
    std::string s = t->screen();
    EXPECT_NE(s.find("Look in: " + temp.path()), std::string::npos) << s;
    EXPECT_NE(s.find("[sub]"), std::string::npos) << s;
    EXPECT_NE(s.find(" a.dta"), std::string::npos) << s;
    EXPECT_EQ(s.find("b.txt"), std::string::npos) << "the filter leaves it out\n" << s;
    EXPECT_NE(s.find("< Btrieve Files >"), std::string::npos) << s;
    // The filter: Tab twice from the name field, then Right.
    t->keys({"Tab", "Tab", "Right"});
    ASSERT_TRUE(t->waitFor("< All Files >")) << t->screen();
    EXPECT_TRUE(t->waitFor(" b.txt")) << t->screen();
    // A name that is not there is refused and the dialog stays.
    t->keys({"Tab", "Tab", "Tab"});
    t->type("missing.dta");
    t->keys({"Enter"});
    ASSERT_TRUE(t->waitFor("Refused: the file does not exist.")) << t->screen();
    // Into the folder by the list: "..", then "[sub]".
    t->keys({"C-u", "Tab", "Down", "Enter"});
    ASSERT_TRUE(t->waitFor("Look in: " + temp.path() + "/sub")) << t->screen();
    EXPECT_TRUE(t->waitFor(" d.txt")) << "the chosen filter stays\n" << t->screen();
    t->keys({"Down", "Enter"});
    EXPECT_EQ(outcome(*t), temp.file("sub/c.btr"));

    t = run("open");
    ASSERT_TRUE(t->waitFor("Define File")) << t->screen();
    t->keys({"Escape"});
    EXPECT_EQ(outcome(*t), "cancel");
}

TEST_F(TerminalBoxes, DialogOfEveryControlKind) {
    auto t = run("dialog");
    ASSERT_TRUE(t->waitFor("+- Connection -")) << t->screen();
    std::string s = t->screen();
    EXPECT_NE(t->lineWith("Btrieve 5").find(" v "), std::string::npos) << s;
    EXPECT_NE(s.find("locked"), std::string::npos) << s;
    EXPECT_NE(s.find("[ ] Trace"), std::string::npos) << s;
    EXPECT_EQ(s.find("Hidden"), std::string::npos) << s;
    // The password is masked and held to its limit of 6.
    t->type("secret99");
    ASSERT_TRUE(t->waitFor("******_")) << t->screen();
    EXPECT_EQ(t->screen().find("secret"), std::string::npos);
    EXPECT_EQ(t->screen().find("*******"), std::string::npos) << "the limit holds\n" << t->screen();
    // The combo box: its list opens with Alt-Down, arrows mark, Enter chooses.
    t->keys({"Tab", "M-Down"});
    ASSERT_TRUE(t->waitFor("Btrieve 7")) << t->screen();
    t->keys({"Down", "Down", "Enter"});
    ASSERT_TRUE(t->waitFor("Btrieve 7 ")) << t->screen();
    EXPECT_NE(t->lineWith("Btrieve 7").find(" v "), std::string::npos) << "the list is up again\n"
                                                                       << t->screen();
    // Tab passes over the disabled edit to the check box; F1 asks help for it.
    t->keys({"Tab", "Space", "F1"});
    ASSERT_TRUE(t->waitFor("[x] Trace")) << t->screen();
    EXPECT_TRUE(t->waitFor("+- Help for 104 -")) << t->screen();
    // A box over the dialog, then the dialog again.
    t->keys({"Tab", "Enter"});
    ASSERT_TRUE(t->waitFor("Fill the password?")) << t->screen();
    EXPECT_NE(t->screen().find("+- Help for 104 -"), std::string::npos) << "the dialog stays below\n"
                                                                        << t->screen();
    t->keys({"y"});
    ASSERT_TRUE(t->waitFor("***_")) << t->screen();
    t->keys({"Tab", "Enter"});
    EXPECT_EQ(outcome(*t), "yes|Btrieve 7|1");

    t = run("dialog");
    ASSERT_TRUE(t->waitFor("+- Connection -")) << t->screen();
    t->keys({"Escape"});
    EXPECT_EQ(outcome(*t), "cancel|2");
}

} // namespace
