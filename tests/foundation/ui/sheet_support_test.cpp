#include <gtest/gtest.h>

#include "foundation/foundation.h"
#include "foundation/errors/koerrnum.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

HWND popup(int x, int y, int w, int h, HWND owner = nullptr) {
    return CreateWindowExA(0, "STATIC", "", WS_POPUP, x, y, w, h, owner, nullptr, nullptr, nullptr);
}

TEST(WinCenterBox, PlacesOnTheScreenByTheRules) {
    int W = GetSystemMetrics(SM_CXSCREEN), H = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int w, h, x, y;
    } cases[] = {
        {100, 50, (W - 100) / 2, (H - 50) / 2}, // centred
        {W + 10, 50, 0, (H - 50) / 2},          // wider than the screen: x = 0
        {W, H, 0, 0},                           // exactly the screen
        {50, H + 1, (W - 50) / 2, 0},
    };
    for (const Case& c : cases) {
        HWND h = popup(5, 5, c.w, c.h);
        winCenterBox(h);
        RECT r;
        GetWindowRect(h, &r);
        EXPECT_EQ(r.left, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(r.top, c.y) << c.w << "x" << c.h;
        EXPECT_EQ(r.right - r.left, c.w) << "the size is kept";
        DestroyWindow(h);
    }
}

TEST(WinCenterBox, ChildOverItsParentKeptOnScreen) {
    int W = GetSystemMetrics(SM_CXSCREEN);
    HWND parent = popup(W - 100, 0, 100, 100);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 300, 20, parent, nullptr, nullptr, nullptr);
    winCenterBox(child);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.right, W) << "moved left until its right edge meets the screen's";
    DestroyWindow(parent);
}

TEST(WindowPointers, TwoPropertyNames) {
    HWND h = popup(0, 0, 10, 10);
    int a, b;
    koSetWinPointer(h, &a);
    koSetWinPointer(h, &b, 7);
    EXPECT_EQ(koGetWinPointer(h), &a);
    EXPECT_EQ(koGetWinPointer(h, 0), &b);
    EXPECT_EQ(GetPropA(h, "Handle"), &a);
    EXPECT_EQ(GetPropA(h, "ScaleH"), &b);
    koRemoveWinPointer(h);
    EXPECT_EQ(koGetWinPointer(h), nullptr);
    EXPECT_EQ(koGetWinPointer(h, 1), &b);
    koRemoveWinPointer(h, 1);
    EXPECT_EQ(koGetWinPointer(h, 1), nullptr);
    DestroyWindow(h);
    EXPECT_EQ(koGetWinPointer(h), nullptr) << "a destroyed window has no properties";
}

INT_PTR closeWithSeven(HWND d, UINT m, WPARAM w, LPARAM) {
    if (m == WM_COMMAND && LOWORD(w) == IDOK) EndDialog(d, 7);
    return FALSE;
}

TEST(DllDialogBox, RunsTemplatesAndRaises9999WhenItCannot) {
    ASSERT_EQ(koLibraryLoad(), koSuccess);
    kotest::useBuildResources();
    KoErrorList list;
    KoErrorKeeper::setErrorList(&list);
    {
        kotest::ScriptedUser user;
        koScriptPush("click 1");
        EXPECT_EQ(dllDialogBox(nullptr, 2, closeWithSeven, nullptr), koSuccess);
        EXPECT_EQ(list.getLastError(), nullptr);
        EXPECT_EQ(dllDialogBox(nullptr, 55, closeWithSeven, nullptr), koFailure) << "no template 55";
        ASSERT_NE(list.getLastError(), nullptr);
        EXPECT_EQ(list.getLastError()->number, koErrDialogCreate);
    }
    KoErrorKeeper::giveUpErrorList();
}

} // namespace
