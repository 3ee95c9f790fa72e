// The terminal front end's modal loop: keys and mouse clicks become the same window messages the
// script front end sends, on the dialog or sheet the run shows.
#include "platform/codepage.h"
#include "platform/frontend.h"
#include "platform/termui.h"
#include "platform/wndinternal.h"

#include <algorithm>
#include <cctype>
#include <new>

using namespace kownd;

namespace {

bool ended(HWND h, INT_PTR* result) {
    KoHandleRef<Window> w = peek(h);
    if (!w) return true;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (!w->dlg || !w->dlg->ended) return false;
    *result = w->dlg->result;
    return true;
}

Kind kindOf(HWND c) {
    KoHandleRef<Window> w = peek(c);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w ? w->kind : Kind::generic;
}

DWORD styleOf(HWND c) {
    return static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE));
}

bool isRadio(HWND c) {
    DWORD t = styleOf(c) & BS_TYPEMASK;
    return kindOf(c) == Kind::button && (t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON);
}

bool isPush(HWND c) {
    DWORD t = styleOf(c) & BS_TYPEMASK;
    return kindOf(c) == Kind::button && (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON);
}

// A combo box the person types into (not a drop-down list).
bool typedCombo(HWND c) {
    return kindOf(c) == Kind::combo && (styleOf(c) & 3) != CBS_DROPDOWNLIST;
}

void click(HWND c) {
    SetFocus(c);
    SendMessageA(c, BM_CLICK, 0, 0);
}

// The radio buttons of c's group, in order: from the control marked WS_GROUP to the next one.
std::vector<HWND> radioGroup(HWND c) {
    HWND first = c;
    for (HWND p = c; p; p = GetWindow(p, GW_HWNDPREV)) {
        first = p;
        if (styleOf(p) & WS_GROUP) break;
    }
    std::vector<HWND> group;
    for (HWND p = first; p; p = GetWindow(p, GW_HWNDNEXT)) {
        if (p != first && (styleOf(p) & WS_GROUP)) break;
        if (isRadio(p) && IsWindowVisible(p) && IsWindowEnabled(p)) group.push_back(p);
    }
    return group;
}

// A radio button takes the focus from Tab only as its group's checked button (its first when
// none is checked); arrows move within the group.
bool tabStopRadio(HWND c) {
    std::vector<HWND> group = radioGroup(c);
    for (HWND r : group)
        if (SendMessageA(r, BM_GETCHECK, 0, 0) == BST_CHECKED) return r == c;
    return !group.empty() && group.front() == c;
}

void moveFocus(HWND top, int step) {
    std::vector<HWND> order = focusOrder(top);
    if (order.empty()) return;
    auto i = std::find(order.begin(), order.end(), GetFocus());
    long n = static_cast<long>(order.size());
    long at = i == order.end() ? (step > 0 ? -1 : 0) : i - order.begin();
    for (long tries = 0; tries < n; ++tries) {
        at = ((at + step) % n + n) % n;
        HWND next = order[static_cast<size_t>(at)];
        if (isRadio(next) && !tabStopRadio(next)) continue;
        SetFocus(next);
        return;
    }
}

// A page coming up takes the focus to its first control, as a new dialog does.
void ensureFocus(RunView& v) {
    HWND top = v.top;
    std::vector<HWND> order = focusOrder(top);
    HWND f = GetFocus();
    int page = currentPageIndex(top);
    bool newPage = page != v.page;
    v.page = page;
    if (order.empty() || (!newPage && std::find(order.begin(), order.end(), f) != order.end())) return;
    SetFocus(nullptr);
    moveFocus(top, 1);
}

void changePage(HWND top, int index) {
    if (!isSheetFrame(top)) return;
    int count = static_cast<int>(pageTitles(top).size());
    if (index < 0 || index >= count) return;
    SendMessageA(top, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void cancel(HWND top) {
    if (isSheetFrame(top))
        SendMessageA(top, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    else
        SendMessageA(top, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(top, IDCANCEL)));
}

// Enter: the focused push button, else the default one.
void pressDefault(HWND top) {
    HWND f = GetFocus();
    if (f && isPush(f) && IsWindowVisible(f)) return click(f);
    if (isSheetFrame(top)) {
        HWND ok = GetDlgItem(top, IDOK);
        if (ok && IsWindowEnabled(ok) && IsWindowVisible(ok)) click(ok);
        return;
    }
    LRESULT def = SendMessageA(top, DM_GETDEFID, 0, 0);
    int id = HIWORD(def) == DC_HASDEFID ? static_cast<int>(LOWORD(def)) : static_cast<int>(IDOK);
    HWND b = GetDlgItem(top, id);
    if (b && IsWindowVisible(b) && IsWindowEnabled(b))
        click(b);
    else if (!b)
        SendMessageA(top, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void help(HWND top) {
    HWND t = contentOf(top);
    HWND f = GetFocus();
    if (!f || (f != t && !IsChild(t, f) && !IsChild(top, f))) f = t;
    HELPINFO hi{sizeof(HELPINFO), HELPINFO_WINDOW, GetDlgCtrlID(f), f, 0, {0, 0}};
    SendMessageA(f, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
}

// Keys in an edit control (or a typed combo box); false when the key is not an editing key.
bool editKey(RunView& v, HWND c, const Input& in) {
    int key = in.code;
    KoHandleRef<Window> w = peek(c);
    if (!w) return false;
    std::string text;
    DWORD style;
    size_t limit;
    bool edit;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        text = w->text;
        style = w->style;
        limit = w->limit;
        edit = w->kind == Kind::edit;
    }
    size_t& caret = caretOf(v, c);
    caret = std::min(caret, text.size());
    bool readOnly = edit && (style & ES_READONLY);
    switch (key) {
    case keyLeft:
        caret = static_cast<size_t>(CharPrevA(text.c_str(), text.c_str() + caret) - text.c_str());
        return true;
    case keyRight:
        caret = static_cast<size_t>(CharNextA(text.c_str() + caret) - text.c_str());
        return true;
    case keyHome:
    case 1: // Ctrl-A
        caret = 0;
        return true;
    case keyEnd:
    case 5: // Ctrl-E
        caret = text.size();
        return true;
    case keyBackspace:
    case 127:
    case 8: {
        if (readOnly || caret == 0) return true;
        size_t from = static_cast<size_t>(CharPrevA(text.c_str(), text.c_str() + caret) - text.c_str());
        text.erase(from, caret - from);
        caret = from;
        setTyped(c, text);
        return true;
    }
    case keyDelete: {
        if (readOnly || caret >= text.size()) return true;
        size_t to = static_cast<size_t>(CharNextA(text.c_str() + caret) - text.c_str());
        text.erase(caret, to - caret);
        setTyped(c, text);
        return true;
    }
    case 21: // Ctrl-U: the whole text
        if (readOnly) return true;
        caret = 0;
        setTyped(c, "");
        return true;
    }
    if (in.text.empty()) return false;
    // Refused whole, as the control refuses: past the limit, or a letter in a digits-only field.
    if (readOnly || text.size() + in.text.size() > limit) return true;
    std::string typed = in.text;
    if (edit && (style & ES_NUMBER) && !std::isdigit(static_cast<unsigned char>(typed[0]))) return true;
    if (edit && (style & ES_UPPERCASE)) CharUpperBuffA(typed.data(), static_cast<DWORD>(typed.size()));
    if (edit && (style & ES_LOWERCASE)) CharLowerBuffA(typed.data(), static_cast<DWORD>(typed.size()));
    text.insert(caret, typed);
    caret += typed.size();
    setTyped(c, text);
    return true;
}

void chooseEntry(HWND combo, int index) {
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) return;
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    notifyParent(combo, CBN_SELCHANGE);
}

void openList(RunView& v, HWND combo) {
    if (SendMessageA(combo, CB_GETCOUNT, 0, 0) <= 0) return;
    v.openCombo = combo;
    v.listIndex = std::max(0, static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)));
}

void closeList(RunView& v, bool choose) {
    HWND c = v.openCombo;
    v.openCombo = nullptr;
    if (choose) chooseEntry(c, v.listIndex);
}

// Alt with a letter: the control whose label marks that letter (a label gives the focus to the
// control after it).
void mnemonic(HWND top, int key) {
    char want = static_cast<char>(std::tolower(key));
    for (HWND parent : {contentOf(top), top}) {
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            if (!IsWindowVisible(c)) continue;
            char text[256];
            GetWindowTextA(c, text, sizeof text);
            int m;
            std::string plain = stripMnemonic(text, &m);
            if (m < 0 || std::tolower(static_cast<unsigned char>(plain[static_cast<size_t>(m)])) != want)
                continue;
            Kind k = kindOf(c);
            if (k == Kind::statik) {
                for (HWND n = GetWindow(c, GW_HWNDNEXT); n; n = GetWindow(n, GW_HWNDNEXT))
                    if (kindOf(n) != Kind::statik && IsWindowVisible(n) && IsWindowEnabled(n)) {
                        SetFocus(n);
                        return;
                    }
                return;
            }
            if (!IsWindowEnabled(c)) return;
            if (k == Kind::button && (styleOf(c) & BS_TYPEMASK) != BS_GROUPBOX) return click(c);
            SetFocus(c);
            return;
        }
        if (parent == top) break;
    }
}

void mouse(RunView& v, const MouseEvent& m) {
    if (!(m.buttons & (mouseButton1Pressed | mouseButton1Clicked))) return;
    // The last region drawn is the one on top.
    for (auto r = v.regions.rbegin(); r != v.regions.rend(); ++r) {
        if (m.y < r->row || m.y >= r->row + r->height || m.x < r->col || m.x >= r->col + r->width) continue;
        if (!r->control) return changePage(v.top, r->tab);
        if (r->tab <= -2) {
            v.listIndex = -2 - r->tab;
            return closeList(v, true);
        }
        if (v.openCombo) closeList(v, false);
        HWND c = r->control;
        Kind k = kindOf(c);
        if (!IsWindowEnabled(c) || k == Kind::statik || k == Kind::dialog || k == Kind::generic) continue;
        if (k == Kind::button) {
            if ((styleOf(c) & BS_TYPEMASK) == BS_GROUPBOX) continue;
            return click(c);
        }
        SetFocus(c);
        if (k == Kind::combo && !typedCombo(c)) return openList(v, c);
        caretOf(v, c) = static_cast<size_t>(std::max(0, m.x - r->col));
        return;
    }
}

void key(RunView& v, const Input& in) {
    HWND top = v.top;
    int k = in.code;
    if (k == keyMouse) return mouse(v, in.mouse);
    if (v.openCombo) {
        int count = static_cast<int>(SendMessageA(v.openCombo, CB_GETCOUNT, 0, 0));
        if (k == keyUp)
            v.listIndex = std::max(0, v.listIndex - 1);
        else if (k == keyDown)
            v.listIndex = std::min(count - 1, v.listIndex + 1);
        else if (k == '\r' || k == '\n' || k == keyEnter || k == ' ')
            closeList(v, true);
        else
            closeList(v, false);
        return;
    }
    if (in.alt && k >= '1' && k <= '9') return changePage(top, k - '1');
    if (in.alt && k < 0x80 && std::isalpha(k)) return mnemonic(top, k);
    if (in.alt && k != keyDown) return;
    if (in.alt) k = keyAltDown;
    int page = currentPageIndex(top), pages = static_cast<int>(pageTitles(top).size());
    if (k == keyCtrlPageDown && pages > 0) return changePage(top, (page + 1) % pages);
    if (k == keyCtrlPageUp && pages > 0) return changePage(top, (page + pages - 1) % pages);
    if (k == '\t') return moveFocus(top, 1);
    if (k == keyBackTab) return moveFocus(top, -1);
    if (k == keyF1) return help(top);
    if (k == 27) return cancel(top);
    if (k == '\r' || k == '\n' || k == keyEnter) return pressDefault(top);
    HWND f = GetFocus();
    Kind fk = f ? kindOf(f) : Kind::generic;
    if (f && (fk == Kind::edit || typedCombo(f)) && editKey(v, f, in)) return;
    if (f && fk == Kind::combo) {
        int at = static_cast<int>(SendMessageA(f, CB_GETCURSEL, 0, 0));
        if (k == keyAltDown || k == keyF4) return openList(v, f);
        if (k == keyDown) return chooseEntry(f, at + 1);
        if (k == keyUp) return chooseEntry(f, std::max(0, at - 1));
    }
    if (f && isRadio(f) && (k == keyUp || k == keyDown || k == keyLeft || k == keyRight)) {
        std::vector<HWND> group = radioGroup(f);
        auto i = std::find(group.begin(), group.end(), f);
        if (group.size() > 1 && i != group.end()) {
            long n = static_cast<long>(group.size()), at = i - group.begin();
            long step = k == keyUp || k == keyLeft ? -1 : 1;
            return click(group[static_cast<size_t>(((at + step) % n + n) % n)]);
        }
    }
    if (f && fk == Kind::button && k == ' ') return click(f);
    if (k == keyDown || k == keyRight) return moveFocus(top, 1);
    if (k == keyUp || k == keyLeft) return moveFocus(top, -1);
}

} // namespace

namespace kownd {

INT_PTR terminalModalLoop(HWND h) {
    INT_PTR result = 0;
    ScreenRun run;
    if (!run.taken()) {
        // The terminal was lost since the run was allowed: the window ends as Escape would end it.
        cancel(h);
        deliverPosted();
        return ended(h, &result) ? result : (isSheetFrame(h) ? 0 : IDCANCEL);
    }
    RunView v;
    v.top = h;
    run.show([&v] { drawRun(v); });
    for (;;) {
        deliverPosted();
        if (ended(h, &result)) break;
        Input in;
        try {
            ensureFocus(v);
            drawLayers();
            drawRun(v);
            screenShow(v.cursorRow, v.cursorCol);
            in = screenRead(100);
            if (in.kind == Input::key) key(v, in);
        } catch (const std::bad_alloc&) {
            // A frame or a key is lost, not the run: the window tree is as the last message left it.
            continue;
        }
        if (in.kind == Input::lost || in.kind == Input::interrupt) screenAbandon(in);
    }
    return result;
}

} // namespace kownd
