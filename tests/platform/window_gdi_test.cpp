// Drawing through device contexts: what a window was drawn with is recorded, in order, with the clip
// in force, and the handles follow Windows' rules (a released context and a destroyed icon are gone).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/support.h"

namespace {

TEST(Gdi, DrawingsAreRecordedInOrderWithTheClipInForce) {
    HMODULE resources = LoadLibraryA(kotest::buildLib("ztbtr20R.so").c_str());
    ASSERT_NE(resources, nullptr);
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    HICON reel = LoadIconA(resources, MAKEINTRESOURCEA(601));
    ASSERT_NE(reel, nullptr);
    EXPECT_EQ(LoadIconA(resources, MAKEINTRESOURCEA(599)), nullptr) << "no such icon";
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);

    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), 2) << "the whole window, one rectangle";
    EXPECT_TRUE(DrawIcon(dc, 3, 4, reel));
    EXPECT_EQ(IntersectClipRect(dc, 10, 10, 40, 30), 2);
    EXPECT_TRUE(DrawIcon(dc, 12, 12, reel));
    EXPECT_EQ(IntersectClipRect(dc, 50, 50, 60, 60), 1) << "nothing left to draw into";
    EXPECT_EQ(SelectClipRgn(dc, nullptr), 2) << "a null region lifts the clip";
    SetTextColor(dc, RGB(255, 0, 0));
    EXPECT_TRUE(TextOutA(dc, 1, 2, "hi", 2));
    EXPECT_EQ(ReleaseDC(w, dc), 1);

    std::vector<std::string> ops = koTakeDrawings(w);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0], "DrawIcon 601 3 4");
    EXPECT_EQ(ops[1], "DrawIcon 601 12 12 clip 10 10 40 30");
    EXPECT_EQ(ops[2], "SetTextColor #FF0000");
    EXPECT_NE(ops[3].find("\"hi\""), std::string::npos) << ops[3];
    EXPECT_TRUE(koTakeDrawings(w).empty()) << "taking the record clears it";

    // A released context and a destroyed icon are refused, and nothing more is recorded.
    EXPECT_FALSE(DrawIcon(dc, 0, 0, reel));
    EXPECT_EQ(ReleaseDC(w, dc), 0);
    EXPECT_TRUE(DestroyIcon(reel));
    EXPECT_FALSE(DestroyIcon(reel));
    HDC again = GetDC(w);
    EXPECT_FALSE(DrawIcon(again, 0, 0, reel));
    ReleaseDC(w, again);
    EXPECT_TRUE(koTakeDrawings(w).empty());
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(GetDC(w), nullptr) << "no context for a destroyed window";
    FreeLibrary(resources);
}

} // namespace
