// Property sheets and dialogs as Windows runs them, driven by the script front end. Templates are
// built in memory (DLGTEMPLATE), as a program without a resource file builds them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

// A DLGTEMPLATE with one edit control (ID 100) and one check box (ID 101).
struct Template {
    alignas(4) std::vector<WORD> words;
    explicit Template(DWORD style = WS_CHILD | WS_VISIBLE) {
        DLGTEMPLATE t{style, 0, 2, 0, 0, 100, 50};
        push(&t, sizeof t);
        words.insert(words.end(), {0, 0, 'P', 0}); // no menu, dialog class, caption "P"
        item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 100, 0x0081, 32);
        item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 101, 0x0080, 10);
    }
    void push(const void* p, size_t n) {
        const WORD* w = static_cast<const WORD*>(p);
        words.insert(words.end(), w, w + n / 2);
    }
    void item(DWORD style, WORD id, WORD atom, short cx) {
        if (words.size() % 2) words.push_back(0); // DWORD alignment
        DLGITEMTEMPLATE i{style, 0, 4, 4, cx, 10, id};
        push(&i, sizeof i);
        words.insert(words.end(), {0xFFFF, atom, 0, 0});
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words.data()); }
};

std::vector<std::string> events;
LRESULT killActiveResult = FALSE;
LRESULT applyResult[3] = {PSNRET_NOERROR, PSNRET_NOERROR, PSNRET_NOERROR};
bool changeInInit = false;
bool addFrameButton = false;

INT_PTR pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND frame = GetParent(page);
    int index = PropSheet_HwndToIndex(frame, page);
    if (message == WM_INITDIALOG) {
        index = static_cast<int>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        events.push_back("init" + std::to_string(index));
        if (changeInInit) PropSheet_Changed(frame, page);
        if (addFrameButton && index == 0)
            CreateWindowExA(0, "BUTTON", "Extra", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 20, 10, frame,
                            reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(319)), nullptr, nullptr);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 319) events.push_back("command" + std::to_string(index));
    if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE) PropSheet_Changed(frame, page);
    if (message != WM_NOTIFY) return FALSE;
    auto* n = reinterpret_cast<PSHNOTIFY*>(lParam);
    LRESULT r = 0;
    switch (n->hdr.code) {
    case PSN_SETACTIVE:
        events.push_back("setactive" + std::to_string(index));
        break;
    case PSN_KILLACTIVE:
        events.push_back("killactive" + std::to_string(index));
        r = killActiveResult;
        break;
    case PSN_APPLY:
        events.push_back("apply" + std::to_string(index) + (n->lParam ? "ok" : ""));
        r = applyResult[index];
        break;
    case PSN_RESET:
        events.push_back("reset" + std::to_string(index));
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(page, DWLP_MSGRESULT, r);
    return TRUE;
}

class Sheet : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        killActiveResult = FALSE;
        applyResult[0] = applyResult[1] = applyResult[2] = PSNRET_NOERROR;
        changeInInit = false;
        addFrameButton = false;
    }
    INT_PTR run(std::initializer_list<const char*> actions, UINT pages = 3) {
        for (const char* a : actions)
            koScriptPush(a);
        HPROPSHEETPAGE h[3];
        for (UINT i = 0; i < pages; ++i) {
            PROPSHEETPAGEA p{};
            p.dwSize = sizeof p;
            p.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
            p.pResource = tmpl.get();
            p.pszTitle = "T";
            p.pfnDlgProc = pageProc;
            p.lParam = static_cast<LPARAM>(i);
            h[i] = CreatePropertySheetPageA(&p);
        }
        PROPSHEETHEADERA s{};
        s.dwSize = sizeof s;
        s.pszCaption = "Sheet";
        s.nPages = pages;
        s.phpage = h;
        return PropertySheetA(&s);
    }
    std::string seq() const {
        std::string all;
        for (auto& e : events)
            all += e + " ";
        return all;
    }
    kotest::ScriptedUser user;
    Template tmpl;
};

TEST_F(Sheet, OkCreatesOnlyTheShownPagesAndAppliesThemInOrder) {
    EXPECT_EQ(run({"page 2", "click 1"}), IDOK);
    EXPECT_EQ(seq(), "init0 setactive0 killactive0 init2 setactive2 killactive2 apply0ok apply2ok ")
        << "a page is created on its first activation and only created pages apply";
}

TEST_F(Sheet, CancelResetsEveryCreatedPageAndReturnsZero) {
    EXPECT_EQ(run({"page 1", "click 2"}), 0);
    EXPECT_EQ(seq(), "init0 setactive0 killactive0 init1 setactive1 reset0 reset1 ");
}

TEST_F(Sheet, ApplyBeforeCancelCountsAsSaved) {
    EXPECT_GT(run({"type 100 x", "click 12321", "click 2"}), 0);
    EXPECT_EQ(seq(), "init0 setactive0 killactive0 apply0 setactive0 reset0 ");
}

TEST_F(Sheet, AnInvalidPageKeepsTheSheetOpenOnIt) {
    applyResult[0] = PSNRET_INVALID;
    koScriptPush("page 1");
    koScriptPush("click 1");
    EXPECT_EQ(run({"dump"}), 0) << "the sheet stays until the exhausted script cancels it";
    std::vector<std::string> t = koScriptTakeTranscript();
    bool backOnFirst = false;
    for (size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i].rfind("page index=1", 0) == 0)
            for (size_t j = i + 1; j < t.size(); ++j)
                backOnFirst |= t[j].rfind("page index=0", 0) == 0;
    EXPECT_TRUE(backOnFirst) << "the refusing page is shown again";
}

TEST_F(Sheet, ARefusedKillActiveStopsPageChangeAndOk) {
    killActiveResult = TRUE;
    EXPECT_EQ(run({"page 1", "click 1"}), 0);
    EXPECT_EQ(seq(), "init0 setactive0 killactive0 killactive0 reset0 ");
}

// A button that a page puts on the frame is no button of the sheet's: its command goes to the page
// that is current when it is pressed.
TEST_F(Sheet, CommandsOfAButtonAddedToTheFrameGoToTheCurrentPage) {
    addFrameButton = true;
    EXPECT_EQ(run({"click 319", "page 2", "click 319", "click 2"}), 0);
    EXPECT_EQ(seq(), "init0 setactive0 command0 killactive0 init2 setactive2 command2 reset0 reset2 ");
}

TEST_F(Sheet, ApplyFollowsTheChangedPagesButNotAChangeDuringCreation) {
    changeInInit = true;
    run({"dump"}, 1);
    bool applyEnabled = false;
    for (const std::string& l : koScriptTakeTranscript())
        if (l.rfind("control id=12321", 0) == 0) applyEnabled = l.find("enabled=1") != std::string::npos;
    EXPECT_FALSE(applyEnabled) << "PSM_CHANGED from WM_INITDIALOG is ignored";
}

TEST_F(Sheet, ForeignPagesAndOwnersAreRefused) {
    PROPSHEETHEADERA s{};
    s.dwSize = sizeof s;
    HPROPSHEETPAGE bogus = reinterpret_cast<HPROPSHEETPAGE>(&s);
    s.nPages = 1;
    s.phpage = &bogus;
    EXPECT_EQ(PropertySheetA(&s), -1);
    int notAWindow;
    s.nPages = 0;
    s.hwndParent = reinterpret_cast<HWND>(&notAWindow);
    EXPECT_EQ(PropertySheetA(&s), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyPropertySheetPage(bogus));
}

TEST(SheetWithoutFrontEnd, FailsAndReleasesItsPages) {
    koSetFrontEnd(koFrontEndNone);
    Template t;
    PROPSHEETPAGEA p{};
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DLGINDIRECT;
    p.pResource = t.get();
    HPROPSHEETPAGE h = CreatePropertySheetPageA(&p);
    PROPSHEETHEADERA s{};
    s.dwSize = sizeof s;
    s.nPages = 1;
    s.phpage = &h;
    EXPECT_EQ(PropertySheetA(&s), -1);
    EXPECT_FALSE(DestroyPropertySheetPage(h)) << "the sheet owned the page";
    EXPECT_EQ(koHandleCount(KoHandleKind::window), 1u) << "only the desktop is left";
}

INT_PTR endAtOnce(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) EndDialog(dialog, lParam);
    return FALSE;
}

TEST(Dialogs, ResultsOfModalRuns) {
    kotest::ScriptedUser user;
    Template t(WS_POPUP | WS_CAPTION);
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, t.get(), nullptr, endAtOnce, 42), 42);
    int notAWindow;
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, t.get(), reinterpret_cast<HWND>(&notAWindow), endAtOnce, 1), 0)
        << "an invalid owner gives 0";
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(77), nullptr, endAtOnce, 1), -1)
        << "no template gives -1";
    // Nothing scripted: the dialog is cancelled.
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, t.get(), nullptr, nullptr, 0), IDCANCEL);
    EXPECT_EQ(koHandleCount(KoHandleKind::window), 1u);
}

TEST(Controls, ComboBoxAnswersAsWindowsDoes) {
    HWND c = CreateWindowExA(0, "COMBOBOX", "", CBS_DROPDOWNLIST, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                             nullptr);
    ASSERT_NE(c, nullptr);
    struct Step {
        UINT message;
        WPARAM w;
        const char* text;
        LRESULT expected;
    } steps[] = {
        {CB_GETCURSEL, 0, nullptr, CB_ERR},
        {CB_ADDSTRING, 0, "1 - Low", 0},
        {CB_ADDSTRING, 0, "2 - High", 1},
        {CB_FINDSTRING, WPARAM(-1), "2", 1},
        {CB_FINDSTRING, 1, "1", 0},
        {CB_FINDSTRINGEXACT, WPARAM(-1), "2", CB_ERR},
        {CB_SELECTSTRING, WPARAM(-1), "x", CB_ERR},
        {CB_SELECTSTRING, WPARAM(-1), "2 -", 1},
        {CB_GETCURSEL, 0, nullptr, 1},
        {CB_SETCURSEL, 5, nullptr, CB_ERR},
        {CB_GETCURSEL, 0, nullptr, CB_ERR},
        {CB_DELETESTRING, 0, nullptr, 1},
        {CB_GETCOUNT, 0, nullptr, 1},
        {CB_INSERTSTRING, 3, "z", CB_ERR},
    };
    for (const Step& s : steps)
        EXPECT_EQ(SendMessageA(c, s.message, s.w, reinterpret_cast<LPARAM>(s.text)), s.expected)
            << "message " << std::hex << s.message << " with " << (s.text ? s.text : "-");
    DestroyWindow(c);
    EXPECT_FALSE(IsWindow(c)) << "a destroyed handle is no window";
    EXPECT_EQ(SendMessageA(c, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Controls, EditLimitBoundsTypingNotSetText) {
    kotest::ScriptedUser user;
    HWND e = CreateWindowExA(0, "EDIT", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SendMessageA(e, EM_LIMITTEXT, 3, 0);
    EXPECT_TRUE(SetWindowTextA(e, "longer"));
    char buf[16];
    EXPECT_EQ(GetWindowTextA(e, buf, sizeof buf), 6);
    EXPECT_EQ(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 3);
    SendMessageA(e, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessageA(e, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    DestroyWindow(e);
}

} // namespace

namespace {

// Every allocation of a modal run failing in turn: the run reports -1 or its result, and leaves no
// window, page or transcript half made.
TEST(Dialogs, EveryAllocationFailureEndsCleanly) {
    kotest::ScriptedUser user;
    Template t(WS_POPUP | WS_CAPTION);
    GetDesktopWindow(); // made once, on first use
    const uint32_t windowsBefore = koHandleCount(KoHandleKind::window);
    kotest::failOperatorNewToo(true);
    INT_PTR result = 0;
    unsigned runs = kotest::forEachAllocationFailure(
        [&] { result = DialogBoxIndirectParamA(nullptr, t.get(), nullptr, endAtOnce, 42); },
        [&](unsigned n, bool failed) {
            if (failed)
                EXPECT_TRUE(result == -1 || result == 42) << "run " << n << " gave " << result;
            else
                EXPECT_EQ(result, 42);
            EXPECT_EQ(koHandleCount(KoHandleKind::window), windowsBefore) << "run " << n;
        });
    kotest::failOperatorNewToo(false);
    EXPECT_GT(runs, 1u);
}

} // namespace
