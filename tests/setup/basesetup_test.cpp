// The pages' controls bound to the attribute table: showing, saving and writing every control type,
// on pages that lack other pages' controls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/foundation.h"
#include "platform/win32.h"
#include "setup/setup.h"
#include "tests/support/odbcsandbox.h"
#include "tests/support/support.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

// Rows of every control type; 330 and 331 belong to a page the tests do not build.
const SetupInfo kRows[] = {
    {U("Description"), 402, controlEdit, U(""), U(""), 80, U(""), 1, 1},
    {U("Mode"), 304, controlRadio, U("PROMPT"), U("PROMPT"), 0, U(""), 1, 1},
    {U("Mode"), 305, controlRadio, U("ERROR"), U("PROMPT"), 0, U(""), 1, 1},
    {U("Flag"), 315, controlCheck, U("1"), U("0"), 0, U(""), 1, 1},
    {U("Fixed"), 320, controlComboFixed, U(""), U(""), 0, U(""), 1, 1},
    {U("Level"), 321, controlComboFilled, U("1 - Low, 2 - High"), U("1"), 0, U(""), 1, 1},
    {U("Hidden"), 323, controlNone, U(""), U(""), 0, U(""), 1, 1},
    {U("PWD"), 322, controlPassword, U(""), U(""), 20, U(""), 1, 1},
    {U("Other"), 330, controlEdit, U(""), U(""), 10, U(""), 1, 1},
    {U("OtherLevel"), 331, controlComboFilled, U("1 - A,2 - B"), U(""), 0, U(""), 1, 1},
    {U("OtherFlag"), 332, controlCheck, U("1"), U("0"), 0, U(""), 1, 1},
};
const uint16_t kCount = sizeof kRows / sizeof kRows[0];

class BaseSetup : public ::testing::Test {
protected:
    void SetUp() override {
        page = CreateWindowExA(0, "STATIC", "page", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        struct Control {
            const char* cls;
            int id;
            DWORD style;
        } controls[] = {{"EDIT", 401, 0},
                        {"EDIT", 402, 0},
                        {"BUTTON", 403, 0},
                        {"BUTTON", 304, BS_AUTORADIOBUTTON},
                        {"BUTTON", 305, BS_AUTORADIOBUTTON},
                        {"BUTTON", 315, BS_AUTOCHECKBOX},
                        {"COMBOBOX", 320, CBS_DROPDOWNLIST},
                        {"COMBOBOX", 321, CBS_DROPDOWNLIST},
                        {"EDIT", 322, 0}};
        for (const Control& c : controls)
            CreateWindowExA(0, c.cls, "", WS_CHILD | c.style, 0, 0, 10, 10, page,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(c.id)), nullptr, nullptr);
        for (const char* entry : {"Alpha", "Beta", "Beta two"})
            SendDlgItemMessageA(page, 320, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    void TearDown() override { DestroyWindow(page); }

    // A record over the rows with the given values (null: the slot holds none).
    DSNInfoStruct* record(int16_t request, const char* name, std::initializer_list<const char*> values) {
        auto* info = new DSNInfoStruct(nullptr, uint16_t(request), U(kotest::OdbcSandbox::driverName),
                                       nullptr, kRows, kCount);
        info->infoArray = static_cast<unsigned char**>(ramAllocZ(kCount * sizeof(unsigned char*)));
        int i = 0;
        for (const char* v : values)
            info->infoArray[i++] = v ? ramAllocStr(U(v)) : nullptr;
        info->dsnName = name ? ramAllocStr(U(name)) : nullptr;
        return info;
    }
    static std::string slot(DSNInfoStruct* info, int row) {
        return info->infoArray[row] ? reinterpret_cast<char*>(info->infoArray[row]) : "<none>";
    }
    std::string text(int id) {
        char buffer[256] = "";
        GetDlgItemTextA(page, id, buffer, sizeof buffer);
        return buffer;
    }
    HWND page = nullptr;
};

TEST_F(BaseSetup, InitShowsEveryTypeAsItsRowSays) {
    unsigned char scrambled[16] = " secret";
    encrypt(scrambled + 1, 6, 3);
    CheckDlgButton(page, 304, BST_CHECKED); // a radio row touches only its own button
    DSNInfoStruct* info = record(ODBC_CONFIG_DSN, "MyDsn",
                                 {"About it", "error", "error", "true", "Be", "2", nullptr,
                                  reinterpret_cast<char*>(scrambled), "x", "1", "1"});
    ASSERT_EQ(koSuccess, BaseInitSetupDialog(page, info));
    EXPECT_EQ("MyDsn", text(401));
    EXPECT_EQ("About it", text(402));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, 305));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, 304));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, 315)) << "only \"1\" checks a box";
    EXPECT_EQ("Beta", text(320));
    EXPECT_EQ(2, SendDlgItemMessageA(page, 321, CB_GETCOUNT, 0, 0));
    EXPECT_EQ("2 - High", text(321));
    EXPECT_EQ("secret", text(322));
    EXPECT_EQ(32, SendDlgItemMessageA(page, 401, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(255, SendDlgItemMessageA(page, 402, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(20, SendDlgItemMessageA(page, 322, EM_GETLIMITTEXT, 0, 0));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, 401))) << "a configured data source may be renamed";
    delete info;
}

TEST_F(BaseSetup, AnAddedNameIsFixedAndAnEmptyPieceEndsTheList) {
    SetupInfo rows[kCount];
    std::memcpy(rows, kRows, sizeof rows);
    rows[5].controlValue = U("A, ,B");
    DSNInfoStruct info(nullptr, ODBC_ADD_DSN, U("d"), nullptr, rows, kCount);
    info.dsnName = ramAllocStr(U("Given"));
    ASSERT_EQ(koSuccess, BaseInitSetupDialog(page, &info));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, 401)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, 403)));
    EXPECT_EQ(1, SendDlgItemMessageA(page, 321, CB_GETCOUNT, 0, 0));
}

TEST_F(BaseSetup, SaveReadsThePageAndKeepsOtherPagesRows) {
    DSNInfoStruct* info =
        record(ODBC_CONFIG_DSN, "Old",
               {"d", "PROMPT", nullptr, "1", "Alpha", "1", "hidden", "pw", "kept", "2 - B", nullptr});
    ASSERT_EQ(koSuccess, BaseInitSetupDialog(page, info));
    SetDlgItemTextA(page, 401, "Renamed");
    SetDlgItemTextA(page, 402, "new description");
    CheckRadioButton(page, 304, 305, 305);
    CheckDlgButton(page, 315, BST_UNCHECKED);
    SendDlgItemMessageA(page, 320, CB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(page, 321, CB_SETCURSEL, 1, 0);
    SetDlgItemTextA(page, 322, "plain");
    ASSERT_EQ(koSuccess, BaseSaveToInfoArray(page, info));
    EXPECT_EQ("Renamed", std::string(reinterpret_cast<char*>(info->dsnName)));
    const char* expected[] = {"new description", "<none>", "ERROR", "0", "Beta two", "2",
                              "hidden",          "plain",  "kept",  "2", "0"};
    for (int row = 0; row < kCount; ++row)
        EXPECT_EQ(expected[row], slot(info, row)) << "row " << row;
    delete info;
}

TEST_F(BaseSetup, WriteRefusesABadNameWithTheMessageAndWritesAGoodOne) {
    kotest::OdbcSandbox sandbox;
    kotest::ScriptedUser user;
    const char* message =
        "Invalid data source name.  The first character must be a letter, and the name cannot "
        "contain any of the following characters:  [ ] { } ( ) ? * = ! @ , ;";
    for (const char* bad : {"", "a[b", "x=y"}) {
        DSNInfoStruct* info = record(ODBC_CONFIG_DSN, "x", {"d"});
        ASSERT_EQ(koSuccess, BaseInitSetupDialog(page, info));
        SetDlgItemTextA(page, 401, bad);
        EXPECT_EQ(koFailure, BaseWriteValuesToIni(page, info)) << bad;
        auto boxes = koScriptTakeShownBoxes();
        ASSERT_EQ(1u, boxes.size()) << bad;
        EXPECT_EQ(message, boxes[0].text);
        EXPECT_EQ("Error", boxes[0].caption);
        EXPECT_EQ(UINT(MB_TASKMODAL | MB_ICONERROR), boxes[0].style);
        EXPECT_EQ(page, boxes[0].owner);
        delete info;
    }
    DSNInfoStruct* info = record(ODBC_CONFIG_DSN, "Good", {"desc", "PROMPT", nullptr, "1", "Alpha", "2"});
    ASSERT_EQ(koSuccess, BaseInitSetupDialog(page, info));
    EXPECT_EQ(koSuccess, BaseWriteValuesToIni(page, info));
    EXPECT_TRUE(koScriptTakeShownBoxes().empty());
    EXPECT_EQ("desc", sandbox.storedValue("Good", "Description"));
    EXPECT_EQ("2", sandbox.storedValue("Good", "Level"));
    delete info;
}

TEST_F(BaseSetup, RunningOutOfMemoryGivesOneAndLeaksNothing) {
    unsigned char scrambled[8] = " pw";
    encrypt(scrambled + 1, 2, 3);
    for (int which = 0; which < 2; ++which) {
        unsigned runs = 0;
        for (unsigned n = 1;; ++n) {
            DSNInfoStruct* info = record(ODBC_CONFIG_DSN, "N",
                                         {"d", "PROMPT", nullptr, "1", "Alpha", "2 - High", nullptr,
                                          reinterpret_cast<char*>(scrambled), "k", "1 - A", nullptr});
            ramFailAt(n);
            KoStatus s = which == 0 ? BaseInitSetupDialog(page, info) : BaseSaveToInfoArray(page, info);
            bool failed = ramFailureHit();
            ramFailAt(0);
            EXPECT_EQ(failed ? koFailure : koSuccess, s) << (which ? "save" : "init") << ", allocation " << n;
            // A row of another page keeps its value (a filled combo's cut to its code once passed).
            if (failed && which == 1 && info->dsnName) {
                EXPECT_TRUE(slot(info, 9) == "1 - A" || slot(info, 9) == "1") << slot(info, 9);
                EXPECT_EQ("k", slot(info, 8));
            }
            delete info; // the record frees whatever the operation left in it
            runs = n;
            if (!failed) break;
        }
        EXPECT_GT(runs, 1u);
    }
}

} // namespace
