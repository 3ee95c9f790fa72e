// Window geometry: rectangles, moving and sizing, coordinate conversion and dialog units. Windows
// here have no frame or caption of their own, so a window's client area is its whole rectangle.
#include "platform/window.h"
#include "platform/system.h"
#include "platform/wndinternal.h"

using namespace kownd;

namespace {

// The screen position of a window's client origin; false when the handle is no window.
bool origin(HWND h, POINT* p) {
    std::lock_guard<std::recursive_mutex> g(lock());
    p->x = p->y = 0;
    KoHandleRef<Window> w = peek(h);
    if (!w) return false;
    while (w && w->kind != Kind::desktop) {
        p->x += w->rect.left;
        p->y += w->rect.top;
        if (!(w->style & WS_CHILD)) break;
        w = peek(w->parent);
    }
    return true;
}

} // namespace

BOOL GetWindowRect(HWND h, LPRECT r) {
    KoHandleRef<Window> w = ref(h);
    if (!w || !r) return FALSE;
    POINT o;
    origin(h, &o);
    std::lock_guard<std::recursive_mutex> g(lock());
    *r = {o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND h, LPRECT r) {
    KoHandleRef<Window> w = ref(h);
    if (!w || !r) return FALSE;
    std::lock_guard<std::recursive_mutex> g(lock());
    *r = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL SetWindowPos(HWND h, HWND, int x, int y, int width, int height, UINT flags) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    bool moved, sized;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        RECT r = w->rect;
        if (!(flags & SWP_NOMOVE)) {
            r.right += x - r.left;
            r.bottom += y - r.top;
            r.left = x;
            r.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            r.right = r.left + (width > 0 ? width : 0);
            r.bottom = r.top + (height > 0 ? height : 0);
        }
        moved = r.left != w->rect.left || r.top != w->rect.top;
        sized = (r.right - r.left) != (w->rect.right - w->rect.left) ||
                (r.bottom - r.top) != (w->rect.bottom - w->rect.top);
        w->rect = r;
    }
    if (moved) SendMessageA(h, WM_MOVE, 0, MAKELPARAM(x, y));
    if (sized) SendMessageA(h, WM_SIZE, 0, MAKELPARAM(width, height));
    if (flags & SWP_SHOWWINDOW) ShowWindow(h, SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW) ShowWindow(h, SW_HIDE);
    return TRUE;
}

BOOL MoveWindow(HWND h, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(h, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ClientToScreen(HWND h, LPPOINT p) {
    POINT o;
    if (!p || !origin(h, &o)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    p->x += o.x;
    p->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND h, LPPOINT p) {
    POINT o;
    if (!p || !origin(h, &o)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    p->x -= o.x;
    p->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    POINT a{0, 0}, b{0, 0};
    if ((from && !origin(from, &a)) || (to && !origin(to, &b))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return static_cast<int>(MAKELPARAM(static_cast<WORD>(dx), static_cast<WORD>(dy)));
}

LONG GetDialogBaseUnits() {
    return MAKELPARAM(charWidth, charHeight);
}

BOOL MapDialogRect(HWND dialog, LPRECT r) {
    KoHandleRef<Window> w = ref(dialog);
    if (!w || !r) return FALSE;
    r->left = r->left * charWidth / 4;
    r->right = r->right * charWidth / 4;
    r->top = r->top * charHeight / 8;
    r->bottom = r->bottom * charHeight / 8;
    return TRUE;
}

BOOL SetRect(LPRECT r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = {left, top, right, bottom};
    return TRUE;
}

BOOL OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

BOOL PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom ? TRUE : FALSE;
}

BOOL IntersectRect(LPRECT out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (r.left >= r.right || r.top >= r.bottom) {
        *out = {0, 0, 0, 0};
        return FALSE;
    }
    *out = r;
    return TRUE;
}
