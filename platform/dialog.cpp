// Dialogs: templates from the resource library or from memory, creation, the dialog procedure's
// default handling, modal runs and the dialog item helpers.
#include "platform/window.h"
#include "platform/dlgtemplate.h"
#include "platform/frontend.h"
#include "platform/module.h"
#include "platform/system.h"
#include "platform/wndinternal.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>

using namespace kownd;

namespace {

struct ItemLayout {
    std::string cls;
    std::string text;
    WORD id;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
};

struct DialogLayout {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    std::vector<ItemLayout> items;
    WORD templateId = 0;
};

// Reads a UTF-16 string or ordinal of an in-memory template; characters beyond Latin-1 become "?".
const uint8_t* readSzOrOrd(const uint8_t* p, std::string* text, WORD* ordinal) {
    WORD c;
    std::memcpy(&c, p, 2);
    if (c == 0xFFFF) {
        std::memcpy(ordinal, p + 2, 2);
        return p + 4;
    }
    *ordinal = 0;
    for (;;) {
        std::memcpy(&c, p, 2);
        p += 2;
        if (!c) break;
        text->push_back(c < 256 ? static_cast<char>(c) : '?');
    }
    return p;
}

const char* atomClass(WORD atom) {
    switch (atom) {
    case 0x0080:
        return "BUTTON";
    case 0x0081:
        return "EDIT";
    case 0x0082:
        return "STATIC";
    case 0x0085:
        return "COMBOBOX";
    }
    return nullptr;
}

const uint8_t* alignTo4(const uint8_t* base, const uint8_t* p) {
    size_t off = static_cast<size_t>(p - base);
    return base + ((off + 3) & ~static_cast<size_t>(3));
}

// Parses a DLGTEMPLATE or DLGTEMPLATEEX; false for a template this layer cannot read.
// "#N", the name Windows gives a resource or class known by number.
std::string ordinalName(unsigned ordinal) {
    char name[16];
    std::snprintf(name, sizeof name, "#%u", ordinal);
    return name;
}

bool parseTemplate(const void* data, DialogLayout* layout) {
    const uint8_t* base = static_cast<const uint8_t*>(data);
    const uint8_t* p = base;
    WORD version, signature;
    std::memcpy(&version, p, 2);
    std::memcpy(&signature, p + 2, 2);
    bool ex = version == 1 && signature == 0xFFFF;
    WORD count;
    if (ex) {
        std::memcpy(&layout->exStyle, p + 8, 4);
        std::memcpy(&layout->style, p + 12, 4);
        std::memcpy(&count, p + 16, 2);
        std::memcpy(&layout->x, p + 18, 2);
        std::memcpy(&layout->y, p + 20, 2);
        std::memcpy(&layout->cx, p + 22, 2);
        std::memcpy(&layout->cy, p + 24, 2);
        p += 26;
    } else {
        DLGTEMPLATE t;
        std::memcpy(&t, p, sizeof t);
        layout->style = t.style;
        layout->exStyle = t.dwExtendedStyle;
        count = t.cdit;
        layout->x = t.x;
        layout->y = t.y;
        layout->cx = t.cx;
        layout->cy = t.cy;
        p += sizeof t;
    }
    std::string skip;
    WORD ord;
    p = readSzOrOrd(p, &skip, &ord); // menu
    skip.clear();
    p = readSzOrOrd(p, &skip, &ord); // class
    if (!skip.empty() || (ord && ord != 0x8002)) return false;
    p = readSzOrOrd(p, &layout->caption, &ord);
    if (layout->style & DS_SETFONT) {
        p += ex ? 6 : 2; // point size (and weight, italic, charset)
        skip.clear();
        p = readSzOrOrd(p, &skip, &ord);
    }
    for (WORD i = 0; i < count; ++i) {
        p = alignTo4(base, p);
        ItemLayout item{};
        if (ex) {
            std::memcpy(&item.exStyle, p + 4, 4);
            std::memcpy(&item.style, p + 8, 4);
            std::memcpy(&item.x, p + 12, 2);
            std::memcpy(&item.y, p + 14, 2);
            std::memcpy(&item.cx, p + 16, 2);
            std::memcpy(&item.cy, p + 18, 2);
            DWORD id;
            std::memcpy(&id, p + 20, 4);
            item.id = static_cast<WORD>(id);
            p += 24;
        } else {
            DLGITEMTEMPLATE t;
            std::memcpy(&t, p, sizeof t);
            item.style = t.style;
            item.exStyle = t.dwExtendedStyle;
            item.x = t.x;
            item.y = t.y;
            item.cx = t.cx;
            item.cy = t.cy;
            item.id = t.id;
            p += sizeof t;
        }
        p = readSzOrOrd(p, &item.cls, &ord);
        if (ord) {
            const char* c = atomClass(ord);
            item.cls = c ? std::string(c) : ordinalName(ord);
        }
        p = readSzOrOrd(p, &item.text, &ord);
        if (ord) item.text = ordinalName(ord);
        WORD extra;
        std::memcpy(&extra, p, 2);
        p += 2 + extra;
        layout->items.push_back(item);
    }
    return true;
}

// Reads template id of a module's resource table.
bool loadTemplate(HINSTANCE inst, LPCSTR name, DialogLayout* layout) {
    if (!IS_INTRESOURCE(name)) {
        // Named templates: "#n" names template n; other names are not in the tables.
        if (!name || name[0] != '#') {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return false;
        }
        name = MAKEINTRESOURCEA(std::atoi(name + 1));
    }
    WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    auto get =
        inst ? reinterpret_cast<KoResourceDialogAccessor>(GetProcAddress(inst, "koResourceDialog")) : nullptr;
    const KoDialogResource* r = get ? get(id) : nullptr;
    if (!r) {
        SetLastError(get ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    layout->style = r->style;
    layout->x = r->x;
    layout->y = r->y;
    layout->cx = r->cx;
    layout->cy = r->cy;
    layout->caption = r->caption ? r->caption : "";
    layout->templateId = id;
    for (uint16_t i = 0; i < r->count; ++i) {
        const KoDialogItem& it = r->items[i];
        layout->items.push_back(
            {it.className, it.text ? it.text : "", it.id, it.style | WS_CHILD, 0, it.x, it.y, it.cx, it.cy});
    }
    return true;
}

int toPixelsX(int dlu) {
    return dlu * charWidth / 4;
}
int toPixelsY(int dlu) {
    return dlu * charHeight / 8;
}

HWND firstTabStop(HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG s = GetWindowLongA(c, GWL_STYLE);
        if ((s & WS_TABSTOP) && (s & WS_VISIBLE) && !(s & WS_DISABLED)) return c;
    }
    return nullptr;
}

const DWORD dsNoFailCreate = 0x10;

} // namespace

namespace kownd {

static HWND createDialogUnsafe(const void* parsed, HINSTANCE inst, HWND owner, DLGPROC proc, LPARAM param,
                               bool child, HWND* made);

// Builds the dialog; out of memory anywhere on the way, whatever was made is destroyed and the result is
// null with ERROR_NOT_ENOUGH_MEMORY.
HWND createDialog(const void* parsed, HINSTANCE inst, HWND owner, DLGPROC proc, LPARAM param, bool child) {
    HWND made = nullptr;
    try {
        return createDialogUnsafe(parsed, inst, owner, proc, param, child, &made);
    } catch (...) {
        if (made) DestroyWindow(made);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

static HWND createDialogUnsafe(const void* parsed, HINSTANCE inst, HWND owner, DLGPROC proc, LPARAM param,
                               bool child, HWND* made) {
    const DialogLayout& layout = *static_cast<const DialogLayout*>(parsed);
    DWORD style = layout.style;
    if (child) style = (style & ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE)) | WS_CHILD | DS_CONTROL;
    // A page's template run on its own (a nested dialog over a page) becomes a window of its own.
    else if (style & WS_CHILD)
        style = (style & ~WS_CHILD) | WS_POPUP | WS_CAPTION;
    int w = toPixelsX(layout.cx), h = toPixelsY(layout.cy);
    int x = toPixelsX(layout.x), y = toPixelsY(layout.y);
    if (!child) {
        POINT o{0, 0};
        if (owner) ClientToScreen(owner, &o);
        x += o.x;
        y += o.y;
        if (style & DS_CENTER) {
            x = (screenWidth - w) / 2;
            y = (screenHeight - h) / 2;
        }
    }
    HWND dlg = CreateWindowExA(layout.exStyle, "#32770", layout.caption.c_str(), style & ~WS_VISIBLE, x, y, w,
                               h, owner, nullptr, inst, nullptr);
    if (!dlg) return nullptr;
    *made = dlg;
    {
        KoHandleRef<Window> d = peek(dlg);
        std::lock_guard<std::recursive_mutex> g(lock());
        d->dlg->proc = proc;
        d->dlg->templateId = layout.templateId;
    }
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageA(dlg, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    for (const ItemLayout& it : layout.items) {
        HWND c = CreateWindowExA(it.exStyle | WS_EX_NOPARENTNOTIFY, it.cls.c_str(), it.text.c_str(),
                                 it.style | WS_CHILD, toPixelsX(it.x), toPixelsY(it.y), toPixelsX(it.cx),
                                 toPixelsY(it.cy), dlg,
                                 reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(it.id)), inst, nullptr);
        if (!c) {
            if (layout.style & dsNoFailCreate) continue;
            DWORD e = GetLastError();
            DestroyWindow(dlg);
            SetLastError(e);
            return nullptr;
        }
        SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
        if (it.cls == "STATIC" && (it.style & 0x1F) == SS_ICON && it.text.size() > 1 && it.text[0] == '#') {
            HICON icon = LoadIconA(inst, MAKEINTRESOURCEA(std::atoi(it.text.c_str() + 1)));
            if (icon) SendMessageA(c, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        }
    }
    HWND focus = firstTabStop(dlg);
    if (SendMessageA(dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && IsWindow(dlg)) {
        focus = firstTabStop(dlg);
        if (focus && !child) SetFocus(focus);
    }
    if (!IsWindow(dlg)) return nullptr;
    if (layout.style & WS_VISIBLE) ShowWindow(dlg, SW_SHOW);
    return dlg;
}

// Parses or loads a template into a layout the caller frees with freeLayout.
void* loadLayout(HINSTANCE inst, LPCSTR name, const DLGTEMPLATE* memory) {
    DialogLayout* layout = new (std::nothrow) DialogLayout;
    if (!layout) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        bool ok = memory ? parseTemplate(memory, layout) : loadTemplate(inst, name, layout);
        if (ok) return layout;
        if (memory) SetLastError(ERROR_INVALID_PARAMETER);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    delete layout;
    return nullptr;
}

void freeLayout(void* layout) {
    delete static_cast<DialogLayout*>(layout);
}

int layoutWidth(const void* layout) {
    return toPixelsX(static_cast<const DialogLayout*>(layout)->cx);
}

int layoutHeight(const void* layout) {
    return toPixelsY(static_cast<const DialogLayout*>(layout)->cy);
}

WORD specTemplateId(const void* layout) {
    return static_cast<const DialogLayout*>(layout)->templateId;
}

LRESULT dialogProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return 0;
    DLGPROC proc;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        if (!w->dlg) return DefWindowProcA(h, message, wParam, lParam);
        proc = w->dlg->proc;
        w->dlg->msgResult = 0;
    }
    INT_PTR result = proc ? proc(h, message, wParam, lParam) : FALSE;
    if (!result && IsWindow(h)) {
        switch (message) {
        case DM_GETDEFID: {
            std::lock_guard<std::recursive_mutex> g(lock());
            return w->dlg->defId ? MAKELRESULT(w->dlg->defId, DC_HASDEFID) : 0;
        }
        case DM_SETDEFID: {
            std::lock_guard<std::recursive_mutex> g(lock());
            w->dlg->defId = static_cast<int>(wParam);
            return TRUE;
        }
        case WM_CLOSE: {
            // As the Cancel button would, unless that button is there and disabled.
            HWND cancel = GetDlgItem(h, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel))
                PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        case WM_INITDIALOG:
        case WM_NCDESTROY:
            return 0;
        default:
            return DefWindowProcA(h, message, wParam, lParam);
        }
    }
    if (message == WM_INITDIALOG || (message >= 0x0132 && message <= 0x0138)) return result;
    std::lock_guard<std::recursive_mutex> g(lock());
    return w->dlg ? w->dlg->msgResult : 0;
}

} // namespace kownd

LRESULT DefDlgProcA(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    return dialogProc(h, message, wParam, lParam);
}

HWND CreateDialogIndirectParamA(HINSTANCE inst, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                                LPARAM param) {
    if (!tmpl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (owner == GetDesktopWindow()) owner = nullptr;
    void* layout = loadLayout(inst, nullptr, tmpl);
    if (!layout) return nullptr;
    HWND h = createDialog(layout, inst, owner, proc, param, false);
    freeLayout(layout);
    return h;
}

HWND CreateDialogParamA(HINSTANCE inst, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    if (owner == GetDesktopWindow()) owner = nullptr;
    void* layout = loadLayout(inst, name, nullptr);
    if (!layout) return nullptr;
    HWND h = createDialog(layout, inst, owner, proc, param, false);
    freeLayout(layout);
    return h;
}

namespace {

INT_PTR runModalUnsafe(HINSTANCE inst, LPCSTR name, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                       LPARAM param, HWND* made);

INT_PTR runModal(HINSTANCE inst, LPCSTR name, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc, LPARAM param) {
    HWND made = nullptr;
    try {
        return runModalUnsafe(inst, name, tmpl, owner, proc, param, &made);
    } catch (...) {
        if (made) DestroyWindow(made);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
}

INT_PTR runModalUnsafe(HINSTANCE inst, LPCSTR name, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                       LPARAM param, HWND* made) {
    if (owner == GetDesktopWindow()) owner = nullptr;
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!canRunModal()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return -1;
    }
    void* layout = loadLayout(inst, name, tmpl);
    if (!layout) return -1;
    HWND root = owner ? rootOf(owner) : nullptr;
    HWND h = createDialog(layout, inst, root, proc, param, false);
    WORD templateId = specTemplateId(layout);
    freeLayout(layout);
    if (!h) return -1;
    *made = h;
    bool ownerWasEnabled = root && IsWindowEnabled(root);
    if (ownerWasEnabled) EnableWindow(root, FALSE);
    INT_PTR result = -1;
    {
        KoHandleRef<Window> w = peek(h);
        bool ended;
        {
            std::lock_guard<std::recursive_mutex> g(lock());
            ended = w->dlg->ended;
        }
        if (!ended) {
            ShowWindow(h, SW_SHOW);
            SetActiveWindow(h);
            dialogShown(h, templateId);
        }
        result = modalLoop(h);
        dialogEnded(h, templateId, result);
    }
    if (ownerWasEnabled) EnableWindow(root, TRUE);
    DestroyWindow(h);
    if (root && IsWindow(root)) SetActiveWindow(root);
    return result;
}

} // namespace

INT_PTR DialogBoxParamA(HINSTANCE inst, LPCSTR name, HWND owner, DLGPROC proc, LPARAM param) {
    return runModal(inst, name, nullptr, owner, proc, param);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE inst, LPCDLGTEMPLATEA tmpl, HWND owner, DLGPROC proc,
                                LPARAM param) {
    if (!tmpl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return runModal(inst, nullptr, tmpl, owner, proc, param);
}

BOOL EndDialog(HWND h, INT_PTR result) {
    KoHandleRef<Window> w = ref(h);
    if (!w) return FALSE;
    {
        std::lock_guard<std::recursive_mutex> g(lock());
        if (!w->dlg) return FALSE;
        w->dlg->ended = true;
        w->dlg->result = result;
    }
    ShowWindow(h, SW_HIDE);
    return TRUE;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND c = GetDlgItem(dialog, id);
    return c ? SendMessageA(c, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND c = GetDlgItem(dialog, id);
    return c ? SetWindowTextA(c, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int size) {
    if (buffer && size > 0) buffer[0] = 0;
    HWND c = GetDlgItem(dialog, id);
    return c ? static_cast<UINT>(GetWindowTextA(c, buffer, size)) : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    char text[16];
    std::snprintf(text, sizeof text, isSigned ? "%d" : "%u", value);
    return SetDlgItemTextA(dialog, id, text);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    char text[64];
    if (translated) *translated = FALSE;
    if (!GetDlgItemTextA(dialog, id, text, sizeof text)) return 0;
    char* end;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end || (!isSigned && v < 0) || v > 0xFFFFFFFFLL || v < -0x80000000LL) return 0;
    if (translated) *translated = TRUE;
    return static_cast<UINT>(v);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND c = GetDlgItem(dialog, id);
    if (!c) return FALSE;
    SendMessageA(c, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (int id = first; id <= last; ++id) {
        HWND c = GetDlgItem(dialog, id);
        if (c) SendMessageA(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}
