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

// A colour as drawing records write it.
std::string rgb(COLORREF c) {
    char b[16];
    std::snprintf(b, sizeof b, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return b;
}

class OwnerDraw : public ::testing::Test {
protected:
    void SetUp() override {
        resources = LoadLibraryA(kotest::buildLib("ztbtr20R.so").c_str());
        ASSERT_NE(resources, nullptr);
        list = CreateWindowExA(0, "STATIC", "list", 0, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        DestroyWindow(list);
        FreeLibrary(resources);
    }
    HMODULE resources = nullptr;
    HWND list = nullptr;
};

TEST_F(OwnerDraw, AnItemIsAsHighAsALineOfTextPlusTheExtra) {
    EXPECT_EQ(koMeasureItem(list, 0, 5), 0) << "no record";
    HDC dc = GetDC(list);
    TEXTMETRICA metrics;
    ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
    ReleaseDC(list, dc);
    MEASUREITEMSTRUCT item{ODT_LISTBOX, 7, 0, 100, 0, 0};
    EXPECT_EQ(koMeasureItem(list, reinterpret_cast<LPARAM>(&item), 5), 1);
    EXPECT_EQ(item.itemHeight, UINT(metrics.tmHeight + 5));
    EXPECT_EQ(item.itemWidth, 100u) << "only the height is set";
    item.itemHeight = 3;
    EXPECT_EQ(koMeasureItem(reinterpret_cast<HWND>(&item), reinterpret_cast<LPARAM>(&item), 5), 0)
        << "a window that is none cannot be measured";
    EXPECT_EQ(item.itemHeight, 3u);
}

TEST_F(OwnerDraw, SelectedAndPlainItemsUseTheSystemColoursAndRestoreTheContext) {
    struct Case {
        UINT state;
        int background, text;
    } cases[] = {{ODS_SELECTED | ODS_FOCUS, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT},
                 {0, COLOR_WINDOW, COLOR_WINDOWTEXT}};
    uint32_t icons = koHandleCount(KoHandleKind::icon);
    for (const Case& c : cases) {
        HDC dc = GetDC(list);
        SetTextColor(dc, RGB(1, 2, 3));
        koTakeDrawings(list);
        DRAWITEMSTRUCT item{ODT_LISTBOX, 7, 0, 1, c.state, list, dc, {5, 6, 105, 46}, 0};
        koOwnerDrawControl(resources, &item, U("Sales \"Q1\""), U("#602"));
        std::vector<std::string> expected = {
            "FillRect 5 6 105 46 " + rgb(GetSysColor(c.background)),
            "SetTextColor " + rgb(GetSysColor(c.text)),
            "DrawIcon 602 9 9",
            "SetBkMode transparent",
            "TextOut 44 17 " + rgb(GetSysColor(c.text)) + " transparent \"Sales \\\"Q1\\\"\"",
            "SetTextColor #010203",
            "SetBkMode opaque",
        };
        if (c.state & ODS_FOCUS) expected.push_back("DrawFocusRect 5 6 105 46");
        EXPECT_EQ(koTakeDrawings(list), expected);
        ReleaseDC(list, dc);
    }
    EXPECT_EQ(koHandleCount(KoHandleKind::icon), icons) << "the icon goes back after drawing";
}

TEST_F(OwnerDraw, AnUnknownIconOrNoItemDrawsWhatItCan) {
    HDC dc = GetDC(list);
    koTakeDrawings(list);
    koOwnerDrawControl(resources, nullptr, U("x"), U("#601"));
    EXPECT_TRUE(koTakeDrawings(list).empty());
    DRAWITEMSTRUCT item{ODT_LISTBOX, 7, 0, 1, 0, list, dc, {0, 0, 50, 20}, 0};
    koOwnerDrawControl(resources, &item, U("x"), U("no such icon"));
    std::vector<std::string> ops = koTakeDrawings(list);
    ASSERT_EQ(ops.size(), 6u);
    for (const std::string& op : ops)
        EXPECT_EQ(op.find("DrawIcon"), std::string::npos) << op;
    ReleaseDC(list, dc);
}

} // namespace
