// The terminal front end's drawing: the window tree of a dialog or sheet laid out in character
// cells (a cell is 8 by 16 pixels, as the headless screen measures), with the focus, the carets of
// edit controls, open combo lists and the icons drawn into windows.
#include "platform/frontend.h"
#include "platform/termui.h"
#include "platform/wndinternal.h"

#include <algorithm>
#include <cstdio>

using namespace kownd;

namespace {

// A control's fields, read at once under the window lock.
struct Snap {
    Kind kind = Kind::generic;
    std::string text;
    DWORD style = 0;
    RECT rect{};
    WPARAM check = 0;
    std::vector<std::string> items;
    int cursel = -1;
    char password = 0;
};

bool snap(HWND h, Snap* out) {
    KoHandleRef<Window> w = peek(h);
    if (!w) return false;
    std::lock_guard<std::recursive_mutex> g(lock());
    out->kind = w->kind;
    out->text = w->text;
    out->style = w->style;
    out->rect = w->rect;
    out->check = w->check;
    out->items = w->items;
    out->cursel = w->cursel;
    out->password = w->passwordChar;
    return true;
}

std::vector<HWND> childrenOf(HWND h) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

int cellCols(int px) {
    return std::max(1, (px + charWidth / 2) / charWidth);
}

int cellRows(int px) {
    return std::max(1, (px + charHeight / 2) / charHeight);
}

// The last icon drawn into a window, kept while the window draws nothing new (the About page's
// reel draws from its own thread: each frame shows the icon it drew last).
std::string reelOf(RunView& v, HWND h) {
    std::vector<std::string> ops = koTakeDrawings(h);
    std::string* kept = nullptr;
    for (auto& r : v.reels)
        if (r.first == h) kept = &r.second;
    for (const std::string& op : ops)
        if (op.compare(0, 9, "DrawIcon ") == 0) {
            if (!kept) {
                v.reels.emplace_back(h, "");
                kept = &v.reels.back().second;
            }
            *kept = op;
        }
    return kept ? *kept : "";
}

// The label with its mnemonic letter underlined.
void putLabel(int row, int col, const std::string& text, unsigned attr, int width) {
    int m;
    std::string plain = stripMnemonic(text, &m);
    screenPut(row, col, plain, attr, width);
    if (m >= 0 && (width < 0 || m < width))
        screenPut(row, col + m, plain.substr(static_cast<size_t>(m), 1), attr | attrUnderline);
}

void drawChildren(RunView& v, HWND parent, int row, int col, HWND focus);

void drawControl(RunView& v, HWND h, int row0, int col0, HWND focus) {
    Snap s;
    if (!snap(h, &s) || !(s.style & WS_VISIBLE)) return;
    int row = row0 + s.rect.top / charHeight, col = col0 + s.rect.left / charWidth;
    int width = cellCols(s.rect.right - s.rect.left), height = cellRows(s.rect.bottom - s.rect.top);
    bool enabled = IsWindowEnabled(h) != FALSE;
    bool focused = h == focus;
    unsigned attr = enabled ? attrNormal : attrDim;
    v.regions.push_back({row, col, height, width, h, -1});
    switch (s.kind) {
    case Kind::dialog:
    case Kind::generic:
        drawChildren(v, h, row, col, focus);
        return;
    case Kind::statik: {
        if ((s.style & 0x1F) == SS_ICON) {
            // The icon where it was drawn last: "DrawIcon ID X Y ..." in the parent's pixels.
            std::string reel = reelOf(v, GetParent(h));
            int id = 0, x = s.rect.left, y = s.rect.top;
            if (!reel.empty()) std::sscanf(reel.c_str(), "DrawIcon %d %d %d", &id, &x, &y);
            screenPut(row0 + y / charHeight, col0 + x / charWidth,
                      id ? "<" + std::to_string(id % 100) + ">" : "<*>", attr | attrBold);
            return;
        }
        int m;
        // A one-line label keeps its whole text: cells are wider than the proportional letters the
        // layout was measured in, and the controls drawn after it cover what runs over.
        std::vector<std::string> lines = wrapText(stripMnemonic(s.text, &m), height > 1 ? width : 1 << 20);
        for (int i = 0; i < static_cast<int>(lines.size()) && i < height; ++i) {
            int pad = static_cast<int>(width - lines[i].size());
            int at = (s.style & 3) == SS_CENTER ? pad / 2 : (s.style & 3) == 2 ? pad : 0;
            int limit = height > 1 ? width : -1;
            if (i == 0 && m >= 0 && (s.style & 3) == 0)
                putLabel(row, col, s.text, attr, limit);
            else
                screenPut(row + i, col + std::max(0, at), lines[i], attr, limit);
        }
        return;
    }
    case Kind::button: {
        DWORD type = s.style & BS_TYPEMASK;
        unsigned a = attr | (focused ? attrReverse : 0);
        if (type == BS_GROUPBOX) {
            screenBox(row, col, std::max(2, height), std::max(2, width), "", attr);
            int m;
            std::string t = stripMnemonic(s.text, &m);
            if (!t.empty()) screenPut(row, col + 2, " " + t + " ", attr, width - 4);
            // The box was drawn over what lies inside it: those controls come later in the order.
            return;
        }
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
            const char* mark = s.check == BST_CHECKED         ? "[x] "
                               : s.check == BST_INDETERMINATE ? "[-] "
                                                              : "[ ] ";
            screenPut(row, col, mark, a);
            putLabel(row, col + 4, s.text, attr, width - 4);
            return;
        }
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
            screenPut(row, col, s.check == BST_CHECKED ? "(*) " : "( ) ", a);
            putLabel(row, col + 4, s.text, attr, width - 4);
            return;
        }
        int m;
        std::string t = stripMnemonic(s.text, &m);
        bool isDefault = type == BS_DEFPUSHBUTTON;
        // "[ OK ]", the default button "< OK >"; the blanks go first when the button is narrow.
        std::string pad = static_cast<int>(t.size()) + 4 <= width ? " " : "";
        std::string face = (isDefault ? "<" : "[") + pad + t + pad + (isDefault ? ">" : "]");
        int at = col + std::max(0, (width - static_cast<int>(face.size())) / 2);
        screenPut(row, at, face, a | (isDefault ? attrBold : 0));
        int lead = 1 + static_cast<int>(pad.size());
        if (m >= 0) screenPut(row, at + lead + m, t.substr(static_cast<size_t>(m), 1), a | attrUnderline);
        return;
    }
    case Kind::edit:
    case Kind::combo: {
        bool list = s.kind == Kind::combo;
        std::string text = s.text;
        if (list && (s.style & 3) == CBS_DROPDOWNLIST)
            text = s.cursel >= 0 && s.cursel < static_cast<int>(s.items.size()) ? s.items[s.cursel] : "";
        if (s.password) text.assign(text.size(), s.password);
        int field = list ? width - 2 : width;
        bool typed = !list || (s.style & 3) != CBS_DROPDOWNLIST;
        size_t caret = typed ? std::min(caretOf(v, h), text.size()) : 0;
        size_t first = caret >= static_cast<size_t>(field) ? caret - static_cast<size_t>(field) + 1 : 0;
        unsigned a = attr | attrUnderline | (focused && !typed ? attrReverse : 0);
        // The field's free cells are shown as '_': an empty field stays visible on any terminal.
        screenPut(row, col, std::string(static_cast<size_t>(std::max(field, 0)), typed ? '_' : ' '), a);
        screenPut(row, col, text.substr(first), a, field);
        if (list) screenPut(row, col + field, " v", attr | (focused ? attrReverse : 0));
        if (focused && typed && enabled) {
            v.cursorRow = row;
            v.cursorCol = col + static_cast<int>(caret - first);
        }
        return;
    }
    default:
        return;
    }
}

// An open combo list, drawn over everything else below its box.
void drawList(RunView& v) {
    Snap s;
    if (!v.openCombo || !snap(v.openCombo, &s)) return;
    for (const Region& r : v.regions) {
        if (r.control != v.openCombo) continue;
        int shown = std::min<int>(8, static_cast<int>(s.items.size()));
        int first = std::max(0, std::min(v.listIndex - shown + 1, static_cast<int>(s.items.size()) - shown));
        screenBox(r.row + 1, r.col, shown + 2, r.width, "", attrNormal);
        for (int i = 0; i < shown; ++i) {
            int index = first + i;
            screenPut(r.row + 2 + i, r.col + 1, s.items[static_cast<size_t>(index)],
                      index == v.listIndex ? attrReverse : attrNormal, r.width - 2);
            v.regions.push_back({r.row + 2 + i, r.col + 1, 1, r.width - 2, v.openCombo, -2 - index});
        }
        return;
    }
}

void drawChildren(RunView& v, HWND parent, int row, int col, HWND focus) {
    // Group boxes first: they frame the controls drawn after them.
    std::vector<HWND> kids = childrenOf(parent);
    for (int pass = 0; pass < 2; ++pass)
        for (HWND c : kids) {
            KoHandleRef<Window> w = peek(c);
            bool isGroup = w && w->kind == Kind::button && (w->style & BS_TYPEMASK) == BS_GROUPBOX;
            if ((pass == 0) == isGroup) drawControl(v, c, row, col, focus);
        }
}

} // namespace

namespace kownd {

bool isSheetFrame(HWND h) {
    KoHandleRef<Window> w = peek(h);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w && w->extra;
}

HWND contentOf(HWND top) {
    if (!isSheetFrame(top)) return top;
    HWND page = currentPage(top);
    return page ? page : top;
}

size_t& caretOf(RunView& v, HWND edit) {
    for (auto& c : v.carets)
        if (c.first == edit) return c.second;
    v.carets.emplace_back(edit, static_cast<size_t>(GetWindowTextLengthA(edit)));
    return v.carets.back().second;
}

std::vector<HWND> focusOrder(HWND top) {
    std::vector<HWND> order;
    auto add = [&order](HWND parent) {
        for (HWND c : childrenOf(parent)) {
            if (!IsWindowVisible(c) || !IsWindowEnabled(c)) continue;
            LONG style = GetWindowLongA(c, GWL_STYLE);
            KoHandleRef<Window> w = peek(c);
            if (!w || w->kind == Kind::dialog || w->kind == Kind::statik || w->kind == Kind::generic)
                continue;
            if (w->kind == Kind::button && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            // Every radio button is reachable: arrows move within its group as well.
            order.push_back(c);
        }
    };
    HWND content = contentOf(top);
    add(content);
    if (content != top) add(top);
    return order;
}

void drawRun(RunView& v) {
    v.regions.clear();
    v.cursorRow = v.cursorCol = -1;
    HWND top = v.top;
    Snap s;
    if (!snap(top, &s)) return;
    bool sheet = isSheetFrame(top);
    HWND focus = GetFocus();
    int width = cellCols(s.rect.right - s.rect.left) + 2;
    int height = cellRows(s.rect.bottom - s.rect.top) + 2;
    HWND page = sheet ? currentPage(top) : nullptr;
    Snap ps;
    int pageRows = 0;
    if (page && snap(page, &ps)) {
        pageRows = cellRows(ps.rect.bottom - ps.rect.top);
        // The frame's margins hold the border: the sheet is its own width and one cell, 80 for ours.
        width = std::max(width - 1, cellCols(ps.rect.right - ps.rect.left) + 4);
        // Caption and tabs, the page, the button row, the bottom edge.
        height = 2 + pageRows + 2;
    }
    width = std::min(width, std::max(screenCols(), 20));
    int row = std::max(0, (screenRows() - height) / 2), col = std::max(0, (screenCols() - width) / 2);
    screenBox(row, col, height, width, s.text);
    if (!sheet) {
        drawChildren(v, top, row + 1, col + 1, focus);
        drawList(v);
        return;
    }
    // The tabs: "1 General", "2 Advanced", ... the current one marked.
    std::vector<std::string> titles = pageTitles(top);
    int active = currentPageIndex(top), at = col + 2;
    for (size_t i = 0; i < titles.size(); ++i) {
        std::string tab = " " + std::to_string(i + 1) + " " + titles[i] + " ";
        bool current = static_cast<int>(i) == active;
        screenPut(row + 1, at, current ? "[" + tab + "]" : " " + tab + " ",
                  current ? attrBold | attrReverse : attrNormal);
        v.regions.push_back({row + 1, at, 1, static_cast<int>(tab.size()) + 2, nullptr, static_cast<int>(i)});
        at += static_cast<int>(tab.size()) + 3;
    }
    if (page) drawControl(v, page, row + 2, col + 1, focus);
    // The frame's own buttons sit on the row below the page whatever their pixel row.
    for (HWND c : childrenOf(top)) {
        KoHandleRef<Window> w = peek(c);
        if (!w || w->kind == Kind::dialog) continue;
        Snap b;
        if (!snap(c, &b)) continue;
        int buttonRow = row + 2 + pageRows - b.rect.top / charHeight;
        drawControl(v, c, buttonRow, col + 1, focus);
    }
    screenPut(row + height - 1, col + 2,
              " Tab: next  Ctrl-PgDn/Alt-N: page  Enter: OK  Esc: Cancel  F1: Help ", attrDim, width - 4);
    drawList(v);
}

} // namespace kownd
