// The terminal front end's layout without a terminal: text wrapping against its definition, the
// mnemonic marks, and where a sheet's tabs and controls land in cells, with every allocation of a
// redraw failing in turn.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/frontend.h"
#include "platform/termui.h"
#include "tests/setup/terminalrun.h"
#include "tests/support/support.h"

namespace {

using kotest::DialogTemplate;

// Wrapping keeps every word, in order, within the width; a line breaks only where the next word
// would not fit, and a word is cut only when it alone is wider than a line.
TEST(TerminalLayout, WrappingAgainstItsDefinition) {
    std::mt19937 random(27);
    const char* words[] = {"a",  "Btrieve", "data", "files",    "are",   "set",
                           "up", "on",      "the",  "Advanced", "page;", "supercalifragilistic"};
    for (int round = 0; round < 2000; ++round) {
        int width = 1 + static_cast<int>(random() % 30);
        std::vector<std::string> chosen;
        std::string text;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            chosen.push_back(words[random() % 12]);
            text += (text.empty() ? "" : " ") + chosen.back();
        }
        std::vector<std::string> lines = kownd::wrapText(text, width);
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_LE(static_cast<int>(lines[i].size()), width) << text << " / " << width;
            if (i + 1 < lines.size() && lines[i + 1].find(' ') != 0) {
                // The first word of the next line would not have fitted on this one.
                std::string next = lines[i + 1].substr(0, lines[i + 1].find(' '));
                bool cutWord =
                    lines[i].find(' ') == std::string::npos && static_cast<int>(lines[i].size()) == width;
                ASSERT_TRUE(cutWord || static_cast<int>(lines[i].size() + 1 + next.size()) > width)
                    << "\"" << text << "\" at " << width << ": line " << i;
            }
            joined += lines[i] + "\n";
        }
        // The words come back when the breaks are read as blanks (a cut word has no blank).
        std::string flat;
        for (char c : joined)
            if (c != ' ' && c != '\n') flat += c;
        std::string expected;
        for (const std::string& w : chosen)
            expected += w;
        ASSERT_EQ(flat, expected) << text << " / " << width;
    }
    EXPECT_EQ(kownd::wrapText("one\ntwo", 10), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(kownd::wrapText("text", 0).empty());
}

TEST(TerminalLayout, MnemonicMarks) {
    struct Case {
        const char* text;
        const char* plain;
        int mnemonic;
    } cases[] = {
        {"&Advanced...", "Advanced...", 0},    {"Data&base directory:", "Database directory:", 4},
        {"Fish && &Chips", "Fish & Chips", 7}, {"No mark", "No mark", -1},
        {"Trailing&", "Trailing&", -1},        {"&&", "&", -1},
    };
    for (const Case& c : cases) {
        int m = 99;
        EXPECT_EQ(kownd::stripMnemonic(c.text, &m), c.plain) << c.text;
        EXPECT_EQ(m, c.mnemonic) << c.text;
    }
}

INT_PTR pageProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

class SheetLayout : public ::testing::Test {
protected:
    void SetUp() override {
        first.item(DWORD{WS_TABSTOP} | WS_BORDER, 100, 0x0081, 92, 8, 200, "");
        first.item(DWORD{WS_TABSTOP} | BS_AUTOCHECKBOX, 101, 0x0080, 8, 24, 80, "&Trace");
        first.item(DWORD{WS_DISABLED}, 102, 0x0082, 8, 40, 80, "Dimmed label");
        PROPSHEETPAGEA pages[2]{};
        for (int i = 0; i < 2; ++i) {
            pages[i].dwSize = sizeof pages[i];
            pages[i].dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
            pages[i].pResource = (i ? second : first).get();
            pages[i].pfnDlgProc = pageProc;
            pages[i].pszTitle = i ? "Second" : "First";
        }
        PROPSHEETHEADERA h{};
        h.dwSize = sizeof h;
        h.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
        h.pszCaption = "Layout";
        h.nPages = 2;
        h.ppsp = pages;
        frame = reinterpret_cast<HWND>(PropertySheetA(&h));
        ASSERT_TRUE(IsWindow(frame));
    }
    void TearDown() override { DestroyWindow(frame); }
    DialogTemplate first{"First", WS_CHILD | WS_VISIBLE, 300, 150, 3};
    DialogTemplate second{"Second", WS_CHILD | WS_VISIBLE, 300, 150, 0};
    HWND frame = nullptr;
};

std::string describe(const std::vector<kownd::Region>& regions) {
    std::string out;
    for (const kownd::Region& r : regions)
        out += std::to_string(GetDlgCtrlID(r.control)) + "/" + std::to_string(r.tab) + "@" +
               std::to_string(r.row) + "," + std::to_string(r.col) + " " + std::to_string(r.width) + "x" +
               std::to_string(r.height) + "; ";
    return out;
}

// Tab visits the page's controls first, then the frame's, skipping what cannot take the focus
// (the disabled label); the tabs are the first cells a click finds.
TEST_F(SheetLayout, FocusOrderAndTabs) {
    std::vector<HWND> order = kownd::focusOrder(frame);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(GetDlgCtrlID(order[0]), 100);
    EXPECT_EQ(GetDlgCtrlID(order[1]), 101);
    EXPECT_EQ(GetDlgCtrlID(order[2]), IDOK);
    kownd::RunView v;
    v.top = frame;
    kownd::drawRun(v);
    ASSERT_GE(v.regions.size(), 2u) << describe(v.regions);
    EXPECT_EQ(v.regions[0].tab, 0);
    EXPECT_EQ(v.regions[1].tab, 1);
}

// Every allocation of a redraw failing in turn: the redraw throws or completes, and the next one
// lays out the same cells.
TEST_F(SheetLayout, EveryAllocationFailureOfARedraw) {
    kownd::RunView reference;
    reference.top = frame;
    kownd::drawRun(reference);
    const std::string expected = describe(reference.regions);
    kownd::RunView v;
    v.top = frame;
    kotest::failOperatorNewToo(true);
    bool threw = false;
    unsigned runs = kotest::forEachAllocationFailure(
        [&] {
            threw = false;
            try {
                kownd::drawRun(v);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
        },
        [&](unsigned n, bool failed) {
            kotest::failOperatorNewToo(false);
            if (!failed) {
                EXPECT_FALSE(threw) << "run " << n;
            }
            kownd::drawRun(v);
            EXPECT_EQ(describe(v.regions), expected) << "run " << n;
            kotest::failOperatorNewToo(true);
        });
    kotest::failOperatorNewToo(false);
    EXPECT_GT(runs, 1u);
}

} // namespace
