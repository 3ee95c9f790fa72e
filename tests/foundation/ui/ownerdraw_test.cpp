// Owner-drawn list items: the measured height, and what one item is drawn with, selected or not.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/ui/ownerdraw.h"
#include "platform/handle.h"
#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

const unsigned char* U(const char* s) {
    return reinterpret_cast<const unsigned char*>(s);
}

// A system colour as drawing records write it.
std::string sys(int index) {
    COLORREF c = GetSysColor(index);
    char b[16];
    std::snprintf(b, sizeof b, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return b;
}

TEST(OwnerDraw, ItemsAreMeasuredAndDrawnInTheSystemColoursGivingTheContextBack) {
    HMODULE resources = LoadLibraryA(kotest::buildLib("ztbtr20R.so").c_str());
    HWND list = CreateWindowExA(0, "STATIC", "list", 0, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
    uint32_t icons = koHandleCount(KoHandleKind::icon);
    HDC dc = GetDC(list);
    TEXTMETRICA metrics;
    ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
    MEASUREITEMSTRUCT measured{ODT_LISTBOX, 7, 0, 100, 3, 0};
    EXPECT_EQ(koMeasureItem(list, 0, 5), 0) << "no record";
    EXPECT_EQ(koMeasureItem(reinterpret_cast<HWND>(&measured), reinterpret_cast<LPARAM>(&measured), 5), 0);
    EXPECT_EQ(measured.itemHeight, 3u) << "a window that is none is not measured";
    EXPECT_EQ(koMeasureItem(list, reinterpret_cast<LPARAM>(&measured), 5), 1);
    EXPECT_EQ(measured.itemHeight, UINT(metrics.tmHeight + 5)) << "a line of text and the extra";

    koOwnerDrawControl(resources, nullptr, U("x"), U("#601"));
    EXPECT_TRUE(koTakeDrawings(list).empty()) << "no item";
    SetTextColor(dc, RGB(1, 2, 3));
    koTakeDrawings(list);
    struct Case {
        UINT state;
        const char* icon;
        int back, text;
    } cases[] = {{ODS_SELECTED | ODS_FOCUS, "#602", COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT},
                 {0, "no such icon", COLOR_WINDOW, COLOR_WINDOWTEXT}};
    for (const Case& c : cases) {
        DRAWITEMSTRUCT item{ODT_LISTBOX, 7, 0, 1, c.state, list, dc, {5, 6, 105, 46}, 0};
        koOwnerDrawControl(resources, &item, U("Sales \"Q1\""), U(c.icon));
        std::vector<std::string> expected = {"FillRect 5 6 105 46 " + sys(c.back),
                                             "SetTextColor " + sys(c.text)};
        if (c.state) expected.push_back("DrawIcon 602 9 9");
        expected.push_back("SetBkMode transparent");
        expected.push_back("TextOut 44 17 " + sys(c.text) + " transparent \"Sales \\\"Q1\\\"\"");
        expected.push_back("SetTextColor #010203"); // as they were
        expected.push_back("SetBkMode opaque");
        if (c.state & ODS_FOCUS) expected.push_back("DrawFocusRect 5 6 105 46");
        EXPECT_EQ(koTakeDrawings(list), expected);
    }
    EXPECT_EQ(koHandleCount(KoHandleKind::icon), icons) << "the icon goes back after drawing";
    ReleaseDC(list, dc);
    DestroyWindow(list);
    FreeLibrary(resources);
}

} // namespace
