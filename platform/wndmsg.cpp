// Messages: synchronous sending, the posted-message queue and the default window procedure.
#include "platform/window.h"
#include "platform/system.h"
#include "platform/wndinternal.h"

#include <algorithm>
#include <cstring>
#include <deque>

using namespace kownd;

namespace {

std::deque<MSG>& posted() {
    static std::deque<MSG>* q = new std::deque<MSG>;
    return *q;
}

bool inRange(UINT m, UINT first, UINT last) {
    return (first == 0 && last == 0) || (m >= first && m <= last);
}

} // namespace

LRESULT SendMessageA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    WNDPROC proc;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        proc = w->proc;
    }
    // The reference keeps the object alive while its procedure runs, even if it destroys itself.
    return proc ? proc(h, message, wParam, lParam) : 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(h, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    if (h && !IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> g(lock());
    try {
        posted().push_back(MSG{h, message, wParam, lParam, 0, {0, 0}});
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL PeekMessageA(MSG* msg, HWND h, UINT first, UINT last, UINT remove) {
    std::lock_guard<std::recursive_mutex> g(lock());
    auto& q = posted();
    for (auto i = q.begin(); i != q.end(); ++i) {
        // A message for a window destroyed since it was posted is dropped.
        if (i->hwnd && !IsWindow(i->hwnd)) {
            q.erase(i);
            return PeekMessageA(msg, h, first, last, remove);
        }
        if (h && i->hwnd != h && !IsChild(h, i->hwnd)) continue;
        if (!inRange(i->message, first, last)) continue;
        if (msg) *msg = *i;
        if (remove & PM_REMOVE) q.erase(i);
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

namespace kownd {
// Delivers every posted window message; a posted WM_QUIT stays for its loop. True when one was.
bool deliverPosted() {
    bool any = false;
    MSG m;
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            auto& q = posted();
            auto i = std::find_if(q.begin(), q.end(), [](const MSG& x) { return x.hwnd != nullptr; });
            if (i == q.end()) return any;
            m = *i;
            q.erase(i);
        }
        any = true;
        DispatchMessageA(&m);
    }
}

void setTyped(HWND c, const std::string& text) {
    KoHandleRef<Window> w = peek(c);
    if (!w) return;
    bool edit;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        w->text = text;
        w->modified = true;
        edit = w->kind == Kind::edit;
    }
    if (edit) {
        notifyParent(c, EN_UPDATE);
        notifyParent(c, EN_CHANGE);
    } else {
        notifyParent(c, CBN_EDITCHANGE);
    }
}
} // namespace kownd

LRESULT DefWindowProcA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT: {
        KoHandleRef<Window> w = ref(h);
        if (!w) return FALSE;
        const char* t = reinterpret_cast<const char*>(lParam);
        try {
            std::lock_guard<std::recursive_mutex> g(lock());
            w->text = t ? t : "";
        } catch (...) {
            return FALSE;
        }
        return TRUE;
    }
    case WM_GETTEXT: {
        KoHandleRef<Window> w = ref(h);
        char* out = reinterpret_cast<char*>(lParam);
        if (!w || !out || wParam == 0) return 0;
        std::lock_guard<std::recursive_mutex> g(lock());
        size_t n = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
        std::memcpy(out, w->text.data(), n);
        out[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        KoHandleRef<Window> w = ref(h);
        std::lock_guard<std::recursive_mutex> g(lock());
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_SETFONT: {
        KoHandleRef<Window> w = ref(h);
        std::lock_guard<std::recursive_mutex> g(lock());
        if (w) w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    }
    case WM_GETFONT: {
        KoHandleRef<Window> w = ref(h);
        std::lock_guard<std::recursive_mutex> g(lock());
        return w ? reinterpret_cast<LRESULT>(w->font) : 0;
    }
    case WM_CLOSE:
        DestroyWindow(h);
        return 0;
    case WM_HELP:
    case WM_CONTEXTMENU: {
        // Passed up to the parent of a child window, or to the owner of a top-level one.
        HWND up = GetParent(h);
        if (up) return SendMessageA(up, message, message == WM_CONTEXTMENU ? wParam : wParam, lParam);
        return 0;
    }
    }
    return 0;
}
