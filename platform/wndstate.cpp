// Window state: enabled, visible, focus and active window, window properties and system metrics.
#include "platform/system.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <strings.h>

using namespace kownd;

BOOL EnableWindow(HWND h, BOOL enable) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    BOOL wasDisabled;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        if (!enable && focusWindow() == h) focusWindow() = nullptr;
    }
    if (wasDisabled == (enable ? TRUE : FALSE)) SendMessageA(h, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND h) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    std::lock_guard<std::recursive_mutex> g(lock());
    return (w->style & WS_DISABLED) ? FALSE : TRUE;
}

BOOL ShowWindow(HWND h, int command) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    BOOL was;
    bool show = command != SW_HIDE;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        was = (w->style & WS_VISIBLE) ? TRUE : FALSE;
        if (show)
            w->style |= WS_VISIBLE;
        else
            w->style &= ~WS_VISIBLE;
        if (command == SW_MINIMIZE || command == SW_SHOWMINIMIZED) w->style |= WS_MINIMIZE;
        if (command == SW_RESTORE || command == SW_SHOWNORMAL) w->style &= ~WS_MINIMIZE;
    }
    if (was != (show ? TRUE : FALSE)) SendMessageA(h, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    return was;
}

BOOL IsWindowVisible(HWND h) {
    std::lock_guard<std::recursive_mutex> g(lock());
    KoHandleRef<Window> w = peek(h);
    while (w) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!(w->style & WS_CHILD)) return TRUE;
        w = peek(w->parent);
    }
    return FALSE;
}

BOOL IsIconic(HWND h) {
    KoHandleRef<Window> w = peek(h);
    std::lock_guard<std::recursive_mutex> g(lock());
    return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

HWND GetFocus() {
    std::lock_guard<std::recursive_mutex> g(lock());
    return peek(focusWindow()) ? focusWindow() : nullptr;
}

HWND SetFocus(HWND h) {
    HWND old = GetFocus();
    if (!h) {
        std::lock_guard<std::recursive_mutex> g(lock());
        focusWindow() = nullptr;
    } else {
        KoHandleRef<Window> w = ref(h);
        if (!w) return nullptr;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            // A disabled window cannot take the focus.
            if (w->style & WS_DISABLED) return nullptr;
        }
        if (old == h) return old;
        HWND root = rootOf(h);
        if (root != GetActiveWindow()) SetActiveWindow(root);
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            focusWindow() = h;
        }
    }
    if (old && old != h) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
    if (h && old != h) SendMessageA(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetActiveWindow() {
    std::lock_guard<std::recursive_mutex> g(lock());
    return peek(activeWindow()) ? activeWindow() : nullptr;
}

HWND SetActiveWindow(HWND h) {
    HWND old = GetActiveWindow();
    if (h && !IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    h = h ? rootOf(h) : nullptr;
    if (old == h) return old;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        activeWindow() = h;
    }
    if (old) SendMessageA(old, WM_ACTIVATE, 0, reinterpret_cast<LPARAM>(h));
    if (h) SendMessageA(h, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(old));
    return old;
}

BOOL SetForegroundWindow(HWND h) {
    if (!IsWindow(h)) return FALSE;
    SetActiveWindow(h);
    return TRUE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

BOOL SetPropA(HWND h, LPCSTR name, HANDLE value) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string key = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
    std::lock_guard<std::recursive_mutex> g(lock());
    for (auto& p : w->props)
        if (strcasecmp(p.first.c_str(), key.c_str()) == 0) {
            p.second = value;
            return TRUE;
        }
    try {
        w->props.emplace_back(key, value);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

static HANDLE takeProp(HWND h, LPCSTR name, bool remove) {
    KoHandleRef<Window> w = ref(h);
    if (!w || !name) return nullptr;
    std::string key = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
    std::lock_guard<std::recursive_mutex> g(lock());
    for (auto i = w->props.begin(); i != w->props.end(); ++i)
        if (strcasecmp(i->first.c_str(), key.c_str()) == 0) {
            HANDLE v = i->second;
            if (remove) w->props.erase(i);
            return v;
        }
    return nullptr;
}

HANDLE GetPropA(HWND h, LPCSTR name) {
    return takeProp(h, name, false);
}

HANDLE RemovePropA(HWND h, LPCSTR name) {
    return takeProp(h, name, true);
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
        return screenWidth;
    case SM_CYSCREEN:
        return screenHeight;
    case SM_CYFULLSCREEN:
        return screenHeight - charHeight;
    case SM_CYCAPTION:
        return charHeight;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXVSCROLL:
        return charWidth * 2;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    }
    return 0;
}
