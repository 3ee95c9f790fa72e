// The standard controls: BUTTON (push, check, radio, group box), EDIT, COMBOBOX and STATIC.
#include "platform/window.h"
#include "platform/system.h"
#include "platform/wndinternal.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

using namespace kownd;

namespace {

DWORD buttonType(DWORD style) {
    return style & BS_TYPEMASK;
}

bool isCheckable(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// The siblings of a control that belong to its group: from the last WS_GROUP before it up to the
// next WS_GROUP after it.
std::vector<HWND> groupOf(HWND h) {
    std::vector<HWND> out;
    std::lock_guard<std::recursive_mutex> g(lock());
    KoHandleRef<Window> w = peek(h);
    if (!w) return out;
    KoHandleRef<Window> p = peek(w->parent);
    if (!p) return out;
    auto& s = p->children;
    auto at = std::find(s.begin(), s.end(), h);
    if (at == s.end()) return out;
    auto first = at;
    while (first != s.begin()) {
        KoHandleRef<Window> k = peek(*first);
        if (k && (k->style & WS_GROUP)) break;
        --first;
    }
    for (auto i = first; i != s.end(); ++i) {
        KoHandleRef<Window> k = peek(*i);
        if (i != first && k && (k->style & WS_GROUP)) break;
        out.push_back(*i);
    }
    return out;
}

LRESULT textLength(HWND h) {
    KoHandleRef<Window> w = peek(h);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w ? static_cast<LRESULT>(w->text.size()) : 0;
}

// Case-insensitive prefix or whole match, as the list's searches compare.
bool matches(const std::string& item, const char* s, bool exact) {
    size_t n = std::strlen(s);
    if (exact) return item.size() == n && strncasecmp(item.c_str(), s, n) == 0;
    return item.size() >= n && strncasecmp(item.c_str(), s, n) == 0;
}

LRESULT findItem(Window* w, WPARAM start, const char* s, bool exact) {
    if (!s) return CB_ERR;
    int count = static_cast<int>(w->items.size());
    if (count == 0) return CB_ERR;
    int from = static_cast<int>(static_cast<LONG_PTR>(start));
    if (from < -1 || from >= count) from = -1;
    // The search starts after the start item and wraps round to it.
    for (int k = 1; k <= count; ++k) {
        int i = (from + k) % count;
        if (matches(w->items[i], s, exact)) return i;
    }
    return CB_ERR;
}

void syncComboText(Window* w) {
    w->text = (w->cursel >= 0 && w->cursel < static_cast<int>(w->items.size())) ? w->items[w->cursel] : "";
}

} // namespace

namespace kownd {

void notifyParent(HWND control, WORD code) {
    HWND parent = GetParent(control);
    if (parent)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                     reinterpret_cast<LPARAM>(control));
}

LRESULT buttonProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    switch (message) {
    case BM_GETCHECK: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return isCheckable(buttonType(w->style)) ? static_cast<LRESULT>(w->check) : 0;
    }
    case BM_SETCHECK: {
        std::lock_guard<std::recursive_mutex> g(lock());
        DWORD type = buttonType(w->style);
        if (!isCheckable(type)) return 0;
        WPARAM most = (type == BS_3STATE || type == BS_AUTO3STATE) ? BST_INDETERMINATE : BST_CHECKED;
        w->check = std::min(wParam, most);
        return 0;
    }
    case BM_GETSTATE: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return static_cast<LRESULT>(w->check) | (GetFocus() == h ? static_cast<LRESULT>(BST_FOCUS) : 0);
    }
    case BM_SETSTYLE: {
        std::lock_guard<std::recursive_mutex> g(lock());
        w->style = (w->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFFu);
        return 0;
    }
    case BM_CLICK: {
        DWORD type;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            if (w->style & WS_DISABLED) return 0;
            type = buttonType(w->style);
        }
        if (type == BS_GROUPBOX) return 0;
        if (type == BS_AUTOCHECKBOX) {
            SendMessageA(h, BM_SETCHECK, SendMessageA(h, BM_GETCHECK, 0, 0) ? BST_UNCHECKED : BST_CHECKED, 0);
        } else if (type == BS_AUTO3STATE) {
            SendMessageA(h, BM_SETCHECK, (SendMessageA(h, BM_GETCHECK, 0, 0) + 1) % 3, 0);
        } else if (type == BS_AUTORADIOBUTTON) {
            for (HWND s : groupOf(h)) {
                KoHandleRef<Window> k = peek(s);
                if (k && k->kind == Kind::button && buttonType(k->style) == BS_AUTORADIOBUTTON)
                    SendMessageA(s, BM_SETCHECK, s == h ? BST_CHECKED : BST_UNCHECKED, 0);
            }
        }
        notifyParent(h, BN_CLICKED);
        return 0;
    }
    }
    return DefWindowProcA(h, message, wParam, lParam);
}

LRESULT editProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    switch (message) {
    case WM_SETTEXT: {
        // A program's text is taken whole: the limit bounds only what the user types.
        if (!DefWindowProcA(h, message, wParam, lParam)) return FALSE;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            w->modified = false;
            if (w->style & ES_MULTILINE) return TRUE;
        }
        notifyParent(h, EN_UPDATE);
        notifyParent(h, EN_CHANGE);
        return TRUE;
    }
    case EM_LIMITTEXT: {
        std::lock_guard<std::recursive_mutex> g(lock());
        w->limit = wParam ? static_cast<UINT>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
        return 0;
    }
    case EM_GETLIMITTEXT: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return w->limit;
    }
    case EM_SETPASSWORDCHAR: {
        std::lock_guard<std::recursive_mutex> g(lock());
        w->passwordChar = static_cast<char>(wParam);
        if (wParam)
            w->style |= ES_PASSWORD;
        else
            w->style &= ~ES_PASSWORD;
        return 0;
    }
    case EM_GETPASSWORDCHAR: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return static_cast<unsigned char>(w->passwordChar);
    }
    case EM_GETMODIFY: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return w->modified ? TRUE : FALSE;
    }
    case EM_SETMODIFY: {
        std::lock_guard<std::recursive_mutex> g(lock());
        w->modified = wParam != 0;
        return 0;
    }
    case EM_SETREADONLY: {
        std::lock_guard<std::recursive_mutex> g(lock());
        if (wParam)
            w->style |= ES_READONLY;
        else
            w->style &= ~ES_READONLY;
        return TRUE;
    }
    case WM_GETTEXTLENGTH:
        return textLength(h);
    }
    return DefWindowProcA(h, message, wParam, lParam);
}

LRESULT comboProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    const char* s = reinterpret_cast<const char*>(lParam);
    std::unique_lock<std::recursive_mutex> g(lock());
    bool list = (w->style & 3) == CBS_DROPDOWNLIST;
    int count = static_cast<int>(w->items.size());
    try {
        switch (message) {
        case CB_ADDSTRING:
        case CB_INSERTSTRING: {
            std::string item = s ? s : "";
            int at = count;
            if (message == CB_INSERTSTRING) {
                int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
                if (i > count) return CB_ERR;
                if (i >= 0) at = i;
            } else if (w->style & CBS_SORT) {
                at = 0;
                while (at < count && strcasecmp(w->items[at].c_str(), item.c_str()) <= 0)
                    ++at;
            }
            w->items.reserve(count + 1);
            w->itemData.reserve(count + 1);
            w->items.insert(w->items.begin() + at, item);
            w->itemData.insert(w->itemData.begin() + at, 0);
            if (w->cursel >= at) ++w->cursel;
            return at;
        }
        case CB_DELETESTRING: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            if (i < 0 || i >= count) return CB_ERR;
            w->items.erase(w->items.begin() + i);
            w->itemData.erase(w->itemData.begin() + i);
            if (w->cursel == i)
                w->cursel = -1;
            else if (w->cursel > i)
                --w->cursel;
            if (list) syncComboText(w.get());
            return count - 1;
        }
        case CB_RESETCONTENT:
            w->items.clear();
            w->itemData.clear();
            w->cursel = -1;
            w->text.clear();
            return CB_OKAY;
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return w->cursel >= 0 ? static_cast<LRESULT>(w->cursel) : static_cast<LRESULT>(CB_ERR);
        case CB_SETCURSEL: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            if (i < 0 || i >= count) {
                w->cursel = -1;
                if (list) w->text.clear();
                return CB_ERR;
            }
            w->cursel = i;
            syncComboText(w.get());
            return i;
        }
        case CB_GETLBTEXT: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            if (i < 0 || i >= count || !lParam) return CB_ERR;
            std::memcpy(reinterpret_cast<char*>(lParam), w->items[i].c_str(), w->items[i].size() + 1);
            return static_cast<LRESULT>(w->items[i].size());
        }
        case CB_GETLBTEXTLEN: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            return (i < 0 || i >= count) ? CB_ERR : static_cast<LRESULT>(w->items[i].size());
        }
        case CB_FINDSTRING:
            return findItem(w.get(), wParam, s, false);
        case CB_FINDSTRINGEXACT:
            return findItem(w.get(), wParam, s, true);
        case CB_SELECTSTRING: {
            LRESULT i = findItem(w.get(), wParam, s, false);
            if (i == CB_ERR) return CB_ERR;
            w->cursel = static_cast<int>(i);
            syncComboText(w.get());
            return i;
        }
        case CB_GETITEMDATA: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            return (i < 0 || i >= count) ? CB_ERR : w->itemData[i];
        }
        case CB_SETITEMDATA: {
            int i = static_cast<int>(static_cast<LONG_PTR>(wParam));
            if (i < 0 || i >= count) return CB_ERR;
            w->itemData[i] = lParam;
            return TRUE;
        }
        case CB_LIMITTEXT:
            w->limit = wParam ? static_cast<UINT>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
            return TRUE;
        case WM_SETTEXT:
            if (list) {
                // A list-only combo box shows only its entries: the text selects the entry it names.
                LRESULT i = findItem(w.get(), static_cast<WPARAM>(-1), s ? s : "", true);
                if (i == CB_ERR) return CB_ERR;
                w->cursel = static_cast<int>(i);
                syncComboText(w.get());
                return TRUE;
            }
            w->text = s ? s : "";
            return TRUE;
        }
    } catch (...) {
        return CB_ERRSPACE;
    }
    g.unlock();
    return DefWindowProcA(h, message, wParam, lParam);
}

LRESULT staticProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    switch (message) {
    case STM_SETICON: {
        std::lock_guard<std::recursive_mutex> g(lock());
        HICON old = w->icon;
        w->icon = reinterpret_cast<HICON>(wParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON: {
        std::lock_guard<std::recursive_mutex> g(lock());
        return reinterpret_cast<LRESULT>(w->icon);
    }
    }
    return DefWindowProcA(h, message, wParam, lParam);
}

} // namespace kownd
