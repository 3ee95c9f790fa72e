// The General and Advanced pages in whole dialog sessions: ConfigDSN with a window, the user's
// actions queued for the script front end, and what the session showed and stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "setup/pages.h"
#include "setup/setup.h"
#include "tests/support/odbcsandbox.h"

using kotest::attributeList;
using kotest::OdbcSandbox;

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

const char* invalidName =
    "Invalid data source name.  The first character must be a letter, and the name cannot "
    "contain any of the following characters:  [ ] { } ( ) ? * = ! @ , ;";

class Pages : public ::testing::Test {
protected:
    void SetUp() override {
        koScriptTakeTranscript();
        koScriptTakeShownBoxes();
        data = temp.file("data");
        ASSERT_EQ(CreateDirectoryA(data.c_str(), nullptr), TRUE);
        kotest::writeFile(data + "/a.dta", "");
        kotest::writeFile(data + "/b.dat", "");
    }
    // Stores a data source without a dialog.
    void seed(std::initializer_list<std::string> entries) {
        ASSERT_TRUE(
            ConfigDSN(nullptr, ODBC_ADD_DSN, OdbcSandbox::driverName, attributeList(entries).c_str()));
        koScriptTakeShownBoxes();
        koScriptTakeTranscript();
    }
    // One dialog session: the actions, one per line, then the sheet over the request.
    BOOL session(WORD request, std::initializer_list<std::string> entries, const std::string& actions) {
        size_t start = 0;
        while (start < actions.size()) {
            size_t end = actions.find('\n', start);
            if (end == std::string::npos) end = actions.size();
            EXPECT_TRUE(koScriptPush(actions.substr(start, end - start).c_str()));
            start = end + 1;
        }
        BOOL ok =
            ConfigDSN(GetDesktopWindow(), request, OdbcSandbox::driverName, attributeList(entries).c_str());
        lines = koScriptTakeTranscript();
        boxes = koScriptTakeShownBoxes();
        return ok;
    }
    std::string stored(const std::string& dsn, const std::string& key) {
        return sandbox.storedValue(dsn, key);
    }
    std::string odbcIni() { return kotest::readFile(sandbox.odbcIniPath()); }
    bool shown(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // The last page the sheet showed.
    std::string lastPage() const {
        for (auto l = lines.rbegin(); l != lines.rend(); ++l)
            if (l->rfind("page index=", 0) == 0) return *l;
        return "";
    }
    std::string all() const {
        std::string s;
        for (const std::string& l : lines)
            s += l + "\n";
        return s;
    }

    kotest::ScriptedUser user;
    OdbcSandbox sandbox;
    kotest::TempDir temp;
    std::string data;
    std::vector<std::string> lines;
    std::vector<KoShownBox> boxes;
};

// OK after edits on both pages stores both; the Advanced page checks "ERROR" whatever was stored,
// so the choice changes only once that page has been shown.
TEST_F(Pages, OkStoresTheEditsOfBothPagesAndTheAdvancedPageOffersError) {
    struct Case {
        const char* actions;
        const char* description;
        const char* arraySize;
        const char* undefinedTable;
    } cases[] = {
        {"type 402 ledger\npage 1\ntype 311 1024\nclick 1", "ledger", "1024", "ERROR"},
        {"type 402 general only\nclick 1", "general only", "512", "PROMPT"},
        {"page 1\npage 0\nclick 1", "old", "512", "ERROR"},
        {"page 1\ncheck 304\nclick 12321\nclick 2", "old", "512", "PROMPT"},
    };
    for (const Case& c : cases) {
        seed({"DSN=Sales", "Description=old", "DB=/srv/old", "UT=PROMPT", "AS=512", "IS=1"});
        ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Sales"}, c.actions)) << c.actions << "\n" << all();
        EXPECT_EQ(stored("Sales", "Description"), c.description) << c.actions;
        EXPECT_EQ(stored("Sales", "ArraySize"), c.arraySize) << c.actions;
        EXPECT_EQ(stored("Sales", "UndefinedTable"), c.undefinedTable) << c.actions;
        EXPECT_EQ(stored("Sales", "Database"), "/srv/old") << c.actions;
        EXPECT_EQ(stored("Sales", "IntlSort"), "1") << c.actions;
        EXPECT_TRUE(boxes.empty()) << c.actions;
    }
}

// The button stands 7 units left of the sheet's OK, aligned with it, with its size and font.
TEST_F(Pages, TestConnectStandsBesideOk) {
    kotest::useBuildResources();
    std::string list = attributeList({"DSN=Geo"});
    DSNInfoStruct info(GetDesktopWindow(), ODBC_CONFIG_DSN, U(OdbcSandbox::driverName), U(list.c_str()),
                       setupInfoTable, setupInfoTableCount);
    uint16_t show = 0;
    ASSERT_NE(info.config(&show), 0u);
    PROPSHEETPAGEA p{};
    p.dwSize = sizeof p;
    p.hInstance = resourceModule;
    p.pszTemplate = MAKEINTRESOURCEA(1);
    p.pfnDlgProc = GeneralDlgProc;
    p.lParam = reinterpret_cast<LPARAM>(&info);
    HPROPSHEETPAGE page = CreatePropertySheetPageA(&p);
    PROPSHEETHEADERA h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_MODELESS;
    h.hInstance = resourceModule;
    h.pszCaption = "Sheet";
    h.nPages = 1;
    h.phpage = &page;
    HWND frame = reinterpret_cast<HWND>(PropertySheetA(&h));
    ASSERT_TRUE(IsWindow(frame));
    EXPECT_EQ(generalSheetWnd, frame);
    HWND ok = GetDlgItem(frame, IDOK), test = GetDlgItem(frame, 319);
    RECT o{}, t{};
    GetWindowRect(ok, &o);
    GetWindowRect(test, &t);
    EXPECT_EQ(t.right - t.left, o.right - o.left);
    EXPECT_EQ(t.bottom - t.top, o.bottom - o.top);
    EXPECT_EQ(t.top, o.top);
    EXPECT_EQ(t.right, o.left - 7);
    EXPECT_EQ(SendMessageA(test, WM_GETFONT, 0, 0), SendMessageA(ok, WM_GETFONT, 0, 0));
    LONG want = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_VCENTER;
    EXPECT_EQ(GetWindowLongA(test, GWL_STYLE) & want, want);
    char text[32];
    GetWindowTextA(test, text, sizeof text);
    EXPECT_STREQ(text, "&Test Connect");
    DestroyWindow(frame);
}

// A changed name removes the old data source and stores everything under the new one; a name that
// is empty or refused keeps the sheet on the General page and writes nothing.
TEST_F(Pages, RenameAndRefusedNames) {
    seed({"DSN=Old", "DB=/o", "UT=ERROR", "AS=77"});
    ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Old"}, "type 401 New\npage 1\nclick 1")) << all();
    auto ini = sandbox.readOdbcIni();
    EXPECT_EQ(ini.count("Old"), 0u);
    EXPECT_EQ(stored("New", "Database"), "/o");
    EXPECT_EQ(stored("New", "ArraySize"), "77");
    EXPECT_EQ(stored("New", "UndefinedTable"), "ERROR");

    for (const char* name : {"", "bad[name", "a=b", "x;y"}) {
        std::string before = odbcIni();
        EXPECT_FALSE(session(ODBC_CONFIG_DSN, {"DSN=New"},
                             std::string("type 401 ") + name + "\npage 1\nclick 1\nclick 2"))
            << name;
        ASSERT_EQ(boxes.size(), 1u) << name << "\n" << all();
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, invalidName);
        EXPECT_EQ(boxes[0].style, UINT(MB_TASKMODAL | MB_ICONERROR));
        EXPECT_EQ(lastPage(), "page index=0 title=\"General\"") << name << "\n" << all();
        EXPECT_EQ(odbcIni(), before) << name;
    }
    // Corrected, the name is taken at the next OK.
    ASSERT_TRUE(
        session(ODBC_CONFIG_DSN, {"DSN=New"}, "type 401 a=b\nclick 1\npage 1\ntype 401 Fixed\nclick 1"))
        << all();
    EXPECT_EQ(boxes.size(), 2u) << "the page is checked again before it may be left\n" << all();
    EXPECT_EQ(stored("Fixed", "ArraySize"), "77");
    EXPECT_EQ(sandbox.readOdbcIni().count("New"), 0u);
}

// A blank or invalid extension keeps the sheet on the Advanced page with its warning; Cancel then
// leaves the stored data source exactly as it was.
TEST_F(Pages, RefusedExtensionsKeepTheSheetOnTheAdvancedPage) {
    const char* blank = "Data File Extension cannot be blank";
    const char* invalid = "Data File Extension is invalid.";
    struct Case {
        const char* extension;
        const char* warning;
    } cases[] = {{"", blank},      {"   ", blank},   {"d.t", invalid}, {"a:b", invalid}, {"a\\\\b", invalid},
                 {"a,b", invalid}, {"a/b", invalid}, {"(a)", invalid}, {"a|b", invalid}};
    seed({"DSN=Ext", "Description=kept", "DFE=BTR"});
    for (const Case& c : cases) {
        std::string before = odbcIni();
        EXPECT_FALSE(session(ODBC_CONFIG_DSN, {"DSN=Ext"},
                             std::string("type 402 changed\npage 1\ntype 313 ") + c.extension +
                                 "\ntype 311 9\nclick 1\nclick 2"))
            << c.extension;
        ASSERT_EQ(boxes.size(), 1u) << c.extension << "\n" << all();
        EXPECT_EQ(boxes[0].text, c.warning) << c.extension;
        EXPECT_EQ(boxes[0].caption, "Warning");
        EXPECT_EQ(boxes[0].style, UINT(MB_TASKMODAL | MB_ICONWARNING));
        EXPECT_EQ(lastPage(), "page index=1 title=\"Advanced\"") << c.extension;
        EXPECT_EQ(odbcIni(), before) << c.extension;
    }
    // Corrected, the extension is taken at the next OK.
    ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Ext"}, "page 1\ntype 313 a.b\nclick 1\ntype 313 dat\nclick 1"))
        << all();
    EXPECT_EQ(boxes.size(), 1u) << all();
    EXPECT_EQ(stored("Ext", "DataFileExtension"), "dat");
    // A trailing blank is no part of the check.
    ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Ext"}, "page 1\ntype 313 ab \nclick 1")) << all();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(stored("Ext", "DataFileExtension").substr(0, 2), "ab");
    // What the edit's limit of 3 keeps a user from typing, and blanks that are no trailing ones.
    for (auto [text, valid] : {std::pair{"abcd", 0}, {"a..", 0}, {" ab", 1}, {"a b", 1}, {"DTA", 1}})
        EXPECT_EQ(isValidFileExtension(U(text)), valid) << text;
}

// Define runs the open dialog again after each file the definer was given, until it is cancelled.
TEST_F(Pages, TheDefinerLoopCallsTheDefinerForEachChosenFile) {
    std::string log = temp.file("definer.log");
    SetEnvironmentVariableA("KO_DEFINER_LOG", log.c_str());
    seed({"DSN=Def", "DFE=XYZ"});
    EXPECT_FALSE(session(ODBC_CONFIG_DSN, {"DSN=Def"},
                         "page 1\ntype 300 " + data + "\nclick 306\nfile a.dta\nfile " + data +
                             "/b.dat\nfile-cancel\nclick 2"));
    SetEnvironmentVariableA("KO_DEFINER_LOG", nullptr);
    EXPECT_EQ(kotest::readFile(log),
              data + "|a.dta|ODBC Btrieve Driver|0\n" + data + "|b.dat|ODBC Btrieve Driver|0\n");
    int opened = 0;
    for (const std::string& l : lines)
        if (l.rfind("open title=\"Define File\" filter=\"Btrieve Files|*.xyz;*.dta;*.dat;*.btr|All "
                    "Files|*.*\" dir=\"" +
                        data + "\" owner=\"Advanced\"",
                    0) == 0)
            ++opened;
    EXPECT_EQ(opened, 3) << all();
    EXPECT_NE(all().find("owner=\"Advanced\" answer=cancel"), std::string::npos);
}

// After the definer ran, leaving or checking the Advanced page gives back the reference to Btrieve's
// interface library that the definer left; without the definer nothing is released.
TEST_F(Pages, TheDefinerLeavesBtrieveInterfaceReleasedWhenThePageIsLeft) {
    std::string library = kotest::buildLib("../stubs/WBTRCALL.so");
    struct Case {
        const char* actions;
        bool released;
    } cases[] = {
        {"page 1\nclick 306\nfile a.dta\nfile-cancel\npage 0\nclick 2", true},
        {"page 1\nclick 306\nfile a.dta\nfile-cancel\nclick 1", true},
        {"page 1\npage 0\nclick 2", false},
        {"page 1\nclick 306\nfile-cancel\npage 0\nclick 2", false},
    };
    seed({"DSN=Rel", "DB=" + data});
    for (const Case& c : cases) {
        ASSERT_NE(LoadLibraryA(library.c_str()), nullptr);
        session(ODBC_CONFIG_DSN, {"DSN=Rel"}, c.actions);
        HMODULE left = GetModuleHandleA("WBTRCALL");
        EXPECT_EQ(left == nullptr, c.released) << c.actions << "\n" << all();
        bool standardFilter =
            all().find("open title=\"Define File\" filter=\"Btrieve Files|*.dta;*.dat;*.btr|"
                       "All Files|*.*\" dir=\"" +
                       data + "\"") != std::string::npos;
        EXPECT_EQ(standardFilter, std::string(c.actions).find("click 306") != std::string::npos) << c.actions;
        if (left) FreeLibrary(left);
        EXPECT_EQ(GetModuleHandleA("WBTRCALL"), nullptr);
    }
}

// Test Connect from either page applies the pages into the record without writing, then connects.
TEST_F(Pages, TestConnectFromEitherPage) {
    struct Case {
        const char* actions;
        std::vector<std::string> captions;
    } cases[] = {
        {"click 319\nclick 2", {"Test Connect"}},
        {"page 1\nclick 319\nclick 2", {"Test Connect"}},
        {"page 1\ntype 300 /no/such/folder\nclick 319\nclick 2", {"Test Connect Error"}},
        {"page 1\ntype 313  \nclick 319\nclick 2", {"Warning", "Test Connect"}},
    };
    seed({"DSN=Conn", "DB=" + data, "Description=same"});
    for (const Case& c : cases) {
        std::string before = odbcIni();
        EXPECT_FALSE(session(ODBC_CONFIG_DSN, {"DSN=Conn"}, std::string("type 402 other\n") + c.actions))
            << "a test and Cancel save nothing: " << c.actions;
        std::vector<std::string> captions;
        for (const KoShownBox& b : boxes)
            captions.push_back(b.caption);
        EXPECT_EQ(captions, c.captions) << c.actions << "\n" << all();
        if (c.captions.back() == "Test Connect") {
            EXPECT_EQ(boxes.back().text, "Connection established!");
            EXPECT_EQ(boxes.back().owner, nullptr);
            EXPECT_EQ(boxes.back().style, UINT(MB_OK));
        }
        EXPECT_EQ(odbcIni(), before) << c.actions;
        EXPECT_EQ(inTestConnect, 0);
    }
    // The sheet is usable after a test: OK writes what the pages hold.
    ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Conn"}, "type 402 after\nclick 319\nclick 1"));
    EXPECT_EQ(stored("Conn", "Description"), "after");
}

// The General page's Advanced... and About... buttons run those templates as nested dialogs over it.
TEST_F(Pages, NestedAdvancedAndAboutDialogs) {
    seed({"DSN=Nest", "DB=/before", "UT=PROMPT"});
    ASSERT_TRUE(session(ODBC_CONFIG_DSN, {"DSN=Nest"},
                        "click 312\ntype 300 /nested\ntype 313 \nclick 2\ntype 313 dat\nclick 2\nclick 1"))
        << all();
    EXPECT_TRUE(shown("dialog template=2 caption=\"Advanced\" owner=\"ODBC Btrieve Driver Setup\"")) << all();
    EXPECT_TRUE(shown("end dialog template=2 result=2")) << all();
    ASSERT_EQ(boxes.size(), 1u) << "the blank extension kept the nested dialog open";
    EXPECT_EQ(boxes[0].text, "Data File Extension cannot be blank");
    EXPECT_EQ(stored("Nest", "Database"), "/nested");
    EXPECT_EQ(stored("Nest", "DataFileExtension"), "dat");
    EXPECT_EQ(stored("Nest", "UndefinedTable"), "ERROR");

    session(ODBC_CONFIG_DSN, {"DSN=Nest"}, "click 600\nclick 2");
    EXPECT_TRUE(shown("dialog template=10 caption=\"About\" owner=\"ODBC Btrieve Driver Setup\"")) << all();
    EXPECT_NE(all().find("end dialog template=10 result="), std::string::npos) << all();
}

// A whole session with each allocation failing in turn: the request fails or succeeds, and a
// success stored the edits of both pages.
TEST_F(Pages, ASessionWithoutMemoryFailsOrStoresEverything) {
    seed({"DSN=Mem", "DB=" + data});
    unsigned successes = 0;
    BOOL ok = FALSE;
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            koScriptReset();
            for (const char* a : {"type 402 edited", "page 1", "click 306", "file a.dta", "file-cancel",
                                  "type 311 99", "click 1"})
                koScriptPush(a);
            ok = ConfigDSN(GetDesktopWindow(), ODBC_CONFIG_DSN, OdbcSandbox::driverName,
                           attributeList({"DSN=Mem"}).c_str());
        },
        [&](unsigned n, bool) {
            if (!ok) return;
            ++successes;
            EXPECT_EQ(stored("Mem", "Description"), "edited") << "run " << n;
            EXPECT_EQ(stored("Mem", "ArraySize"), "99") << "run " << n;
            EXPECT_EQ(stored("Mem", "Database"), data) << "run " << n;
        });
    koScriptReset();
    EXPECT_GT(runs, 10u);
    EXPECT_GE(successes, 1u);
}

} // namespace
