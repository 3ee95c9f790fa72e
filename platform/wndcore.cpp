// Window objects: classes, creation and destruction, the window tree, state, properties and geometry.
#include "platform/window.h"
#include "platform/system.h"
#include "platform/wndinternal.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <new>

using namespace kownd;

namespace {

struct ClassEntry {
    std::string name;
    WNDPROC proc;
    HINSTANCE inst;
    Kind kind;
};

struct Shared {
    std::recursive_mutex lock;
    HWND desktop = nullptr;
    HWND focus = nullptr;
    HWND active = nullptr;
    std::vector<ClassEntry> classes;
};

Shared& shared() {
    static Shared* s = new Shared; // outlives static destructors
    return *s;
}

bool sameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// The built-in classes, then the registered ones.
bool findClass(const char* name, ClassEntry* out) {
    static const ClassEntry builtIn[] = {
        {"BUTTON", buttonProc, nullptr, Kind::button}, {"EDIT", editProc, nullptr, Kind::edit},
        {"COMBOBOX", comboProc, nullptr, Kind::combo}, {"STATIC", staticProc, nullptr, Kind::statik},
        {"#32770", dialogProc, nullptr, Kind::dialog},
    };
    if (!name) return false;
    std::string atom;
    if (IS_INTRESOURCE(name)) {
        // Atoms of the dialog class and of the standard controls in templates.
        switch (reinterpret_cast<ULONG_PTR>(name)) {
        case 0x8002:
            name = "#32770";
            break;
        case 0x0080:
            name = "BUTTON";
            break;
        case 0x0081:
            name = "EDIT";
            break;
        case 0x0082:
            name = "STATIC";
            break;
        case 0x0085:
            name = "COMBOBOX";
            break;
        default:
            return false;
        }
    }
    for (const ClassEntry& c : builtIn)
        if (sameName(c.name, name)) {
            *out = c;
            return true;
        }
    for (const ClassEntry& c : shared().classes)
        if (sameName(c.name, name)) {
            *out = c;
            return true;
        }
    return false;
}

HWND makeDesktop() {
    Window* w = new (std::nothrow) Window;
    if (!w) return nullptr;
    w->kind = Kind::desktop;
    w->cls = "#32769";
    w->style = WS_VISIBLE;
    w->rect = {0, 0, screenWidth, screenHeight};
    w->proc = DefWindowProcA;
    HWND h = static_cast<HWND>(koHandleCreate(w));
    if (h) {
        w->self = h;
        w->retain(); // never destroyed
    }
    return h;
}

void detachFromParent(Window* w) {
    if (!w->parent) return;
    KoHandleRef<Window> p = peek(w->parent);
    if (!p) return;
    auto& c = p->children;
    c.erase(std::remove(c.begin(), c.end(), w->self), c.end());
}

// A top-level window owned by h, or null.
HWND firstOwnedBy(HWND h) {
    std::lock_guard<std::recursive_mutex> g(lock());
    KoHandleRef<Window> d = peek(desktop());
    if (!d) return nullptr;
    for (HWND t : d->children) {
        KoHandleRef<Window> w = peek(t);
        if (w && w->owner == h && !w->destroying) return t;
    }
    return nullptr;
}

} // namespace

namespace kownd {

std::recursive_mutex& lock() {
    return shared().lock;
}

KoHandleRef<Window> peek(HWND h) {
    DWORD saved = GetLastError();
    KoHandleRef<Window> r = koHandleLookup<Window>(h, KoHandleKind::window);
    SetLastError(saved);
    return r;
}

KoHandleRef<Window> ref(HWND h) {
    KoHandleRef<Window> r = peek(h);
    if (!r) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return r;
}

HWND desktop() {
    std::lock_guard<std::recursive_mutex> g(lock());
    if (!shared().desktop) shared().desktop = makeDesktop();
    return shared().desktop;
}

HWND& focusWindow() {
    return shared().focus;
}

HWND& activeWindow() {
    return shared().active;
}

HWND rootOf(HWND h) {
    std::lock_guard<std::recursive_mutex> g(lock());
    for (;;) {
        KoHandleRef<Window> w = peek(h);
        if (!w || !w->parent || w->parent == desktop()) return w ? h : nullptr;
        h = w->parent;
    }
}

} // namespace kownd

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> g(lock());
    ClassEntry existing;
    if (findClass(wc->lpszClassName, &existing)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    try {
        shared().classes.push_back({wc->lpszClassName, wc->lpfnWndProc, wc->hInstance, Kind::generic});
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    return static_cast<ATOM>(0xC000 + shared().classes.size());
}

BOOL UnregisterClassA(LPCSTR name, HINSTANCE) {
    std::lock_guard<std::recursive_mutex> g(lock());
    auto& c = shared().classes;
    for (auto i = c.begin(); i != c.end(); ++i)
        if (name && !IS_INTRESOURCE(name) && sameName(i->name, name)) {
            c.erase(i);
            return TRUE;
        }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

int GetClassNameA(HWND h, LPSTR buffer, int size) {
    KoHandleRef<Window> w = ref(h);
    if (!w || !buffer || size <= 0) return 0;
    std::lock_guard<std::recursive_mutex> g(lock());
    size_t n = std::min(w->cls.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, w->cls.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR name, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    ClassEntry c;
    try {
        std::lock_guard<std::recursive_mutex> g(lock());
        if (!findClass(className, &c)) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HWND desk = desktop();
    if (parent == desk) parent = nullptr;
    if (parent && !IsWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if ((style & WS_CHILD) && !parent) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE); // Windows refuses a child without a parent
        return nullptr;
    }
    Window* w = new (std::nothrow) Window;
    if (!w) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HWND h;
    try {
        w->kind = c.kind;
        w->cls = c.name;
        w->proc = c.proc;
        w->inst = instance;
        w->text = name && !IS_INTRESOURCE(name) ? name : "";
        w->style = style;
        w->exStyle = exStyle;
        w->rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
        } else {
            w->parent = desk;
            w->owner = parent ? rootOf(parent) : nullptr;
        }
        if (c.kind == Kind::dialog) w->dlg.reset(new DialogState);
        if (c.kind == Kind::edit && (style & ES_PASSWORD)) w->passwordChar = '*';
        h = static_cast<HWND>(koHandleCreate(w));
        if (!h) return nullptr; // w released by the table
        w->self = h;
        std::lock_guard<std::recursive_mutex> g(lock());
        KoHandleRef<Window> p = peek(w->parent);
        if (p) p->children.push_back(h);
    } catch (...) {
        // Before the handle was made the object is still only ours; after, the table holds it.
        if (w->self)
            koHandleClose(w->self, KoHandleKind::window);
        else
            w->release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CREATESTRUCTA cs{param, instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
                     name,  className, exStyle};
    if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((style & WS_VISIBLE) && !(style & WS_CHILD)) SetActiveWindow(h);
    return h;
}

HWND CreateWindowA(LPCSTR className, LPCSTR name, DWORD style, int x, int y, int width, int height,
                   HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    return CreateWindowExA(0, className, name, style, x, y, width, height, parent, menu, instance, param);
}

BOOL DestroyWindow(HWND h) {
    KoHandleRef<Window> w = ref(h);
    if (!w || w->kind == Kind::desktop) {
        if (w) SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        if (w->destroying) return TRUE;
        w->destroying = true;
        w->style &= ~WS_VISIBLE;
    }
    SendMessageA(h, WM_DESTROY, 0, 0);
    // Owned windows and children go first; each leaves its list as it goes, so nothing is copied
    // and destruction never needs memory.
    for (HWND o = firstOwnedBy(h); o; o = firstOwnedBy(h))
        DestroyWindow(o);
    for (;;) {
        HWND k;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            if (w->children.empty()) break;
            k = w->children.back();
        }
        DestroyWindow(k);
        // A child already being destroyed further up this call chain leaves the list later.
        std::lock_guard<std::recursive_mutex> g(lock());
        if (!w->children.empty() && w->children.back() == k) w->children.pop_back();
    }
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    HWND parent;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        parent = w->parent;
        detachFromParent(w.get());
        if (focusWindow() == h) focusWindow() = nullptr;
        if (activeWindow() == h) activeWindow() = nullptr;
    }
    koHandleClose(h, KoHandleKind::window);
    // The focus goes back to the owner's window when the active window goes.
    (void)parent;
    return TRUE;
}

BOOL IsWindow(HWND h) {
    desktop();
    return peek(h) ? TRUE : FALSE;
}

HWND GetDesktopWindow() {
    return desktop();
}

BOOL IsChild(HWND parent, HWND h) {
    std::lock_guard<std::recursive_mutex> g(lock());
    KoHandleRef<Window> w = peek(h);
    while (w && (w->style & WS_CHILD)) {
        if (w->parent == parent) return TRUE;
        w = peek(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND h) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return nullptr;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (w->style & WS_CHILD) return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND GetAncestor(HWND h, UINT flags) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return nullptr;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (flags == GA_PARENT) return w->parent;
    HWND root = rootOf(h);
    if (flags == GA_ROOTOWNER)
        for (KoHandleRef<Window> r = peek(root); r && r->owner; r = peek(root))
            root = r->owner;
    return root;
}

HWND GetWindow(HWND h, UINT cmd) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return nullptr;
    std::lock_guard<std::recursive_mutex> g(lock());
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    if (cmd == GW_OWNER) return w->owner;
    KoHandleRef<Window> p = peek(w->parent);
    if (!p) return nullptr;
    auto& s = p->children;
    auto i = std::find(s.begin(), s.end(), h);
    switch (cmd) {
    case GW_HWNDFIRST:
        return s.front();
    case GW_HWNDLAST:
        return s.back();
    case GW_HWNDNEXT:
        return (i == s.end() || i + 1 == s.end()) ? nullptr : *(i + 1);
    case GW_HWNDPREV:
        return (i == s.begin() || i == s.end()) ? nullptr : *(i - 1);
    }
    return nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
    KoHandleRef<Window> w = ref(dialog);
    if (!w) return nullptr;
    std::lock_guard<std::recursive_mutex> g(lock());
    for (HWND c : w->children) {
        KoHandleRef<Window> k = peek(c);
        if (k && static_cast<int>(k->id) == id) return c;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND h) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    std::lock_guard<std::recursive_mutex> g(lock());
    return (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

LONG_PTR GetWindowLongPtrA(HWND h, int index) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    std::lock_guard<std::recursive_mutex> g(lock());
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->inst);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    }
    if (w->dlg) {
        if (index == DWLP_MSGRESULT) return w->dlg->msgResult;
        if (index == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(w->dlg->proc);
        if (index == DWLP_USER) return w->dlg->user;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR SetWindowLongPtrA(HWND h, int index, LONG_PTR value) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    std::lock_guard<std::recursive_mutex> g(lock());
    LONG_PTR old = 0;
    SetLastError(ERROR_SUCCESS);
    switch (index) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        if (value) w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->inst);
        w->inst = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        return old;
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(value);
        return old;
    case GWL_EXSTYLE:
        old = static_cast<LONG>(w->exStyle);
        w->exStyle = static_cast<DWORD>(value);
        return old;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        return old;
    case GWLP_HWNDPARENT:
        if (w->style & WS_CHILD) break;
        old = reinterpret_cast<LONG_PTR>(w->owner);
        w->owner = reinterpret_cast<HWND>(value);
        return old;
    }
    if (w->dlg) {
        if (index == DWLP_MSGRESULT) {
            old = w->dlg->msgResult;
            w->dlg->msgResult = value;
            return old;
        }
        if (index == DWLP_DLGPROC) {
            old = reinterpret_cast<LONG_PTR>(w->dlg->proc);
            w->dlg->proc = reinterpret_cast<DLGPROC>(value);
            return old;
        }
        if (index == DWLP_USER) {
            old = w->dlg->user;
            w->dlg->user = value;
            return old;
        }
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG GetWindowLongA(HWND h, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(h, index));
}

LONG SetWindowLongA(HWND h, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(h, index, value));
}

int GetWindowTextA(HWND h, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = 0;
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(
        SendMessageA(h, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND h) {
    return IsWindow(h) ? static_cast<int>(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

BOOL SetWindowTextA(HWND h, LPCSTR text) {
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}
