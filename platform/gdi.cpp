// GDI without a display: device contexts, icons and regions are objects of the handle table (regions
// of a small table of their own), and every drawing call appends one line to the window's record of
// drawing operations, so a front end or a test can replay it.
#include "platform/dlgtemplate.h"
#include "platform/module.h"
#include "platform/system.h"
#include "platform/window.h"
#include "platform/wndinternal.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <set>

using namespace kownd;

namespace {

struct Icon : KoHandleObject {
    Icon() : KoHandleObject(KoHandleKind::icon) {}
    unsigned id = 0;
    std::string name;
};

struct DeviceContext : KoHandleObject {
    DeviceContext() : KoHandleObject(KoHandleKind::dc) {}
    ~DeviceContext() override {
        if (window) window->release();
    }
    Window* window = nullptr; // referenced: drawing into a window destroyed meanwhile is harmless
    HWND hwnd = nullptr;
    bool clipped = false;
    RECT clip{};
    COLORREF text = 0;
    COLORREF back = 0xFFFFFF;
    int mode = OPAQUE;
    HGDIOBJ font = nullptr;
};

struct Region {
    RECT r;
};

std::mutex regionsLock;
std::set<Region*>& regions() {
    static std::set<Region*>* s = new std::set<Region*>;
    return *s;
}

// Stock objects and system-colour brushes are fixed values, never freed.
char stockObjects[20];
char colorBrushes[32];

const COLORREF sysColors[32] = {
    0xC8D0D4, 0x000000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF3399, 0xF0F0F0, 0x000000,
};

void record(DeviceContext* dc, const std::string& op) {
    std::lock_guard<std::recursive_mutex> g(lock());
    try {
        dc->window->drawings.push_back(op);
    } catch (...) {
    }
}

std::string rectText(const RECT& r) {
    char b[64];
    std::snprintf(b, sizeof b, "%d %d %d %d", r.left, r.top, r.right, r.bottom);
    return b;
}

std::string colorText(COLORREF c) {
    char b[16];
    std::snprintf(b, sizeof b, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return b;
}

std::string clipText(DeviceContext* dc) {
    return dc->clipped ? " clip " + rectText(dc->clip) : "";
}

KoHandleRef<DeviceContext> dcOf(HDC h) {
    return koHandleLookup<DeviceContext>(h, KoHandleKind::dc);
}

Region* regionOf(HRGN h) {
    std::lock_guard<std::mutex> g(regionsLock);
    Region* r = static_cast<Region*>(h);
    return regions().count(r) ? r : nullptr;
}

} // namespace

HDC GetDC(HWND h) {
    if (!h) h = GetDesktopWindow();
    KoHandleRef<Window> w = ref(h);
    if (!w) return nullptr;
    DeviceContext* dc = new (std::nothrow) DeviceContext;
    if (!dc) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    w->retain();
    dc->window = w.get();
    dc->hwnd = h;
    dc->font = GetStockObject(SYSTEM_FONT);
    return static_cast<HDC>(koHandleCreate(dc));
}

int ReleaseDC(HWND, HDC dc) {
    return koHandleClose(dc, KoHandleKind::dc) ? 1 : 0;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    unsigned id = 0;
    std::string text;
    if (IS_INTRESOURCE(name))
        id = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name));
    else if (name[0] == '#')
        id = static_cast<unsigned>(std::atoi(name + 1));
    if (!instance) {
        static const char* system[] = {"application", "error", "question", "warning", "information"};
        if (id < 32512 || id > 32516) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        text = system[id - 32512];
    } else {
        auto get = reinterpret_cast<KoResourceIconAccessor>(GetProcAddress(instance, "koResourceIcon"));
        const KoIconResource* r = get && id ? get(id) : nullptr;
        if (!r) {
            SetLastError(get ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
            return nullptr;
        }
        text = r->name;
    }
    Icon* icon = new (std::nothrow) Icon;
    if (!icon) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    icon->id = id;
    try {
        icon->name = text;
    } catch (...) {
        icon->release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HICON>(koHandleCreate(icon));
}

BOOL DestroyIcon(HICON icon) {
    if (koHandleClose(icon, KoHandleKind::icon)) return TRUE;
    SetLastError(ERROR_INVALID_ICON_HANDLE);
    return FALSE;
}

BOOL DrawIcon(HDC h, int x, int y, HICON icon) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    KoHandleRef<Icon> i = koHandleLookup<Icon>(icon, KoHandleKind::icon);
    if (!dc || !i) {
        SetLastError(dc ? ERROR_INVALID_ICON_HANDLE : ERROR_DC_NOT_FOUND);
        return FALSE;
    }
    record(dc.get(), "DrawIcon " + std::to_string(i->id) + " " + std::to_string(x) + " " + std::to_string(y) +
                         clipText(dc.get()));
    return TRUE;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    Region* r = new (std::nothrow)
        Region{{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)}};
    if (!r) return nullptr;
    std::lock_guard<std::mutex> g(regionsLock);
    try {
        regions().insert(r);
    } catch (...) {
        delete r;
        return nullptr;
    }
    return r;
}

HRGN CreateRectRgnIndirect(const RECT* r) {
    return r ? CreateRectRgn(r->left, r->top, r->right, r->bottom) : nullptr;
}

int SelectClipRgn(HDC h, HRGN region) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc) return 0; // ERROR
    if (!region) {
        dc->clipped = false;
        return 2; // SIMPLEREGION: the whole window
    }
    Region* r = regionOf(region);
    if (!r) return 0;
    dc->clipped = true;
    dc->clip = r->r; // the region is copied: the caller may delete it
    return (r->r.left == r->r.right || r->r.top == r->r.bottom) ? 1 : 2;
}

int IntersectClipRect(HDC h, int left, int top, int right, int bottom) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc) return 0;
    RECT a{left, top, right, bottom};
    RECT cur = dc->clipped ? dc->clip : RECT{-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    dc->clipped = true;
    return IntersectRect(&dc->clip, &cur, &a) ? 2 : 1;
}

int GetClipBox(HDC h, LPRECT out) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || !out) return 0;
    if (dc->clipped) {
        *out = dc->clip;
    } else {
        GetClientRect(dc->hwnd, out);
    }
    return (out->left == out->right || out->top == out->bottom) ? 1 : 2;
}

BOOL DeleteObject(HGDIOBJ object) {
    char* p = static_cast<char*>(object);
    if ((p >= stockObjects && p < stockObjects + sizeof stockObjects) ||
        (p >= colorBrushes && p < colorBrushes + sizeof colorBrushes))
        return TRUE; // stock objects are never deleted
    std::lock_guard<std::mutex> g(regionsLock);
    Region* r = static_cast<Region*>(object);
    if (!regions().erase(r)) return FALSE;
    delete r;
    return TRUE;
}

HGDIOBJ GetStockObject(int index) {
    if (index < 0 || index >= static_cast<int>(sizeof stockObjects)) return nullptr;
    return &stockObjects[index];
}

HGDIOBJ SelectObject(HDC h, HGDIOBJ object) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || !object) return nullptr;
    HGDIOBJ old = dc->font;
    dc->font = object;
    return old;
}

BOOL GetTextMetricsA(HDC h, TEXTMETRICA* m) {
    if (!dcOf(h) || !m) return FALSE;
    *m = TEXTMETRICA{};
    m->tmHeight = charHeight;
    m->tmAscent = charHeight - 3;
    m->tmDescent = 3;
    m->tmAveCharWidth = charWidth;
    m->tmMaxCharWidth = charWidth;
    m->tmWeight = 400;
    m->tmDigitizedAspectX = m->tmDigitizedAspectY = 96;
    m->tmFirstChar = 0x20;
    m->tmLastChar = 0xFF;
    m->tmDefaultChar = '?';
    m->tmBreakChar = ' ';
    m->tmPitchAndFamily = 0x31; // fixed pitch
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC h, LPCSTR text, int length, SIZE* size) {
    if (!dcOf(h) || !size || length < 0 || (!text && length)) return FALSE;
    size->cx = length * charWidth;
    size->cy = charHeight;
    return TRUE;
}

COLORREF SetTextColor(HDC h, COLORREF color) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc) return 0xFFFFFFFF; // CLR_INVALID
    COLORREF old = dc->text;
    dc->text = color;
    record(dc.get(), "SetTextColor " + colorText(color));
    return old;
}

COLORREF SetBkColor(HDC h, COLORREF color) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc) return 0xFFFFFFFF;
    COLORREF old = dc->back;
    dc->back = color;
    record(dc.get(), "SetBkColor " + colorText(color));
    return old;
}

int SetBkMode(HDC h, int mode) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->mode;
    dc->mode = mode;
    record(dc.get(), std::string("SetBkMode ") + (mode == TRANSPARENT ? "transparent" : "opaque"));
    return old;
}

COLORREF GetSysColor(int index) {
    return index >= 0 && index < 32 ? sysColors[index] : 0;
}

HBRUSH GetSysColorBrush(int index) {
    return index >= 0 && index < 32 ? &colorBrushes[index] : nullptr;
}

int FillRect(HDC h, const RECT* r, HBRUSH brush) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || !r || !brush) return 0;
    // A brush is a system-colour brush, or a colour index plus one as Windows allows.
    char* p = static_cast<char*>(brush);
    COLORREF color;
    if (p >= colorBrushes && p < colorBrushes + sizeof colorBrushes)
        color = sysColors[p - colorBrushes];
    else if (reinterpret_cast<ULONG_PTR>(brush) <= 32)
        color = GetSysColor(static_cast<int>(reinterpret_cast<ULONG_PTR>(brush)) - 1);
    else
        color = 0;
    record(dc.get(), "FillRect " + rectText(*r) + " " + colorText(color) + clipText(dc.get()));
    return 1;
}

BOOL TextOutA(HDC h, int x, int y, LPCSTR text, int length) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || length < 0 || (!text && length)) return FALSE;
    std::string t(text ? text : "", static_cast<size_t>(length));
    std::string op = "TextOut " + std::to_string(x) + " " + std::to_string(y) + " " + colorText(dc->text) +
                     (dc->mode == TRANSPARENT ? " transparent " : " opaque ") + "\"";
    for (char c : t)
        op += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    record(dc.get(), op + "\"" + clipText(dc.get()));
    return TRUE;
}

BOOL DrawFocusRect(HDC h, const RECT* r) {
    KoHandleRef<DeviceContext> dc = dcOf(h);
    if (!dc || !r) return FALSE;
    record(dc.get(), "DrawFocusRect " + rectText(*r));
    return TRUE;
}

BOOL InvalidateRect(HWND h, const RECT*, BOOL) {
    return h && !IsWindow(h) ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND h) {
    if (!IsWindow(h)) return FALSE;
    SendMessageA(h, WM_PAINT, 0, 0);
    return TRUE;
}

std::vector<std::string> koTakeDrawings(HWND h) {
    std::vector<std::string> out;
    KoHandleRef<Window> w = peek(h);
    if (!w) return out;
    std::lock_guard<std::recursive_mutex> g(lock());
    out.swap(w->drawings);
    return out;
}
